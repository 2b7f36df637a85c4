// The headless window layer: windows, classes, device contexts, palettes
// and system colours kept in memory, every call written to a call log.
#include "screen/window.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

struct WindowsHeadless::Window {
    bool used;
    bool created; // made by CreateWindowExA (else a host window)
    int number;   // "win<number>" for made windows
    WindowHandle handle;
    WindowProc procedure;
    WinRect rect;
};

namespace {

constexpr int maxWindows = 16;
constexpr int maxClasses = 8;
constexpr int maxPalettes = 16;
constexpr int sysColorCount = 31;

// Icons and stock objects are tokens: their value tells which one it is.
constexpr uintptr_t iconTokenBase = 0x10000;
constexpr uintptr_t stockTokenBase = 0x20000;

struct Palette {
    bool used;
    int number;
    uint16_t count;
    GdiPaletteEntry entries[256];
};

struct DeviceContext {
    WindowHandle window;
    GdiObject selected;
};

// A classic desktop colour scheme, 0x00BBGGRR, by system colour element.
constexpr uint32_t desktopColors[sysColorCount] = {
    0xC8C8C8, 0x808000, 0xD1B499, 0xDBCDBF, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000,
    0x000000, 0x000000, 0xB4B4B4, 0xFCF7F4, 0xABABAB, 0xFF9933, 0xFFFFFF, 0xF0F0F0,
    0xA0A0A0, 0x6D6D6D, 0x000000, 0x544E43, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000,
    0xE1FFFF, 0x000000, 0xCC6600, 0xEAD1B9, 0xF2E4D7, 0xFF9933, 0xF0F0F0};

constexpr WinRect defaultWindowRect = {0, 0, 640, 480};

WindowsHeadless::Window windows[maxWindows];
int windowsMade = 0;
char classNames[maxClasses][64];
Palette palettes[maxPalettes];
int palettesMade = 0;
int failPaletteCountdown = 0;
bool failRegisterClass = false;
bool failCreateWindow = false;
DeviceContext deviceContext;
bool noDeviceContext = false;
uint32_t paletteUse = SYSPAL_STATIC;
uint32_t sysColors[sysColorCount];
GdiPaletteEntry realized[256];
int realizedCount = 0;
bool cursorConfined = false;
WinRect cursorRect;
bool tickFixed = false;
uint32_t tickValue = 0;
char messageText[512];
char messageCaption[128];

char callLogText[32768];
size_t callLogLength = 0;

// Names for the log; each fits in a small static text of its own slot.
char nameText[2][32];
int nameSlot = 0;

const char* nextName(const char* format, uintptr_t value) {
    char* text = nameText[nameSlot];
    nameSlot ^= 1;
    std::snprintf(text, sizeof nameText[0], format, value);
    return text;
}

Palette* findPalette(GdiObject object) {
    for (Palette& p : palettes)
        if (p.used && static_cast<void*>(&p) == object) return &p;
    return nullptr;
}

void copyText(char* to, size_t size, const char* from) {
    std::snprintf(to, size, "%s", from ? from : "");
}

void resetState() {
    std::memset(windows, 0, sizeof windows);
    windowsMade = 0;
    std::memset(classNames, 0, sizeof classNames);
    std::memset(palettes, 0, sizeof palettes);
    palettesMade = 0;
    failPaletteCountdown = 0;
    failRegisterClass = false;
    failCreateWindow = false;
    deviceContext = {};
    noDeviceContext = false;
    paletteUse = SYSPAL_STATIC;
    std::memcpy(sysColors, desktopColors, sizeof sysColors);
    realizedCount = 0;
    cursorConfined = false;
    tickFixed = false;
    tickValue = 0;
    messageText[0] = messageCaption[0] = 0;
    callLogLength = 0;
    callLogText[0] = 0;
}

// Module state at load: the desktop colours are in place.
struct InitialColors {
    InitialColors() { std::memcpy(sysColors, desktopColors, sizeof sysColors); }
} initialColors;

WindowsHeadless headlessInstance;

} // namespace

WindowsHeadless* windowsHeadless() {
    return &headlessInstance;
}

