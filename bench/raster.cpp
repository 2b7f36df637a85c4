// The polygon rasterizer: flat span writers against memset of the same
// bytes, flat and textured triangles of about 10, 100, 1000 and 10000
// pixels, a per-pixel-divide textured fill for comparison, and the cost of
// clipping on triangles that need none.
//
// Counters: px_per_s (pixels per second), s_per_px (its inverse), and for
// triangles items_per_second (triangles per second).
#include <spanwright/spanwright.h>

#include "bitmap/bitmap.h"
#include "memory.h"
#include "mip/mip.h"
#include "raster/raster.h"

#include "divide_per_pixel.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr int screenW = 1024, screenH = 768;

void pixelCounters(benchmark::State& state, double pixelsPerIteration) {
    double pixels = pixelsPerIteration * double(state.iterations());
    state.counters["px_per_s"] = benchmark::Counter(pixels, benchmark::Counter::kIsRate);
    state.counters["s_per_px"] =
        benchmark::Counter(pixels, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

struct Screen {
    bitmap_tag bm{};
    std::vector<uint8_t> memory;
    Screen(uint8_t type, int w = screenW, int h = screenH) {
        int bpp = bytesPerPixel(type);
        memory.assign(size_t(w) * bpp * (h + 1) + 64, 0);
        bm.pixelType = type;
        bm.width = w;
        bm.height = h;
        bm.rowBytes = w * bpp;
        // 64-byte aligned rows, as a display surface has.
        uintptr_t base = reinterpret_cast<uintptr_t>(memory.data());
        bm.pixels = memory.data() + ((64 - base % 64) % 64);
    }
};

// ------------------------------------------------------------ flat spans
//
// Arg 0: span length in pixels; arg 1: 0 = the same row again and again
// (first-level cache), 1 = the rows of a 1024 x 768 screen in turn.

template <bool wide>
void flatSpanArgs(benchmark::internal::Benchmark* b) {
    for (int len : {8, 64, 256, 1024})
        for (int where : {0, 1})
            b->Args({len, where});
}

// memset over the bytes of `len` pixels of a row.
template <uint8_t type>
void BM_memsetRow(benchmark::State& state) {
    Screen s(type);
    const int len = int(state.range(0)), bytes = len * bytesPerPixel(type);
    const bool cycle = state.range(1) != 0;
    int row = 0;
    for (auto _ : state) {
        std::memset(s.bm.pixels + size_t(row) * s.bm.rowBytes, 0x37, size_t(bytes));
        benchmark::ClobberMemory();
        if (cycle && ++row == screenH) row = 0;
    }
    pixelCounters(state, len);
    state.SetBytesProcessed(state.iterations() * bytes);
}

// The flat fill's writer over `len` pixels of a row: its rows routine for
// one row, whose table entries are 0 and len.
template <uint8_t type>
void BM_flatRow(benchmark::State& state) {
    Screen s(type);
    const int len = int(state.range(0));
    const bool cycle = state.range(1) != 0;
    const FlatRowsRoutine rows = pickRoutine(flatRowsFor(type));
    const uint32_t fill = bytesPerPixel(type) == 1 ? 0x37373737 : 0x1234u * 0x10001u;
    edgeTableDown[0] = 0;
    edgeTableUp[0] = len;
    int row = 0;
    for (auto _ : state) {
        rows(&s.bm, row, row, 0, fill);
        benchmark::ClobberMemory();
        if (cycle && ++row == screenH) row = 0;
    }
    pixelCounters(state, len);
    state.SetBytesProcessed(state.iterations() * len * bytesPerPixel(type));
}

BENCHMARK(BM_flatRow<PIXEL_PAL8>)->Name("BM_spanFlat8")->Apply(flatSpanArgs<false>);
BENCHMARK(BM_memsetRow<PIXEL_PAL8>)->Name("BM_memset8")->Apply(flatSpanArgs<false>);
BENCHMARK(BM_flatRow<PIXEL_RGB565>)->Name("BM_spanFlat16")->Apply(flatSpanArgs<true>);
BENCHMARK(BM_memsetRow<PIXEL_RGB565>)->Name("BM_memset16")->Apply(flatSpanArgs<true>);

// -------------------------------------------------------------- triangles

// Triangles of about `area` pixels scattered over the screen: a set of 64
// with sub-pixel corners, drawn in turn.
struct TriangleSet {
    std::vector<vertex_tag> corners;
    explicit TriangleSet(double area, bool perspective = false) {
        uint32_t seed = 2024;
        auto rnd = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return double(seed >> 8) / double(1u << 24);
        };
        double leg = std::sqrt(2.0 * area);
        for (int i = 0; i < 64; ++i) {
            double x = 2 + rnd() * (screenW - leg - 4), y = 2 + rnd() * (screenH - leg - 4);
            auto fx = [](double v) { return int32_t(std::lround(v * 65536.0)); };
            int32_t z0 = 0x10000, z1 = perspective ? 0x20000 : 0x10000;
            int32_t z2 = perspective ? 0x30000 : 0x10000;
            corners.push_back({fx(x), fx(y), z0, 0, 0, 7});
            corners.push_back({fx(x + leg), fx(y + 0.3), z1, 0x40000, 0, 7});
            corners.push_back({fx(x + 0.2), fx(y + leg), z2, 0, 0x40000, 7});
        }
    }
    vertex_tag* tri(size_t i) { return &corners[(i % 64) * 3]; }
};

void triangleCounters(benchmark::State& state, double area) {
    state.SetItemsProcessed(state.iterations());
    pixelCounters(state, area);
}

// aaTriangle over the set, onto an 8-bit or a 16-bit screen.
template <uint8_t type>
void BM_flatTriangle(benchmark::State& state) {
    Screen s(type);
    double area = double(state.range(0));
    TriangleSet set(area);
    size_t i = 0;
    for (auto _ : state) {
        vertex_tag* v = set.tri(i++);
        aaTriangle(&s.bm, 7, v[0].x, v[0].y, v[1].x, v[1].y, v[2].x, v[2].y);
        benchmark::ClobberMemory();
    }
    triangleCounters(state, area);
}
BENCHMARK(BM_flatTriangle<PIXEL_PAL8>)
    ->Name("BM_flatTriangle")
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000);
BENCHMARK(BM_flatTriangle<PIXEL_RGB565>)
    ->Name("BM_flatTriangle16")
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000);

