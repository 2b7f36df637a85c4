// Helpers of the file tests: open files, byte builders for hand-made
// chunked files, and comparisons of bitmaps.
#pragma once

#include "bitmap/pixeltype.h"
#include "host/byteorder.h"
#include "imagefile/imagefile.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace swtest {

using Bytes = std::vector<uint8_t>;

// A file opened through the host services, closed when the object dies.
class OpenFile {
  public:
    // mode 'r' opens an existing file, 'w' creates one.
    OpenFile(const std::string& path, char mode) {
        EXPECT_TRUE(mode == 'w' ? fileCreate(&f_, path.c_str()) : fileOpen(&f_, path.c_str()))
            << path;
    }
    ~OpenFile() { fileClose(f_); }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    operator file_tag*() const { return f_; }

  private:
    file_tag* f_ = nullptr;
};

// Makes `dir` the current directory while alive.
class ChangeDir {
  public:
    explicit ChangeDir(const std::string& dir) : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~ChangeDir() { std::filesystem::current_path(previous_); }
    ChangeDir(const ChangeDir&) = delete;
    ChangeDir& operator=(const ChangeDir&) = delete;

  private:
    std::filesystem::path previous_;
};

// `bytes` written to dir/name and opened for reading.
struct BytesFile {
    TempDir dir;
    OpenFile file;
    explicit BytesFile(const Bytes& bytes, const std::string& name = "f")
        : file((writeFile(dir.file(name), bytes), dir.file(name)), 'r') {}
    operator file_tag*() const { return file; }
};

// The bytes `write` puts into a fresh file (it must succeed).
inline Bytes written(const std::function<bool(file_tag*)>& write) {
    TempDir dir;
    EXPECT_TRUE(write(OpenFile(dir.file("w"), 'w')));
    return readFile(dir.file("w"));
}

inline void putLe16(Bytes& b, uint32_t v) {
    b.resize(b.size() + 2);
    storeLe16(&b[b.size() - 2], v);
}
inline void putLe32(Bytes& b, uint32_t v) {
    b.resize(b.size() + 4);
    storeLe32(&b[b.size() - 4], v);
}
inline void append(Bytes& to, const Bytes& more) {
    to.insert(to.end(), more.begin(), more.end());
}

// A chunk: id in reading order, tag 0 (or given), size, payload.
inline Bytes chunk(const char id[4], const Bytes& payload, std::optional<int32_t> size = {},
                   uint32_t tag = 0) {
    Bytes b(id, id + 4);
    putLe32(b, tag);
    putLe32(b, uint32_t(size.value_or(int32_t(payload.size()))));
    append(b, payload);
    return b;
}
// A container of the given children.
inline Bytes container(const char id[4], const std::vector<Bytes>& children) {
    Bytes payload;
    for (const Bytes& c : children)
        append(payload, c);
    return chunk(id, payload);
}
// A "BMHD" payload.
inline Bytes bmhd(uint8_t type, uint32_t width, uint32_t height, uint32_t rowBytes,
                  uint8_t compression = 0) {
    Bytes b{type};
    for (uint32_t v : {width, height, rowBytes})
        putLe32(b, v);
    b.push_back(compression);
    return b;
}

// A hand-made PCX file of a w x h image (8 bits in one plane unless given,
// header colours 0, 5, 10, ...), then `data` and, unless `palette` is
// false, the marker and 256 colours.
inline Bytes pcxBytes(int w, int h, uint8_t encoding, const Bytes& data, bool palette = true,
                      uint8_t bits = 8, uint8_t planes = 1) {
    Bytes b(128, 0);
    b[0] = 10, b[1] = 5, b[2] = encoding, b[3] = bits, b[65] = planes;
    storeLe16(&b[8], uint32_t(w - 1));
    storeLe16(&b[10], uint32_t(h - 1));
    for (int i = 0; i < 48; ++i)
        b[16 + i] = uint8_t(i * 5);
    for (uint8_t byte : data) // append() of an empty vector here trips a GCC 12 bounds warning
        b.push_back(byte);
    if (palette) b.resize(b.size() + 769, 12);
    return b;
}

// A hand-made TGA file: the header of a w x h image, its colour map fields
// (`mapType`, `mapLength` entries of `mapBits`) as given, the top row
// first; then `data`.
inline Bytes tgaBytes(int w, int h, uint8_t type, uint8_t bits, const Bytes& data = {},
                      uint8_t mapType = 0, uint8_t mapBits = 0, uint8_t mapLength = 0) {
    Bytes b = {0, mapType, type, 0, 0, mapLength, 0, mapBits, 0, 0, 0, 0};
    putLe16(b, uint32_t(w));
    putLe16(b, uint32_t(h));
    append(b, {bits, 0x20});
    append(b, data);
    return b;
}