void WindowsHeadless::log(const char* format, ...) {
    size_t room = sizeof callLogText - callLogLength;
    if (room <= 1) return;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(callLogText + callLogLength, room - 1, format, args);
    va_end(args);
    if (n < 0) return;
    size_t written = size_t(n) < room - 2 ? size_t(n) : room - 2;
    callLogLength += written;
    callLogText[callLogLength++] = '\n';
    callLogText[callLogLength] = 0;
}

WindowsHeadless::Window* WindowsHeadless::find(WindowHandle window, bool create) {
    if (!window) return nullptr;
    for (Window& w : windows)
        if (w.used && w.handle == window) return &w;
    if (!create) return nullptr;
    for (Window& w : windows) {
        if (!w.used) {
            w = {true, false, 0, window, nullptr, defaultWindowRect};
            return &w;
        }
    }
    return nullptr;
}

bool WindowsHeadless::adoptMade(WindowHandle window, const WinRect& rect) {
    Window* w = find(window, true);
    if (!w) return false;
    *w = {true, true, ++windowsMade, window, nullptr, rect};
    return true;
}

const char* WindowsHeadless::windowName(WindowHandle window) {
    if (!window) return "null";
    Window* w = find(window, false);
    if (w && w->created) return nextName("win%u", uintptr_t(w->number));
    return "host";
}

const char* WindowsHeadless::paletteName(GdiObject palette) {
    if (!palette) return "null";
    Palette* p = findPalette(palette);
    return p ? nextName("pal%u", uintptr_t(p->number)) : "unknown";
}

uint16_t WindowsHeadless::RegisterClassA(const WindowClass* c) {
    log("RegisterClassA %s style=0x%X extra=%d,%d icon=%u cursor=%s background=%u menu=%s",
        c->className ? c->className : "(null)", c->style, c->classExtra, c->windowExtra,
        unsigned(uintptr_t(c->icon) - iconTokenBase), c->cursor ? "set" : "none",
        unsigned(uintptr_t(c->background) - stockTokenBase), c->menuName ? c->menuName : "none");
    if (failRegisterClass || !c->className || !c->className[0]) return 0;
    int freeSlot = -1;
    for (int i = 0; i < maxClasses; ++i) {
        if (classNames[i][0] && std::strcmp(classNames[i], c->className) == 0) return 0;
        if (!classNames[i][0] && freeSlot < 0) freeSlot = i;
    }
    if (freeSlot < 0) return 0;
    copyText(classNames[freeSlot], sizeof classNames[0], c->className);
    return uint16_t(0xC000 + freeSlot);
}

void* WindowsHeadless::LoadIconA(void*, uintptr_t id) {
    return reinterpret_cast<void*>(iconTokenBase + id);
}

GdiObject WindowsHeadless::GetStockObject(int32_t id) {
    return reinterpret_cast<void*>(stockTokenBase + uintptr_t(id));
}

WindowHandle WindowsHeadless::CreateWindowExA(uint32_t exStyle, const char* className,
                                              const char* title, uint32_t style, int32_t x,
                                              int32_t y, int32_t width, int32_t height,
                                              WindowHandle parent, void* menu, void* instance,
                                              void*) {
    log("CreateWindowExA ex=0x%X class=%s title=%s style=0x%X %d,%d %dx%d parent=%s menu=%s "
        "instance=%s",
        exStyle, className ? className : "(null)", title ? title : "(null)", style, x, y, width,
        height, parent ? "set" : "none", menu ? "set" : "none", instance ? "set" : "none");
    if (failCreateWindow) return nullptr;
    for (Window& w : windows) {
        if (!w.used) {
            w = {true, true, ++windowsMade, &w, nullptr, {x, y, x + width, y + height}};
            return w.handle;
        }
    }
    return nullptr;
}

bool WindowsHeadless::ShowWindow(WindowHandle window, int32_t command) {
    log("ShowWindow %s %d", windowName(window), command);
    return find(window, false) != nullptr;
}

bool WindowsHeadless::UpdateWindow(WindowHandle window) {
    log("UpdateWindow %s", windowName(window));
    return find(window, false) != nullptr;
}