// A 256 x 256 mip level of random texels (index 0 included: keyed
// routines skip about one texel in 256).
struct Texture {
    mip_tag* mip = nullptr;
    Texture(uint8_t type) {
        mip = mipRecordAlloc(1);
        mip->logWidth = mip->logHeight = 8;
        mip->levels = 1;
        bitmap_tag& l = mip->level[0];
        l.pixelType = type;
        l.width = l.height = 256;
        l.rowBytes = 256 * bytesPerPixel(type);
        l.pixels = static_cast<uint8_t*>(memAlloc(size_t(l.rowBytes) * 256));
        uint32_t seed = 99;
        for (int i = 0; i < l.rowBytes * 256; ++i) {
            seed = seed * 1664525u + 1013904223u;
            l.pixels[i] = uint8_t(seed >> 24);
            if (isIndexed4(type)) l.pixels[i] &= 15;
        }
    }
    ~Texture() { mipFree(mip); }
};

uint8_t identityColormap[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

// Arg 0: area; arg 1: target type; arg 2: texture type; arg 3: mode.
void BM_texturedTriangle(benchmark::State& state) {
    double area = double(state.range(0));
    Screen s(uint8_t(state.range(1)));
    Texture texture(uint8_t(state.range(2)));
    int mode = int(state.range(3));
    TriangleSet set(area, true);
    mip_tag* savedMip = mipCurrent;
    uint8_t* savedColormap = colormapCurrent;
    mipCurrent = texture.mip;
    colormapCurrent = identityColormap;
    size_t i = 0;
    for (auto _ : state) {
        vertex_tag* v = set.tri(i++);
        polyBegin(&s.bm, mode);
        polyVertex(&v[0]);
        polyVertex(&v[1]);
        polyVertex(&v[2]);
        polyEnd();
        benchmark::ClobberMemory();
    }
    mipCurrent = savedMip;
    colormapCurrent = savedColormap;
    triangleCounters(state, area);
}

void texturedArgs(benchmark::internal::Benchmark* b) {
    struct Variant {
        int target, texture, mode;
    };
    // 8 -> 8, 8 -> 565, 8 -> 1555, keyed 8 -> 8 and 8 -> 565, colormapped
    // 4 -> 8 and keyed 4 -> 565.
    const Variant variants[] = {{PIXEL_PAL8, PIXEL_PAL8, 4},        {PIXEL_RGB565, PIXEL_PAL8, 4},
                                {PIXEL_ARGB1555, PIXEL_PAL8, 4},    {PIXEL_PAL8, PIXEL_PAL8_KEY, 4},
                                {PIXEL_RGB565, PIXEL_PAL8_KEY, 4},  {PIXEL_PAL8, PIXEL_CMAP4, 4},
                                {PIXEL_RGB565, PIXEL_CMAP4_KEY, 4}, {PIXEL_RGB565, PIXEL_CMAP4, 4}};
    b->ArgNames({"area", "target", "texture", "mode"});
    for (const Variant& v : variants)
        for (int area : {10, 100, 1000, 10000})
            b->Args({area, v.target, v.texture, v.mode});
}
BENCHMARK(BM_texturedTriangle)->Apply(texturedArgs);

// The comparison fill (divide_per_pixel.h) over the same triangles.
void BM_texturedDividePerPixel(benchmark::State& state) {
    double area = double(state.range(0));
    Screen s(PIXEL_PAL8);
    Texture texture(PIXEL_PAL8);
    TriangleSet set(area, true);
    TexSpanSetup setup{};
    texSetTexture(&setup, &texture.mip->level[0]);
    setup.clip = targetClip(&s.bm);
    TexPolygon poly;
    size_t i = 0;
    vertex_tag* list[3];
    for (auto _ : state) {
        vertex_tag* v = set.tri(i++);
        list[0] = &v[0];
        list[1] = &v[1];
        list[2] = &v[2];
        texSetVertices(&poly, &texture.mip->level[0], 3, list);
        triTexturedRows(&s.bm, setup, poly, 0, 1, 2, rowsDividePerPixel);
        benchmark::ClobberMemory();
    }
    triangleCounters(state, area);
}
BENCHMARK(BM_texturedDividePerPixel)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000);

} // namespace

