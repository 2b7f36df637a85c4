// Building mip chains: the fast box filter (colour table, sorted-palette
// search, RGB cache) against the plain one (readPixel, colorR/G/B and a
// full palette search per output pixel). Both give identical chains.
//   BM_mipCreate/<side>/<0 plain, 1 fast>/<0 noisy, 1 smooth source>
#include <spanwright/spanwright.h>

#include "fastpath.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>

namespace {

// A PAL8 texture with its own random palette: a noisy source has few
// repeated block colours (worst case for the cache), a smooth one many.
bitmap_tag* makeSource(int32_t side, bool smooth) {
    bitmap_tag* bm;
    if (!bitmapAlloc(&bm, PIXEL_PAL8, side, side, 1)) std::abort();
    uint32_t s = 2024;
    auto next = [&] { return s = s * 1664525u + 1013904223u; };
    auto* palette = static_cast<uint32_t*>(bm->map);
    for (int i = 0; i < 256; ++i)
        palette[i] = next() >> 8;
    for (int32_t y = 0; y < side; ++y)
        for (int32_t x = 0; x < side; ++x)
            bm->pixels[y * bm->rowBytes + x] =
                smooth ? uint8_t((x * 7 / side + y * 5 / side * 8) + (next() >> 31))
                       : uint8_t(next() >> 24);
    return bm;
}

void BM_mipCreate(benchmark::State& state) {
    const int32_t side = int32_t(state.range(0));
    const bool plain = plainRoutines();
    setPlainRoutines(state.range(1) == 0);
    bitmap_tag* src = makeSource(side, state.range(2) != 0);
    for (auto _ : state) {
        mip_tag* mip;
        if (!mipCreate(&mip, src, 16, 0)) std::abort();
        benchmark::DoNotOptimize(mip->level[1].pixels[0]);
        mipFree(mip);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(side) * side);
    bitmapFree(src);
    setPlainRoutines(plain);
}
BENCHMARK(BM_mipCreate)->ArgsProduct({{256, 1024}, {0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);

} // namespace