WindowHandle WindowsHeadless::SetFocus(WindowHandle window) {
    log("SetFocus %s", windowName(window));
    return nullptr;
}

bool WindowsHeadless::DestroyWindow(WindowHandle window) {
    log("DestroyWindow %s", windowName(window));
    Window* w = find(window, false);
    if (!w) return false;
    // The platform sends WM_DESTROY and, last, WM_NCDESTROY to the window.
    if (w->procedure) CallWindowProcA(w->procedure, window, WM_DESTROY, 0, 0);
    if (w->procedure) CallWindowProcA(w->procedure, window, WM_NCDESTROY, 0, 0);
    *w = {};
    return true;
}

WindowProc WindowsHeadless::GetWindowProc(WindowHandle window) {
    Window* w = find(window, true);
    return w ? w->procedure : nullptr;
}

WindowProc WindowsHeadless::SetWindowProc(WindowHandle window, WindowProc procedure) {
    log("SetWindowLongA %s GWL_WNDPROC", windowName(window));
    Window* w = find(window, true);
    if (!w) return nullptr;
    WindowProc previous = w->procedure;
    w->procedure = procedure;
    return previous;
}

intptr_t WindowsHeadless::CallWindowProcA(WindowProc procedure, WindowHandle window,
                                          uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return procedure ? procedure(window, message, wParam, lParam) : 0;
}

bool WindowsHeadless::GetWindowRect(WindowHandle window, WinRect* rect) {
    Window* w = find(window, true);
    if (!w) return false;
    *rect = w->rect;
    return true;
}

