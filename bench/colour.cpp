// Colour search and conversion: the nearest-colour search over a whole
// palette, colorRGB per pixel type, and rebuilding the screen tables.
#include <spanwright/spanwright.h>

#include "bitmap/bitmap.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

struct Palette {
    uint32_t entries[256];
    Palette() {
        uint32_t s = 12345;
        for (auto& e : entries) {
            s = s * 1664525u + 1013904223u;
            e = s;
        }
    }
};

void BM_paletteRGB(benchmark::State& state) {
    Palette palette;
    uint32_t i = 0;
    for (auto _ : state) {
        uint8_t r = uint8_t(i * 37), g = uint8_t(i * 91), b = uint8_t(i * 13);
        benchmark::DoNotOptimize(paletteRGB(palette.entries, r, g, b));
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_paletteRGB);

void BM_colorRGB(benchmark::State& state) {
    Palette palette;
    bitmap_tag bm{};
    bm.pixelType = uint8_t(state.range(0));
    static uint8_t colormap[16] = {0,   17,  34,  51,  68,  85,  102, 119,
                                   136, 153, 170, 187, 204, 221, 238, 255};
    bm.map = isIndexed4(bm.pixelType) ? static_cast<void*>(colormap) : palette.entries;
    uint32_t* saved = paletteCurrent;
    paletteCurrent = palette.entries;
    uint32_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(colorRGB(&bm, uint8_t(i * 37), uint8_t(i * 91), uint8_t(i * 13)));
        ++i;
    }
    paletteCurrent = saved;
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_colorRGB)->DenseRange(0, 9)->ArgName("type");

void BM_screenSetPaletteRange256(benchmark::State& state) {
    Palette palette;
    for (auto _ : state) {
        screenSetPaletteRange(palette.entries, 0, 256);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 256);
}
BENCHMARK(BM_screenSetPaletteRange256);

} // namespace
