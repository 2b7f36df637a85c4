// Debug messages and error reports. Every text is formatted whole and then
// handed to the hook, or written to standard error.
#include <spanwright/vesk.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {

veskMessageHook messageHook = nullptr;
void* messageUser = nullptr;

void deliver(int32_t kind, const char* format, va_list args) {
    char small[512];
    va_list again;
    va_copy(again, args);
    int needed = std::vsnprintf(small, sizeof small, format, args);
    char* text = small;
    char* large = nullptr;
    if (needed >= int(sizeof small)) {
        large = static_cast<char*>(std::malloc(size_t(needed) + 1));
        if (large) {
            std::vsnprintf(large, size_t(needed) + 1, format, again);
            text = large;
        }
    }
    va_end(again);
    if (needed < 0) text = const_cast<char*>(format);
    if (messageHook) {
        messageHook(messageUser, kind, text);
    } else {
        std::fputs(text, stderr);
    }
    std::free(large);
}

} // namespace

extern "C" {

void DebugPrintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    deliver(VESK_MESSAGE_DEBUG, format, args);
    va_end(args);
}

void _Error(const char* format, ...) {
    va_list args;
    va_start(args, format);
    deliver(VESK_MESSAGE_ERROR, format, args);
    va_end(args);
}

void veskSetMessageHook(veskMessageHook hook, void* user) {
    messageHook = hook;
    messageUser = hook ? user : nullptr;
}

} // extern "C"
