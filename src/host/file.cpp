// Files over stdio: the host opens them, the rasterizer reads and writes
// through these calls. Positions and sizes are 32-bit, integers
// little-endian.
#include <spanwright/vesk.h>

#include "byteorder.h"
#include "file_internal.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

char homedir[256];

namespace {

// homedir starts as the directory the process was started in.
__attribute__((constructor)) void homedirInit() {
    if (!getcwd(homedir, sizeof homedir)) homedir[0] = '\0';
}

uint8_t openWithMode(file_tag** out, const char* name, const char* mode) {
    if (!out) return 0;
    *out = nullptr;
    if (!name) return 0;
    FILE* stream = std::fopen(name, mode);
    if (!stream) return 0;
    auto* f = static_cast<file_tag*>(std::malloc(sizeof(file_tag)));
    char* copy = strdup(name);
    if (!f || !copy) {
        std::free(f);
        std::free(copy);
        std::fclose(stream);
        return 0;
    }
    f->stream = stream;
    f->name = copy;
    *out = f;
    return 1;
}

} // namespace

extern "C" {

uint8_t fileOpen(file_tag** out, const char* name) {
    return openWithMode(out, name, "rb");
}

uint8_t fileCreate(file_tag** out, const char* name) {
    return openWithMode(out, name, "w+b");
}

void fileClose(file_tag* f) {
    if (!f) return;
    std::fclose(f->stream);
    std::free(f->name);
    std::free(f);
}

uint8_t libfileReadExact(file_tag* f, void* buf, uint32_t n) {
    if (!f || (!buf && n)) return 0;
    return n == 0 || std::fread(buf, 1, n, f->stream) == n;
}

uint8_t libfileReadAtMost(uint32_t* got, file_tag* f, void* buf, uint32_t n) {
    if (got) *got = 0;
    if (!f || !got || (!buf && n)) return 0;
    if (n == 0) return 1;
    size_t read = std::fread(buf, 1, n, f->stream);
    *got = static_cast<uint32_t>(read);
    return !std::ferror(f->stream);
}

uint8_t libfileReadUint8(file_tag* f, uint8_t* value) {
    return libfileReadExact(f, value, 1);
}

uint8_t libfileReadInt8(file_tag* f, int8_t* value) {
    return libfileReadExact(f, value, 1);
}

uint8_t libfileReadUint32(file_tag* f, uint32_t* value) {
    uint8_t b[4];
    if (!value || !libfileReadExact(f, b, 4)) return 0;
    *value = loadLe32(b);
    return 1;
}

uint8_t fileWrite(file_tag* f, const void* buf, uint32_t n) {
    if (!f || (!buf && n)) return 0;
    return n == 0 || std::fwrite(buf, 1, n, f->stream) == n;
}

uint8_t fileWriteUint8(file_tag* f, uint8_t value) {
    return fileWrite(f, &value, 1);
}

uint8_t fileWriteUint16(file_tag* f, uint16_t value) {
    uint8_t b[2];
    storeLe16(b, value);
    return fileWrite(f, b, 2);
}

uint8_t libfileSeekFromStart(file_tag* f, uint32_t pos) {
    return f && fseeko(f->stream, off_t(pos), SEEK_SET) == 0;
}

uint8_t libfileSeekFromCurrent(file_tag* f, int32_t delta) {
    if (!f) return 0;
    // In 64 bits whatever the width of off_t, so that no offset wraps.
    int64_t target = int64_t(ftello(f->stream)) + delta;
    if (target < 0 || target > int64_t(UINT32_MAX)) return 0;
    return fseeko(f->stream, off_t(target), SEEK_SET) == 0;
}

uint8_t libfileSeekFromEnd(file_tag* f, uint32_t back) {
    if (!f) return 0;
    uint32_t size = libfileSize(f);
    if (back > size) return 0;
    return fseeko(f->stream, off_t(size - back), SEEK_SET) == 0;
}

uint32_t libfileGetCurrentPosition(file_tag* f) {
    if (!f) return 0;
    off_t pos = ftello(f->stream);
    return pos < 0 ? 0 : uint32_t(pos);
}

uint32_t libfileSize(file_tag* f) {
    if (!f) return 0;
    std::fflush(f->stream);
    struct stat st;
    if (fstat(fileno(f->stream), &st) != 0 || st.st_size < 0) return 0;
    return int64_t(st.st_size) > int64_t(UINT32_MAX) ? UINT32_MAX : uint32_t(st.st_size);
}

const char* libfileName(file_tag* f) {
    return f ? f->name : "";
}

uint8_t fileChDir(const char* dir) {
    return dir && chdir(dir) == 0;
}

uint8_t libfileGetDir(char* buf) {
    if (!buf) return 0;
    if (!getcwd(buf, 256)) {
        buf[0] = '\0';
        return 0;
    }
    return 1;
}

} // extern "C"