bool WindowsHeadless::GetClientRect(WindowHandle window, WinRect* rect) {
    Window* w = find(window, true);
    if (!w) return false;
    *rect = {0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    return true;
}

bool WindowsHeadless::ClientToScreen(WindowHandle window, WinPoint* point) {
    Window* w = find(window, true);
    if (!w) return false;
    point->x += w->rect.left;
    point->y += w->rect.top;
    return true;
}

bool WindowsHeadless::ClipCursor(const WinRect* rect) {
    if (rect) {
        log("ClipCursor %d,%d,%d,%d", rect->left, rect->top, rect->right, rect->bottom);
        cursorRect = *rect;
    } else {
        log("ClipCursor null");
    }
    cursorConfined = rect != nullptr;
    return true;
}

int32_t WindowsHeadless::MessageBoxA(WindowHandle window, const char* text, const char* caption,
                                     uint32_t type) {
    log("MessageBoxA %s \"%s\" \"%s\" %u", windowName(window), caption ? caption : "",
        text ? text : "", type);
    copyText(messageText, sizeof messageText, text);
    copyText(messageCaption, sizeof messageCaption, caption);
    return 1; // IDOK
}

uint32_t WindowsHeadless::GetTickCount() {
    if (tickFixed) return tickValue;
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint32_t(uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u);
}

void* WindowsHeadless::GetDC(WindowHandle window) {
    log("GetDC %s", windowName(window));
    if (noDeviceContext || !window) return nullptr;
    deviceContext.window = window;
    return &deviceContext;
}

int32_t WindowsHeadless::ReleaseDC(WindowHandle window, void* dc) {
    log("ReleaseDC %s", windowName(window));
    return dc == &deviceContext ? 1 : 0;
}

uint32_t WindowsHeadless::GetSystemPaletteUse(void*) {
    log("GetSystemPaletteUse -> %u", paletteUse);
    return paletteUse;
}

uint32_t WindowsHeadless::SetSystemPaletteUse(void*, uint32_t use) {
    log("SetSystemPaletteUse %u", use);
    uint32_t previous = paletteUse;
    paletteUse = use;
    return previous;
}

GdiObject WindowsHeadless::CreatePalette(const LogicalPalette* palette) {
    bool fail = failPaletteCountdown > 0 && --failPaletteCountdown == 0;
    Palette* slot = nullptr;
    if (!fail && palette && palette->version == 0x300 && palette->count <= 256) {
        for (Palette& p : palettes) {
            if (!p.used) {
                slot = &p;
                break;
            }
        }
    }
    if (!slot) {
        log("CreatePalette %u -> null", palette ? palette->count : 0u);
        return nullptr;
    }
    slot->used = true;
    slot->number = ++palettesMade;
    slot->count = palette->count;
    std::memcpy(slot->entries, palette->entries, sizeof(GdiPaletteEntry) * palette->count);
    log("CreatePalette %u -> pal%d", palette->count, slot->number);
    return slot;
}

GdiObject WindowsHeadless::SelectPalette(void* dc, GdiObject palette, bool forceBackground) {
    log("SelectPalette %s%s", paletteName(palette), forceBackground ? " background" : "");
    if (dc != &deviceContext) return nullptr;
    GdiObject previous = deviceContext.selected;
    deviceContext.selected = palette;
    return previous;
}

uint32_t WindowsHeadless::RealizePalette(void* dc) {
    if (dc != &deviceContext) return 0;
    log("RealizePalette %s", paletteName(deviceContext.selected));
    Palette* p = findPalette(deviceContext.selected);
    if (!p) return 0;
    realizedCount = p->count;
    std::memcpy(realized, p->entries, sizeof(GdiPaletteEntry) * p->count);
    return p->count;
}

bool WindowsHeadless::DeleteObject(GdiObject object) {
    log("DeleteObject %s", paletteName(object));
    Palette* p = findPalette(object);
    if (!p) return false;
    if (deviceContext.selected == object) deviceContext.selected = nullptr;
    *p = {};
    return true;
}

uint32_t WindowsHeadless::GetSysColor(int32_t element) {
    log("GetSysColor %d", element);
    return element >= 0 && element < sysColorCount ? sysColors[element] : 0;
}

bool WindowsHeadless::SetSysColors(int32_t count, const int32_t* elements, const uint32_t* colors) {
    log("SetSysColors %d", count);
    for (int32_t i = 0; i < count; ++i)
        if (elements[i] >= 0 && elements[i] < sysColorCount) sysColors[elements[i]] = colors[i];
    return true;
}

namespace headless {

const char* callLog() {
    return callLogText;
}

void clearCallLog() {
    callLogLength = 0;
    callLogText[0] = 0;
}

void reset() {
    resetState();
}

void setTick(bool fixed, uint32_t tick) {
    tickFixed = fixed;
    tickValue = tick;
}

void setNoDeviceContext(bool none) {
    noDeviceContext = none;
}

void failCreatePaletteNth(int n) {
    failPaletteCountdown = n > 0 ? n : 0;
}

void setFailRegisterClass(bool fail) {
    failRegisterClass = fail;
}

void setFailCreateWindow(bool fail) {
    failCreateWindow = fail;
}

void setWindowRect(WindowHandle window, const WinRect& rect) {
    for (auto& w : windows) {
        if (w.used && w.handle == window) {
            w.rect = rect;
            return;
        }
    }
    for (auto& w : windows) {
        if (!w.used) {
            w = {true, false, 0, window, nullptr, rect};
            return;
        }
    }
}

intptr_t sendMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    for (auto& w : windows)
        if (w.used && w.handle == window && w.procedure)
            return w.procedure(window, message, wParam, lParam);
    return 0;
}

int realizedPalette(GdiPaletteEntry* out) {
    if (out) std::memcpy(out, realized, sizeof(GdiPaletteEntry) * realizedCount);
    return realizedCount;
}

uint32_t systemPaletteUse() {
    return paletteUse;
}

uint32_t sysColor(int32_t element) {
    return element >= 0 && element < sysColorCount ? sysColors[element] : 0;
}

bool cursorClip(WinRect* rect) {
    if (cursorConfined && rect) *rect = cursorRect;
    return cursorConfined;
}

const char* lastMessageBoxText() {
    return messageText;
}

const char* lastMessageBoxCaption() {
    return messageCaption;
}

int livePalettes() {
    int n = 0;
    for (const Palette& p : palettes)
        n += p.used;
    return n;
}

int liveWindows() {
    int n = 0;
    for (const auto& w : windows)
        n += w.used && w.created;
    return n;
}

} // namespace headless