namespace {

// The set-up of the row benchmarks: a gentle perspective, rows unclipped
// across the screen.
TexSpanSetup spanSetUp(Texture& texture) {
    TexSpanSetup setup{};
    texSetTexture(&setup, &texture.mip->level[0]);
    TexGradients& g = setup.gradients;
    g.dOowDx = -0.0004f;
    g.dUozDx = 0.9f;
    g.dVozDx = 0.05f;
    g.dOowDx8 = 8.0f * g.dOowDx;
    g.dUozDx8 = 8.0f * g.dUozDx;
    g.dVozDx8 = 8.0f * g.dVozDx;
    setup.clip = ClipRect{0, 0, screenW, screenH};
    return setup;
}

// The library's rows routine of spanTex8, and the comparison fill's.
TexRowsRoutine spanTex8Rows() {
    return pickRoutine(texRowsRoutines(texSpanCaseFor(PIXEL_PAL8, PIXEL_PAL8, false)).clipped);
}
TexRowsRoutine dividePerPixelRows() {
    return rowsDividePerPixel;
}

// Draws the span from edge a to edge b on row y as a triangle of one row.
void drawSpan(TexRowsRoutine rows, bitmap_tag* target, const TexSpanSetup& setup, int64_t y,
              texEdge_tag a, texEdge_tag b) {
    static const texEdge_tag none{};
    a.edge.yStart = b.edge.yStart = int32_t(y);
    a.edge.rows = b.edge.rows = 1;
    rows(target, setup, a, b, none);
}

// One row of `len` pixels with a gentle perspective.
template <TexRowsRoutine (*routine)()>
void BM_spanRow(benchmark::State& state) {
    int len = int(state.range(0));
    Screen s(PIXEL_PAL8);
    Texture texture(PIXEL_PAL8);
    const TexSpanSetup setup = spanSetUp(texture);
    const TexRowsRoutine rows = routine();
    texEdge_tag a{}, b{};
    a.edge.x = 3;
    b.edge.x = 3 + len;
    a.oow = 1.0f;
    a.uoz = 10.0f;
    a.voz = 20.0f;
    for (auto _ : state) {
        drawSpan(rows, &s.bm, setup, 0, a, b);
        benchmark::ClobberMemory();
    }
    pixelCounters(state, len);
}
// Rows of seeded random lengths 1 .. arg (a triangle's rows vary in
// length, so branches on the length are not predicted), each row on its own
// screen row.
template <TexRowsRoutine (*routine)()>
void BM_spanRowRandomLength(benchmark::State& state) {
    int maxLen = int(state.range(0));
    Screen s(PIXEL_PAL8);
    Texture texture(PIXEL_PAL8);
    const TexSpanSetup setup = spanSetUp(texture);
    const TexRowsRoutine rows = routine();
    std::vector<texEdge_tag> edges(2 * 512);
    uint32_t seed = 5;
    double pixels = 0;
    for (size_t i = 0; i < 512; ++i) {
        seed = seed * 1664525u + 1013904223u;
        int len = 1 + int((uint64_t(seed) * uint32_t(maxLen)) >> 32);
        texEdge_tag& a = edges[2 * i];
        a.edge.x = 3 + int(i % 7);
        a.oow = 1.0f;
        a.uoz = 10.0f + float(i);
        a.voz = 20.0f;
        edges[2 * i + 1].edge.x = a.edge.x + len;
        pixels += len;
    }
    for (auto _ : state) {
        for (size_t i = 0; i < 512; ++i)
            drawSpan(rows, &s.bm, setup, int64_t(i), edges[2 * i], edges[2 * i + 1]);
        benchmark::ClobberMemory();
    }
    pixelCounters(state, pixels);
}
BENCHMARK_TEMPLATE(BM_spanRowRandomLength, spanTex8Rows)
    ->Name("BM_spanRowRandomLength<spanTex8>")
    ->Arg(45)
    ->Arg(141);
BENCHMARK_TEMPLATE(BM_spanRowRandomLength, dividePerPixelRows)
    ->Name("BM_spanRowRandomLength<spanDividePerPixel>")
    ->Arg(45)
    ->Arg(141);

BENCHMARK_TEMPLATE(BM_spanRow, spanTex8Rows)
    ->Name("BM_spanRow<spanTex8>")
    ->Arg(5)
    ->Arg(8)
    ->Arg(13)
    ->Arg(24)
    ->Arg(29)
    ->Arg(1000);
BENCHMARK_TEMPLATE(BM_spanRow, dividePerPixelRows)
    ->Name("BM_spanRow<spanDividePerPixel>")
    ->Arg(5)
    ->Arg(8)
    ->Arg(13)
    ->Arg(24)
    ->Arg(29)
    ->Arg(1000);

} // namespace