// A mip chain from the library, freed when the holder dies.
struct MipHolder {
    mip_tag* mip = nullptr;
    ~MipHolder() { mipFree(mip); }
};

// Calls `fn(&out, args...)`, a function that makes something as the
// loaders do: it must hand out null exactly when it fails. What it made
// goes to `release`. Returns whether it succeeded.
template <class T, class... Params, class... Args>
bool tryMake(uint8_t (*fn)(T**, Params...), void (*release)(T*), Args&&... args) {
    T* out = reinterpret_cast<T*>(1);
    const bool ok = fn(&out, std::forward<Args>(args)...);
    EXPECT_EQ(ok, out != nullptr);
    release(ok ? out : nullptr);
    return ok;
}

// Expects every text among the DebugPrintf texts, or with `orError` among
// the _Error ones too.
inline void expectSaid(const MessageCapture& messages, std::initializer_list<std::string> texts,
                       bool orError = false) {
    for (const std::string& text : texts)
        EXPECT_TRUE(messages.sawDebug(text) || (orError && messages.sawError(text)))
            << text << messages.dump();
}

// Runs `call`, which must fail, say `message` (as expectSaid) and leave no
// block behind.
inline void expectFailure(const std::function<bool()>& call, const std::string& message,
                          bool orError = false) {
    SCOPED_TRACE(message);
    MessageCapture messages;
    const int64_t blocks = memLiveBlocks();
    EXPECT_FALSE(call());
    EXPECT_EQ(memLiveBlocks(), blocks);
    expectSaid(messages, {message}, orError);
}

// The bitmap a load makes of `bytes` in a file of that name (null when it
// fails).
inline bitmap_tag* loadBytes(const Bytes& bytes, const char* name = "f", uint8_t key = 0) {
    BytesFile f(bytes, name);
    bitmap_tag* bm = nullptr;
    EXPECT_EQ(bitmapLoadFile(&bm, f, key), 1) << name;
    return bm;
}

// Visible pixel bytes (width x bytes per pixel of each row) of a bitmap.
inline Bytes visiblePixels(const bitmap_tag* bm) {
    Bytes out;
    const int64_t rowLength = int64_t(bm->width) * bytesPerPixel(bm->pixelType);
    for (int32_t y = 0; y < bm->height; ++y) {
        const uint8_t* row = bm->pixels + int64_t(y) * bm->rowBytes;
        out.insert(out.end(), row, row + rowLength);
    }
    return out;
}

// A bitmap of the type with a random palette or colormap attached where
// the type carries one; 4-bit values are kept to 0..15.
inline bitmap_tag* randomBitmapWithMap(uint8_t type, int32_t w, int32_t h, uint32_t seed) {
    bitmap_tag* bm = randomBitmap(type, w, h, seed);
    if (isIndexed4(type)) {
        for (int64_t i = 0; i < int64_t(h + 1) * bm->rowBytes; ++i)
            bm->pixels[i] &= 15;
        uint8_t* cm;
        colormapAlloc(&cm);
        Rng rng(seed + 7);
        for (int i = 0; i < 16; ++i)
            cm[i] = uint8_t(rng.next());
        bm->map = cm;
    } else if (isIndexed8(type)) {
        bm->map = randomPalette(seed + 7);
    }
    return bm;
}

// The colour of value `v` of a bitmap as 0xAARRGGBB.
inline uint32_t argbOf(const bitmap_tag* bm, uint32_t v) {
    return uint32_t(colorA(bm, v)) << 24 | uint32_t(colorR(bm, v)) << 16 |
           uint32_t(colorG(bm, v)) << 8 | colorB(bm, v);
}

// The colours of a bitmap's pixels, row by row, under `mask`; with mask 0
// the values as stored.
inline std::vector<uint32_t> coloursOf(const bitmap_tag* bm, uint32_t mask) {
    std::vector<uint32_t> out;
    for (int32_t y = 0; y < bm->height; ++y)
        for (int32_t x = 0; x < bm->width; ++x)
            out.push_back(mask ? argbOf(bm, pixelAt(bm, x, y)) & mask : pixelAt(bm, x, y));
    return out;
}

// Runs a shell command; returns its exit status and its standard output
// and error, interleaved, in `output`.
inline int runCommand(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return -1;
    std::string text;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, n);
    const int status = pclose(pipe);
    if (output) *output = text;
    return commandExitCode(status);
}

} // namespace swtest
