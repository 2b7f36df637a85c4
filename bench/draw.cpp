// Drawing primitives in nanoseconds per pixel (counter ns_per_pixel): long
// lines, clipped against the unclipped walk to show what clipping costs,
// and small rectangles with their clipping.
#include <spanwright/spanwright.h>

#include "bitmap/bitmap.h"
#include "draw/draw.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

constexpr int screenW = 640, screenH = 480;

void perPixel(benchmark::State& state, int64_t pixels) {
    state.counters["ns_per_pixel"] =
        benchmark::Counter(double(pixels) / 1e9, benchmark::Counter::kIsIterationInvariantRate |
                                                     benchmark::Counter::kInvert);
    state.SetItemsProcessed(int64_t(state.iterations()) * pixels);
}

struct Line {
    int x0, y0, x1, y1;
};

// 64 long lines across the screen in every direction (x-major, y-major,
// both senses), all inside it.
std::vector<Line> longLines(int64_t& pixels) {
    std::vector<Line> lines;
    pixels = 0;
    for (int i = 0; i < 64; ++i) {
        int t = i * 37 % 480;
        Line l = i % 2 ? Line{0, t, screenW - 1, screenH - 1 - t}
                       : Line{t * 4 / 3, 0, screenW - 1 - t * 4 / 3, screenH - 1};
        if (i % 4 >= 2) l = {l.x1, l.y1, l.x0, l.y0};
        lines.push_back(l);
        pixels += std::max(std::abs(l.x1 - l.x0), std::abs(l.y1 - l.y0)) + 1;
    }
    return lines;
}

bitmap_tag* screen(uint8_t type) {
    bitmap_tag* bm = nullptr;
    bitmapAlloc(&bm, type, screenW, screenH, 0);
    return bm;
}

// The long lines through the library's drawLine, or through the same walk
// without its clipping: the difference is what clipping costs.
template <void (*line)(bitmap_tag*, int32_t, int32_t, int32_t, int32_t, int32_t)>
void BM_lines(benchmark::State& state) {
    bitmap_tag* bm = screen(uint8_t(state.range(0)));
    int64_t pixels;
    std::vector<Line> lines = longLines(pixels);
    for (auto _ : state) {
        for (const Line& l : lines)
            line(bm, 7, l.x0, l.y0, l.x1, l.y1);
        benchmark::ClobberMemory();
    }
    perPixel(state, pixels);
    bitmapFree(bm);
}
BENCHMARK(BM_lines<drawLine>)
    ->Name("BM_drawLineLong")
    ->Arg(PIXEL_PAL8)
    ->Arg(PIXEL_RGB565)
    ->ArgName("type");
BENCHMARK(BM_lines<drawLineUnclipped>)
    ->Name("BM_drawLineLongUnclipped")
    ->Arg(PIXEL_PAL8)
    ->Arg(PIXEL_RGB565)
    ->ArgName("type");

// The same lines extended far beyond the screen on both ends: the clipped
// walk still costs only the visible pixels.
void BM_drawLineFarOutside(benchmark::State& state) {
    bitmap_tag* bm = screen(PIXEL_PAL8);
    int64_t pixels;
    std::vector<Line> lines = longLines(pixels);
    for (Line& l : lines) {
        int dx = l.x1 - l.x0, dy = l.y1 - l.y0;
        l = {l.x0 - 1000 * dx, l.y0 - 1000 * dy, l.x1 + 1000 * dx, l.y1 + 1000 * dy};
    }
    for (auto _ : state) {
        for (const Line& l : lines)
            drawLine(bm, 7, l.x0, l.y0, l.x1, l.y1);
        benchmark::ClobberMemory();
    }
    perPixel(state, pixels);
    bitmapFree(bm);
}
BENCHMARK(BM_drawLineFarOutside);

// 16 x 16 rectangles over the screen, some crossing its edges.
void BM_fillRectSmall(benchmark::State& state) {
    bitmap_tag* bm = screen(uint8_t(state.range(0)));
    int64_t pixels = 0;
    std::vector<std::pair<int, int>> at;
    for (int i = 0; i < 256; ++i) {
        int x = (i * 53) % (screenW + 16) - 16, y = (i * 29) % (screenH + 16) - 16;
        at.push_back({x, y});
        int w = std::min(x + 16, screenW) - std::max(x, 0),
            h = std::min(y + 16, screenH) - std::max(y, 0);
        pixels += int64_t(std::max(w, 0)) * std::max(h, 0);
    }
    for (auto _ : state) {
        for (auto [x, y] : at)
            fillRect(bm, 9, x, y, 16, 16);
        benchmark::ClobberMemory();
    }
    perPixel(state, pixels);
    bitmapFree(bm);
}
BENCHMARK(BM_fillRectSmall)->Arg(PIXEL_PAL8)->Arg(PIXEL_RGB565)->ArgName("type");

void BM_drawDebugText(benchmark::State& state) {
    bitmap_tag* bm = screen(PIXEL_RGB565);
    const char text[] = "FPS 60.0 spanwright debug readout 0123456789";
    for (auto _ : state) {
        drawDebugText(bm, 255, 0, 0, text, 0);
        benchmark::ClobberMemory();
    }
    perPixel(state, int64_t(sizeof(text) - 1) * 64);
    bitmapFree(bm);
}
BENCHMARK(BM_drawDebugText);

} // namespace
