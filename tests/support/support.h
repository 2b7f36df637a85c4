// Helpers shared by the test programs.
#pragma once

#include <spanwright/spanwright.h>

#include "fastpath.h"
#include "memory.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

namespace swtest {

// The operating system's part, one file per platform (platform_posix.cpp,
// platform_windows.cpp): sets an environment variable, or removes it when
// `value` is null; and the exit code of a command from the status pclose
// gives, -1 when the command did not exit normally.
void setEnvironment(const char* name, const char* value);
int commandExitCode(int status);

// Collects every DebugPrintf and _Error text while alive.
class MessageCapture {
  public:
    MessageCapture() { veskSetMessageHook(&MessageCapture::hook, this); }
    ~MessageCapture() { veskSetMessageHook(nullptr, nullptr); }
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    const std::vector<std::string>& debug() const { return debug_; }
    const std::vector<std::string>& errors() const { return errors_; }
    // True when some DebugPrintf (_Error) text equals `text` exactly.
    bool sawDebug(const std::string& text) const { return has(debug_, text); }
    bool sawError(const std::string& text) const { return has(errors_, text); }
    // All texts of both kinds, one after another, for failure output.
    std::string dump() const;
    // The DebugPrintf texts joined in order.
    std::string debugText() const {
        return std::accumulate(debug_.begin(), debug_.end(), std::string());
    }
    void clear() { debug_.clear(), errors_.clear(); }

  private:
    static bool has(const std::vector<std::string>& texts, const std::string& text) {
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
    static void hook(void* user, int32_t kind, const char* text);
    std::vector<std::string> debug_, errors_;
};

// Runs `attempt` once for every allocation it makes, with that allocation
// failing, and once more with none failing. After every run the number of
// live library blocks must be back where it started: `attempt` releases
// whatever it created when it succeeded. Returns the number of allocations
// the successful run made.
int expectCleanOnEveryAllocationFailure(const std::function<void()>& attempt);

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object dies.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Puts the current palette, colormap and mip back as they were when it
// was made.
class SelectionGuard {
  public:
    SelectionGuard();
    ~SelectionGuard();
    SelectionGuard(const SelectionGuard&) = delete;
    SelectionGuard& operator=(const SelectionGuard&) = delete;

  private:
    uint32_t* palette_;
    uint8_t* colormap_;
    mip_tag* mip_;
};

// Runs the plain (true) or the fast (false) column of every routine table
// while alive; the choice in force before comes back afterwards.
class RoutineChoice {
  public:
    explicit RoutineChoice(bool plain) : was_(plainRoutines()) { setPlainRoutines(plain); }
    ~RoutineChoice() { setPlainRoutines(was_); }
    RoutineChoice(const RoutineChoice&) = delete;
    RoutineChoice& operator=(const RoutineChoice&) = delete;

  private:
    bool was_;
};

// Runs `body` with the plain routines and then with the fast ones (each
// run traced by name), and puts the choice back as it was.
void withPlainAndFast(const std::function<void(bool plain)>& body);

// For drawing tests: a seeded random palette made current (the screen
// tables follow it), a current colormap (or none) and a font colour. The
// selections and the font colour come back as they were.
class DrawScene {
  public:
    explicit DrawScene(uint32_t seed, uint8_t* colormap = nullptr, uint32_t fontColor = 0);
    ~DrawScene();
    DrawScene(const DrawScene&) = delete;
    DrawScene& operator=(const DrawScene&) = delete;

  private:
    SelectionGuard selections_;
    uint32_t* palette_;
    uint32_t fontColor_;
};

// A record of the given layout over `pixels` (none by default), without a
// map.
inline bitmap_tag shape(uint8_t type, int32_t w = 0, int32_t h = 0, int32_t rowBytes = 0,
                        uint8_t* pixels = nullptr) {
    return bitmap_tag{type, w, h, rowBytes, nullptr, pixels};
}

// Owns a bitmap from bitmapAlloc (such as randomBitmap's) and frees it when
// it dies; it stands for its record wherever one is asked for.
class Owned {
  public:
    Owned(bitmap_tag* bm) : bm_(bm) {}
    ~Owned() { bitmapFree(bm_); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    operator bitmap_tag*() const { return bm_; }
    bitmap_tag* operator->() const { return bm_; }

  private:
    bitmap_tag* bm_;
};

// The whole pixel buffer of a bitmap from bitmapAlloc: its rows, the spare
// row and the spare byte.
std::vector<uint8_t> bufferOf(const bitmap_tag* bm);
// True when every byte of the buffer of a bitmap from bitmapAlloc outside
// its visible pixels (row padding, the spare row and the spare byte) holds
// `byte`.
bool outsideHolds(const bitmap_tag* bm, uint8_t byte);
// A bitmap from bitmapAlloc (no map) whose whole buffer holds `byte`.
bitmap_tag* filledBitmap(uint8_t type, int32_t width, int32_t height, uint8_t byte);
// Pixel (x, y) as stored: bytes per pixel of the type, little-endian; rows
// rowBytes apart (either sign).
uint32_t pixelAt(const bitmap_tag* bm, int32_t x, int32_t y);
void setPixelAt(bitmap_tag* bm, int32_t x, int32_t y, uint32_t value);

// The rows of `bm` seen bottom-up: the same memory, last row first.
inline bitmap_tag bottomUpView(const bitmap_tag* bm) {
    bitmap_tag view = *bm;
    view.pixels = bm->pixels + int64_t(bm->height - 1) * bm->rowBytes;
    view.rowBytes = -bm->rowBytes;
    return view;
}

// Moves the mode table's cursor past its last row, where the next
// enumeration starts again.
inline void rewindModes() {
    screenmode_tag scratch;
    while (screenGetNextMode(&scratch)) {
    }
}

// Writes bytes to a file; reads a whole file.
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> readFile(const std::string& path);

// A bitmap from bitmapAlloc (no map) whose every byte, padding and spare
// row included, comes from a seeded generator.
bitmap_tag* randomBitmap(uint8_t type, int32_t width, int32_t height, uint32_t seed);

// A palette whose entries come from a seeded generator, owned by the caller
// (paletteFree).
uint32_t* randomPalette(uint32_t seed);

// Deterministic 32-bit generator for test data.
struct Rng {
    uint64_t state;
    explicit Rng(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return uint32_t(state >> 16);
    }
    // Uniform in lo..hi inclusive.
    int32_t range(int32_t lo, int32_t hi) {
        return lo + int32_t(next() % uint32_t(int64_t(hi) - lo + 1));
    }
};

// FNV-1a over the visible pixels of a bitmap (width * bytes per pixel of
// each row), for comparing images.
uint64_t bitmapHash(const bitmap_tag* bm);

} // namespace swtest
