// Blitting speed in nanoseconds per pixel (counter ns_per_pixel): fills
// and copies against memset and memcpy of the same bytes, the keyed and
// converting copies, the blends, the scaler, and the special bitmap
// against the keyed copy of the same sprite. Screen-sized bitmaps
// (640 x 480 unless the name says otherwise).
#include <spanwright/spanwright.h>

#include "bitmap/bitmap.h"
#include "blit/blit.h"
#include "fastpath.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr int screenW = 640, screenH = 480;

void perPixel(benchmark::State& state, int64_t pixels) {
    state.counters["ns_per_pixel"] =
        benchmark::Counter(double(pixels) / 1e9, benchmark::Counter::kIsIterationInvariantRate |
                                                     benchmark::Counter::kInvert);
    state.SetItemsProcessed(int64_t(state.iterations()) * pixels);
}

// A bitmap filled from a seeded generator; `zeroPercent` of the pixels of
// an 8-bit bitmap are 0.
bitmap_tag* makeBitmap(uint8_t type, int w, int h, int zeroPercent = 0, uint32_t seed = 1) {
    bitmap_tag* bm = nullptr;
    bitmapAlloc(&bm, type, w, h, 0);
    size_t bytes = size_t(h + 1) * bm->rowBytes + 1;
    uint32_t s = seed;
    for (size_t i = 0; i < bytes; ++i) {
        s = s * 1664525u + 1013904223u;
        bm->pixels[i] = uint8_t(s >> 24);
    }
    if (bytesPerPixel(type) == 1)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                s = s * 1664525u + 1013904223u;
                uint8_t& p = bm->pixels[y * bm->rowBytes + x];
                p = int((s >> 8) % 100) < zeroPercent ? 0 : uint8_t(1 + (s >> 24) % 255);
            }
    return bm;
}

struct Palette {
    uint32_t entries[256];
    Palette() {
        uint32_t s = 99;
        for (auto& e : entries) {
            s = s * 1664525u + 1013904223u;
            e = s;
        }
        paletteSetCurrent(entries, 0, 256);
    }
    ~Palette() { paletteCurrent = nullptr; }
};

// --------------------------------------------------------------- fills

void BM_bitmapFill(benchmark::State& state) {
    Palette palette;
    bitmap_tag* bm = makeBitmap(uint8_t(state.range(0)), screenW, screenH);
    int color = 0;
    for (auto _ : state) {
        bitmapFill(bm, ++color & 0xFF);
        benchmark::ClobberMemory();
    }
    perPixel(state, int64_t(screenW) * screenH);
    bitmapFree(bm);
}
BENCHMARK(BM_bitmapFill)->Arg(PIXEL_PAL8)->Arg(PIXEL_RGB565)->ArgName("type");

void BM_fillRect(benchmark::State& state) {
    Palette palette;
    bitmap_tag* bm = makeBitmap(uint8_t(state.range(0)), screenW, screenH);
    int color = 0;
    for (auto _ : state) {
        fillRect(bm, ++color & 0xFF, 0, 0, screenW, screenH);
        benchmark::ClobberMemory();
    }
    perPixel(state, int64_t(screenW) * screenH);
    bitmapFree(bm);
}
BENCHMARK(BM_fillRect)->Arg(PIXEL_PAL8)->Arg(PIXEL_RGB565)->ArgName("type");

// memset of the same bytes as a fill of 8-bit (bytes per pixel 1) or
// 16-bit (2) pixels, in one call: the fastest the C library clears them.
void BM_memset(benchmark::State& state) {
    int bpp = int(state.range(0));
    std::vector<uint8_t> pixels(size_t(screenW) * bpp * (screenH + 1) + 1);
    int color = 0;
    for (auto _ : state) {
        std::memset(pixels.data(), ++color, size_t(screenW) * bpp * screenH);
        benchmark::ClobberMemory();
    }
    perPixel(state, int64_t(screenW) * screenH);
}
BENCHMARK(BM_memset)->Arg(1)->Arg(2)->ArgName("bytes_per_pixel");

// ---------------------------------------------------------------- copies

