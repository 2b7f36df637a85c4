// The registry of comparison cases, the shared image and palette helpers,
// and the program's two modes:
//   spanwright_peer [Google Benchmark flags]   time every case
//   spanwright_peer --instructions [REGEX]     under valgrind --tool=callgrind:
//       run each case (matching REGEX) a fixed number of times between two
//       callgrind dumps named "<operation>/<side>|<pixels>|<iterations>";
//       bench/peer/instructions.sh turns the dumps into instructions/pixel.
#include "peer.h"

#include "bitmap/bitmap.h"

#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>
#include <pixman.h>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define PEER_HAVE_CALLGRIND 1
#endif

#include <cstdio>
#include <cstring>
#include <regex>

namespace peer {

namespace {
std::vector<Case>& registry() {
    static std::vector<Case> all;
    return all;
}
std::vector<void (*)()>& makers() {
    static std::vector<void (*)()> all;
    return all;
}
} // namespace

void add(Case c) {
    registry().push_back(std::move(c));
}
const std::vector<Case>& cases() {
    return registry();
}
bool registerCases(void (*f)()) {
    makers().push_back(f);
    return true;
}

Image::Image(uint8_t type, int w, int h) {
    bytes = bytesPerPixel(type);
    int rowBytes = (w * bytes + 3) & ~3;
    memory.assign(size_t(rowBytes) * (h + 1) + 64, 0);
    bm.pixelType = type;
    bm.width = w;
    bm.height = h;
    bm.rowBytes = rowBytes;
    uintptr_t base = reinterpret_cast<uintptr_t>(memory.data());
    bm.pixels = memory.data() + ((64 - base % 64) % 64);
}

Image::~Image() {
    if (pix) pixman_image_unref(pix);
    if (surface) SDL_FreeSurface(surface);
}

void Image::randomize(uint32_t seed) {
    Rng rng(seed);
    for (int64_t i = 0; i < int64_t(bm.rowBytes) * (bm.height + 1); ++i)
        bm.pixels[i] = uint8_t(rng.next() >> 24);
}

pixman_image_t* Image::pixman(uint32_t format) {
    if (!pix)
        pix = pixman_image_create_bits(pixman_format_code_t(format), bm.width, bm.height,
                                       reinterpret_cast<uint32_t*>(bm.pixels), bm.rowBytes);
    return pix;
}

SDL_Surface* Image::sdl(uint32_t format) {
    if (!surface) {
        surface = SDL_CreateRGBSurfaceWithFormatFrom(bm.pixels, bm.width, bm.height, bytes * 8,
                                                     bm.rowBytes, format);
        if (surface && SDL_ISPIXELFORMAT_INDEXED(format)) {
            static SDL_Palette* shared = [] {
                SDL_Palette* p = SDL_AllocPalette(256);
                SDL_Color colors[256];
                for (int i = 0; i < 256; ++i) {
                    uint32_t c = palette()[i];
                    colors[i] = {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 255};
                }
                SDL_SetPaletteColors(p, colors, 0, 256);
                return p;
            }();
            // One palette object for every 8-bit surface: SDL then copies
            // indexes as they are, without a translation table.
            SDL_SetSurfacePalette(surface, shared);
        }
    }
    return surface;
}

const uint32_t* palette() {
    static uint32_t entries[256];
    static bool made = [] {
        Rng rng(99);
        for (uint32_t& e : entries)
            e = 0xFF000000u | (rng.next() >> 8);
        // Index 7 (the flat triangles' colour) gets distinct bytes in 5:6:5.
        entries[7] = 0xFF2468ACu;
        paletteSetCurrent(entries, 0, 256);
        return true;
    }();
    (void)made;
    return entries;
}

} // namespace peer

namespace {

void registerWithBenchmark() {
    int seq = 0;
    for (const peer::Case& c : peer::cases()) {
        const peer::Case* cp = &c;
        ++seq;
        benchmark::RegisterBenchmark(
            (c.op + "/" + c.side).c_str(), [cp, seq](benchmark::State& state) {
                for (auto _ : state) {
                    cp->run();
                    benchmark::ClobberMemory();
                }
                state.counters["px"] = cp->pixels;
                state.counters["seq"] = seq; // the table keeps this order
                if (cp->triangles > 0) state.counters["tri"] = cp->triangles;
                char ratio[32] = "";
                if (cp->maxRatio > 0) std::snprintf(ratio, sizeof ratio, "max=%.3g ", cp->maxRatio);
                state.SetLabel(ratio + cp->note);
            });
    }
}

int countInstructions(const char* pattern) {
#if defined(PEER_HAVE_CALLGRIND)
    if (!RUNNING_ON_VALGRIND) {
        std::fprintf(stderr, "--instructions: run under valgrind --tool=callgrind\n");
        return 2;
    }
    std::regex filter(pattern ? pattern : ".*");
    for (const peer::Case& c : peer::cases()) {
        std::string name = c.op + "/" + c.side;
        if (!std::regex_search(name, filter)) continue;
        // Enough iterations for about 200000 pixels, at least 4.
        int iterations = std::max(4, int(200000 / std::max(c.pixels, 1.0)));
        c.run(); // warm
        CALLGRIND_ZERO_STATS;
        for (int i = 0; i < iterations; ++i)
            c.run();
        char label[256];
        std::snprintf(label, sizeof label, "%s|%.0f|%d", name.c_str(), c.pixels, iterations);
        CALLGRIND_DUMP_STATS_AT(label);
    }
    return 0;
#else
    (void)pattern;
    std::fprintf(stderr, "--instructions: built without valgrind/callgrind.h\n");
    return 2;
#endif
}

} // namespace

int main(int argc, char** argv) {
    peer::palette();
    for (auto make : peer::makers())
        make();
    if (argc >= 2 && std::strcmp(argv[1], "--instructions") == 0)
        return countInstructions(argc >= 3 ? argv[2] : nullptr);
    registerWithBenchmark();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
