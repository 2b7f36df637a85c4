// The peer comparison suite: every hot path of the library beside the
// memory limit (memset, memcpy) and the peer libraries' nearest operation
// (pixman, SDL2), on the same sizes and the same data, in one process.
//
// A comparison is a set of cases with the same operation id: one "ours"
// and one or more references. Each case owns its data (made once, before
// any timing) and a body that does one iteration's work; the number of
// pixels (and triangles) one iteration draws is measured, not assumed,
// where it can differ between the sides (triangles). main.cpp registers
// every case with Google Benchmark under "<operation>/<side>", and in
// --instructions mode runs each body a fixed number of times between
// callgrind dumps instead.
#pragma once

#include <spanwright/spanwright.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct SDL_Surface;
typedef union pixman_image pixman_image_t;

namespace peer {

struct Case {
    std::string op;       // operation id, e.g. "fill.8bpp.640x480"
    std::string side;     // "ours" or the reference: "memset", "pixman", "SDL2", ...
    std::string note;     // what exactly runs (the benchmark's label)
    double pixels = 0;    // pixels one iteration writes
    double triangles = 0; // triangles one iteration draws (0: not a triangle case)
    double maxRatio = 0;  // references: the target, ours / reference in time (0: none)
    std::function<void()> run;
};

void add(Case c);
const std::vector<Case>& cases();

// Registers cases at start-up: `const bool x = peer::registerCases(f);`.
bool registerCases(void (*f)());

// Pixel memory shared by our bitmap record and the peers' views of it:
// 64-byte aligned, rows a multiple of 4 bytes apart (pixman's stride
// unit), one spare row below (our keyed copy may read past a row's end).
struct Image {
    std::vector<uint8_t> memory;
    bitmap_tag bm{};
    int bytes = 1;
    pixman_image_t* pix = nullptr;
    SDL_Surface* surface = nullptr;

    Image(uint8_t type, int w, int h);
    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    uint8_t* row(int y) const { return bm.pixels + int64_t(y) * bm.rowBytes; }
    // Seeded random bytes over every row (the spare one included).
    void randomize(uint32_t seed);
    // A pixman image of `format` over the same memory (kept, freed with the Image).
    pixman_image_t* pixman(uint32_t format);
    // An SDL surface of `format` over the same memory (kept, freed with the Image).
    SDL_Surface* sdl(uint32_t format);
};

// The palette every case draws with (current palette, screen tables, the
// SDL and pixman palettes are made from it): seeded random colours.
const uint32_t* palette();

// Seeded generator.
struct Rng {
    uint32_t s;
    explicit Rng(uint32_t seed) : s(seed) {}
    uint32_t next() {
        s = s * 1664525u + 1013904223u;
        return s;
    }
    uint32_t below(uint32_t n) { return uint32_t((uint64_t(next()) * n) >> 32); }
};

} // namespace peer