// bitmapCopy of a source of `width` x 480 onto a destination of the same
// size: 640-byte rows and longer.
void copyBench(benchmark::State& state, uint8_t srcType, uint8_t dstType, int width,
               int zeroPercent) {
    Palette palette;
    static uint8_t colormap[16] = {1,   17,  34,  51,  68,  85,  102, 119,
                                   136, 153, 170, 187, 204, 221, 238, 255};
    colormapSetCurrent(colormap);
    bitmapSetFontColor(0x00C08040);
    bitmap_tag* src = makeBitmap(srcType, width, screenH, zeroPercent, 7);
    if (isIndexed4(srcType))
        for (int i = 0; i < (screenH + 1) * src->rowBytes; ++i)
            src->pixels[i] &= 15;
    bitmap_tag* dst = makeBitmap(dstType, width, screenH, 0, 9);
    for (auto _ : state) {
        bitmapCopy(dst, 0, 0, src);
        benchmark::ClobberMemory();
    }
    perPixel(state, int64_t(width) * screenH);
    colormapSetCurrent(nullptr);
    bitmapFree(src);
    bitmapFree(dst);
}

// Rows without padding on either side: the copy is one block move.
void BM_copyBytes(benchmark::State& state) {
    copyBench(state, PIXEL_PAL8, PIXEL_PAL8, int(state.range(0)), 0);
}
BENCHMARK(BM_copyBytes)->Arg(640)->Arg(1024)->Arg(2048)->ArgName("row_bytes");

// The same rows copied into a destination 64 bytes wider, so neither
// side's rows follow each other and every row is its own block move.
void BM_copyBytesPaddedRows(benchmark::State& state) {
    int width = int(state.range(0));
    bitmap_tag* src = makeBitmap(PIXEL_PAL8, width, screenH, 0, 7);
    bitmap_tag* dst = makeBitmap(PIXEL_PAL8, width + 64, screenH, 0, 9);
    for (auto _ : state) {
        bitmapCopy(dst, 0, 0, src);
        benchmark::ClobberMemory();
    }
    perPixel(state, int64_t(width) * screenH);
    bitmapFree(src);
    bitmapFree(dst);
}
BENCHMARK(BM_copyBytesPaddedRows)->Arg(640)->Arg(1024)->Arg(2048)->ArgName("row_bytes");

// memcpy of the rows of BM_copyBytesPaddedRows, one call per row.
void BM_memcpyRows(benchmark::State& state) {
    int width = int(state.range(0));
    std::vector<uint8_t> src(size_t(width) * (screenH + 1)), dst(size_t(width + 64) * screenH);
    for (size_t i = 0; i < src.size(); ++i)
        src[i] = uint8_t(i * 7);
    for (auto _ : state) {
        for (int y = 0; y < screenH; ++y)
            std::memcpy(dst.data() + size_t(y) * (width + 64), src.data() + size_t(y) * width,
                        size_t(width));
        benchmark::ClobberMemory();
    }
    perPixel(state, int64_t(width) * screenH);
}
BENCHMARK(BM_memcpyRows)->Arg(640)->Arg(1024)->Arg(2048)->ArgName("row_bytes");

void BM_copyKeyedBytes(benchmark::State& state) {
    copyBench(state, PIXEL_PAL8_KEY, PIXEL_PAL8, screenW, int(state.range(0)));
}
BENCHMARK(BM_copyKeyedBytes)->Arg(0)->Arg(50)->Arg(100)->ArgName("transparent_percent");

void BM_copyPal8To565(benchmark::State& state) {
    copyBench(state, PIXEL_PAL8, PIXEL_RGB565, screenW, 0);
}
BENCHMARK(BM_copyPal8To565);

void BM_copyColormapExpand(benchmark::State& state) {
    copyBench(state, PIXEL_CMAP4, PIXEL_PAL8, screenW, 0);
}
BENCHMARK(BM_copyColormapExpand);

void BM_copyArgb4444To565(benchmark::State& state) {
    copyBench(state, PIXEL_ARGB4444, PIXEL_RGB565, screenW, 0);
}
BENCHMARK(BM_copyArgb4444To565);

void BM_copyAlpha8To565(benchmark::State& state) {
    copyBench(state, PIXEL_ALPHA8, PIXEL_RGB565, screenW, 0);
}
BENCHMARK(BM_copyAlpha8To565);