namespace {

// ------------------------------------------------------- cost of clipping
//
// The same triangles, all inside the target, drawn by the library (which
// clips) and by the same fill with clipping compiled out: the flat fill as
// written before clipping (row tables indexed by screen row, no clamps) and
// the textured rows routine instantiated without its clip.

// Not inlined into the loop: the library function it stands beside is a call too.
[[gnu::noinline]] void polyFlatUnclipped(bitmap_tag* target, int count, vertex_tag** verts) {
    int32_t top = rowTableSize, bottom = -1;
    for (int i = 0; i < count; ++i) {
        const vertex_tag* a = verts[i];
        const vertex_tag* b = verts[i + 1 == count ? 0 : i + 1];
        edge_tag e;
        bool down = a->y < b->y;
        if (down)
            edgeSetup(&e, a, b);
        else
            edgeSetup(&e, b, a);
        if (e.rows <= 0) continue;
        top = std::min(top, e.yStart);
        bottom = std::max(bottom, e.yStart + e.rows - 1);
        int32_t* table = down ? edgeTableDown : edgeTableUp;
        for (int32_t r = e.yStart; r < e.yStart + e.rows; ++r) {
            table[r] = int32_t(e.x);
            edgeStep(&e);
        }
    }
    if (top > bottom) return;
    uint32_t fill = uint32_t(verts[0]->color & 0xFF) * 0x01010101u;
    pickRoutine(flatRowsFor(target->pixelType))(target, top, bottom, top, fill);
}

// Arg 0: area; arg 1: 0 = with clipping (the library), 1 = without.
void BM_flatClipCost(benchmark::State& state) {
    Screen s(PIXEL_PAL8);
    double area = double(state.range(0));
    bool unclipped = state.range(1) != 0;
    TriangleSet set(area);
    size_t i = 0;
    for (auto _ : state) {
        vertex_tag* v = set.tri(i++);
        vertex_tag* list[3] = {&v[0], &v[1], &v[2]};
        if (unclipped)
            polyFlatUnclipped(&s.bm, 3, list);
        else
            polyFlat(&s.bm, 3, list);
        benchmark::ClobberMemory();
    }
    triangleCounters(state, area);
}
BENCHMARK(BM_flatClipCost)->ArgsProduct({{10, 100, 1000, 10000}, {0, 1}});

// Arg 1: 0 = the library's polygon routine (which takes the clip-free rows
// routine for a polygon inside the target), 1 = the same steps with the
// clip-free routine called directly, 2 = the clipping rows routine used on
// every triangle.
void BM_texturedClipCost(benchmark::State& state) {
    double area = double(state.range(0));
    int variant = int(state.range(1));
    Screen s(PIXEL_PAL8);
    Texture texture(PIXEL_PAL8);
    TriangleSet set(area, true);
    bitmap_tag* level = &texture.mip->level[0];
    mip_tag* savedMip = mipCurrent;
    mipCurrent = texture.mip;
    ClipRect clip = targetClip(&s.bm);
    TexSpanSetup setup{};
    TexPolygon poly;
    size_t i = 0;
    vertex_tag* list[3];
    for (auto _ : state) {
        vertex_tag* v = set.tri(i++);
        list[0] = &v[0];
        list[1] = &v[1];
        list[2] = &v[2];
        if (variant == 0) {
            polyTexturedClip(&s.bm, 3, list, clip, false);
        } else {
            TexRowsRoutines routines =
                texRowsRoutines(texSpanCaseFor(s.bm.pixelType, level->pixelType, false));
            TexRowsRoutine rows = pickRoutine(variant == 1 ? routines.inside : routines.clipped);
            texSetTexture(&setup, level);
            setup.clip = clip;
            texSetVertices(&poly, level, 3, list);
            triTexturedRows(&s.bm, setup, poly, 0, 1, 2, rows);
        }
        benchmark::ClobberMemory();
    }
    mipCurrent = savedMip;
    triangleCounters(state, area);
}
BENCHMARK(BM_texturedClipCost)->ArgsProduct({{10, 100, 1000, 10000}, {0, 1, 2}});

// Triangles of about 1000 pixels pushed half a leg over the left, right,
// top or bottom border of the target (a quarter to a half of each is cut
// off): the cost of drawing through the clip. Triangles per second.
void BM_flatTriangleAcrossBorder(benchmark::State& state) {
    Screen s(PIXEL_PAL8);
    TriangleSet set(1000);
    const int32_t half = int32_t(std::sqrt(2000.0) / 2 * 65536);
    for (size_t k = 0; k < 64; ++k) {
        vertex_tag* v = set.tri(k);
        int32_t dx = 0, dy = 0;
        switch (k % 4) {
        case 0: dx = -half - v[0].x; break;
        case 1: dx = (screenW << 16) + half - v[1].x; break;
        case 2: dy = -half - v[0].y; break;
        default: dy = (screenH << 16) + half - v[2].y; break;
        }
        for (int c = 0; c < 3; ++c) {
            v[c].x += dx;
            v[c].y += dy;
        }
    }
    size_t i = 0;
    for (auto _ : state) {
        vertex_tag* v = set.tri(i++);
        aaTriangle(&s.bm, 7, v[0].x, v[0].y, v[1].x, v[1].y, v[2].x, v[2].y);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_flatTriangleAcrossBorder);

} // namespace