// The copy routine called directly with the rectangle bitmapCopy would
// compute: with BM_copyBytes and BM_copyKeyedBytes it shows what the
// checks and clipping of bitmapCopy cost.
void BM_copyRoutineUnclipped(benchmark::State& state) {
    bool keyed = state.range(0);
    bitmap_tag* src = makeBitmap(keyed ? PIXEL_PAL8_KEY : PIXEL_PAL8, screenW, screenH, 50, 7);
    bitmap_tag* dst = makeBitmap(PIXEL_PAL8, screenW, screenH, 0, 9);
    CopyRoutine routine = copyRoutineFor(src->pixelType, dst->pixelType);
    for (auto _ : state) {
        routine(dst->pixels, 0, dst->rowBytes, src->pixels, 0, src->rowBytes, screenW, screenH);
        benchmark::ClobberMemory();
    }
    perPixel(state, int64_t(screenW) * screenH);
    bitmapFree(src);
    bitmapFree(dst);
}
BENCHMARK(BM_copyRoutineUnclipped)->Arg(0)->Arg(1)->ArgName("keyed");

// --------------------------------------------------------------- scaling

// A 320 x 240 source doubled to the whole screen, or a 1280 x 960 one
// halved; the counter is per destination pixel.
void BM_scaleFast8(benchmark::State& state) {
    bool doubling = state.range(0) == 2;
    int sw = doubling ? screenW / 2 : screenW * 2, sh = doubling ? screenH / 2 : screenH * 2;
    bitmap_tag* src = makeBitmap(PIXEL_PAL8, sw, sh, 0, 3);
    bitmap_tag* dst = makeBitmap(PIXEL_PAL8, screenW, screenH, 0, 4);
    int32_t factor = doubling ? 0x20000 : 0x8000;
    for (auto _ : state) {
        bitmapScale(dst, 0, 0, src, factor, factor);
        benchmark::ClobberMemory();
    }
    perPixel(state, int64_t(screenW) * screenH);
    bitmapFree(src);
    bitmapFree(dst);
}
BENCHMARK(BM_scaleFast8)->Arg(2)->Arg(0)->ArgName("times_2_or_half");

// ------------------------------------------------------- special bitmaps

// A 256 x 256 sprite: an opaque disc of radius 100 in a transparent
// surround (about half of it transparent), optionally with a transparent
// hole every 29 pixels inside (runs of about 28 pixels), drawn as a
// special bitmap and as the keyed copy of the same source.
bitmap_tag* spriteSource(bool holes) {
    bitmap_tag* src = makeBitmap(PIXEL_PAL8_KEY, 256, 256, 0, 5);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            int dx = x - 128, dy = y - 128;
            bool inside = dx * dx + dy * dy < 100 * 100 && !(holes && (x * 13 + y * 7) % 29 == 0);
            if (!inside) src->pixels[y * src->rowBytes + x] = 0;
        }
    return src;
}

void BM_spriteSpecial(benchmark::State& state) {
    Palette palette;
    bitmap_tag* src = spriteSource(state.range(1));
    bitmap_tag* dst = makeBitmap(uint8_t(state.range(0)), screenW, screenH, 0, 2);
    uint8_t* special = bitmapCreateSpecial(src, dst, 100, 100);
    for (auto _ : state) {
        bitmapDrawSpecial(dst, special);
        benchmark::ClobberMemory();
    }
    perPixel(state, 256 * 256);
    bitmapFreeSpecial(special);
    bitmapFree(src);
    bitmapFree(dst);
}
BENCHMARK(BM_spriteSpecial)
    ->ArgsProduct({{PIXEL_PAL8, PIXEL_RGB565}, {0, 1}})
    ->ArgNames({"type", "holes"});

// The keyed copy of the same sprite, with the fast or (plain = 1) the
// plain routines: the pixel-by-pixel copy every build can fall back on.
void BM_spriteKeyedCopy(benchmark::State& state) {
    Palette palette;
    bitmap_tag* src = spriteSource(state.range(1));
    bitmap_tag* dst = makeBitmap(uint8_t(state.range(0)), screenW, screenH, 0, 2);
    const bool wasPlain = plainRoutines();
    setPlainRoutines(state.range(2) != 0);
    for (auto _ : state) {
        bitmapCopy(dst, 100, 100, src);
        benchmark::ClobberMemory();
    }
    setPlainRoutines(wasPlain);
    perPixel(state, 256 * 256);
    bitmapFree(src);
    bitmapFree(dst);
}
BENCHMARK(BM_spriteKeyedCopy)
    ->ArgsProduct({{PIXEL_PAL8, PIXEL_RGB565}, {0, 1}, {0, 1}})
    ->ArgNames({"type", "holes", "plain"});

} // namespace
