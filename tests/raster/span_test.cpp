// The texture spans: every row of the span table, plain and fast, clipping
// and clip-free, against the straightforward reference span on random
// rows, gradients, textures and clip columns; the worked examples of the
// block, remainder, wrap and key rules; and the rounding they share.
#include "raster_support.h"

#include "bitmap/bitmap.h"
#include "raster/spantex.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace rastertest;
using swtest::Rng;

namespace {

uint8_t testColormap[16] = {200, 3, 17, 99, 42, 250, 1, 128, 77, 64, 5, 180, 33, 9, 140, 255};

// The pixel a texel becomes in a table row, from the rules: 16-bit texels
// as they are, 8-bit ones through the colormap (colormapped rows) and the
// target's screen table (16-bit targets).
std::function<uint32_t(uint32_t)> converter(const TexSpanCase& c) {
    const uint16_t* screen = screenTableOf(c.target);
    if (bytesPerPixel(c.texture) == 2) return [](uint32_t t) { return t; };
    if (c.cmap)
        return [screen](uint32_t t) {
            return uint32_t(screen ? screen[testColormap[t & 15]] : testColormap[t & 15]);
        };
    return [screen](uint32_t t) { return screen ? uint32_t(screen[t]) : t; };
}

// Draws the span from edge a to edge b on row 0 of `canvas` as a triangle
// of one row.
void drawSpan(TexRowsRoutine rows, Canvas& canvas, const TexSpanSetup& setup, texEdge_tag a,
              texEdge_tag b) {
    a.edge.yStart = b.edge.yStart = 0;
    a.edge.rows = b.edge.rows = 1;
    rows(&canvas.bm, setup, a, b, texEdge_tag{});
}

TexGradients gradients(float dO, float dU, float dV) {
    return TexGradients{dO, 0, dU, 0, dV, 0, 8.0f * dO, 8.0f * dU, 8.0f * dV};
}

texEdge_tag edgeAt(int64_t x, float oow, float uoz, float voz) {
    texEdge_tag e{};
    e.edge.x = x;
    e.oow = oow;
    e.uoz = uoz;
    e.voz = voz;
    return e;
}

float uniform(Rng& rng, float lo, float hi) {
    return lo + (hi - lo) * float(rng.next() % 1000000) / 1000000.0f;
}

TEST(TextureSpans, EveryTableRowMatchesTheReference) {
    Rng rng(21);
    for (const TexSpanCase& c : texSpanCases) {
        const int spanCase = texSpanCaseFor(c.target, c.texture, c.cmap);
        ASSERT_EQ(&texSpanCases[spanCase], &c);
        const TexRowsRoutines routines = texRowsRoutines(spanCase);
        const int texelBytes = bytesPerPixel(c.texture);
        for (int i = 0; i < 2000; ++i) {
            int w = 1 << rng.range(0, 7), h = 1 << rng.range(0, 7);
            int rowTexels = w << (i % 4 == 0 ? rng.range(0, 2) : 0); // some masks with holes
            std::vector<uint8_t> texels(size_t(rowTexels) * h * texelBytes);
            for (uint8_t& t : texels)
                t = rng.next() % 100 < (c.keyed ? 20u : 3u) ? 0 : uint8_t(rng.next());
            if (isIndexed4(c.texture) && i % 10)
                for (uint8_t& t : texels)
                    t &= 15;
            bitmap_tag texture{c.texture, w, h, rowTexels * texelBytes, nullptr, texels.data()};
            TexSpanSetup setup{};
            ASSERT_TRUE(texSetTexture(&setup, &texture));
            setup.colormap = testColormap;
            setup.screenTable = screenTableOf(c.target);
            for (int k = 0; k < 16 && setup.screenTable; ++k)
                setup.colormapScreen[k] = setup.screenTable[testColormap[k]];

            float o = uniform(rng, 0.05f, 2.0f);
            float dO = uniform(rng, -0.02f, 0.02f) * (i % 3 == 0 ? 0.0f : 1.0f);
            float scale = uniform(rng, 0.2f, 600.0f);
            setup.gradients = gradients(dO, uniform(rng, -3, 3) * scale * o / 64,
                                        uniform(rng, -3, 3) * scale * o / 64);
            texEdge_tag a = edgeAt(rng.range(-44, 100), o, uniform(rng, -1, 1) * scale * o,
                                   uniform(rng, -1, 1) * scale * o);
            texEdge_tag b = edgeAt(rng.range(-44, 100), 0, 0, 0);
            if (i % 6 == 0) b.edge.x = a.edge.x + rng.range(0, 17); // short spans
            if (rng.next() & 1) std::swap(a, b);
            if (i % 50 == 0) { // runaway values: infinities, NaN, huge offsets
                setup.gradients = gradients(uniform(rng, -1, 1), 3.0e37f, -1.0e38f);
                a.oow = b.oow = 1e-30f;
            }
            // Every fourth case the whole buffer is the clip, so that the
            // clip-free routine may draw the spans that fit in it.
            const bool whole = i % 4 == 0;
            setup.clip.left = whole ? -48 : rng.range(-48, 60);
            setup.clip.right = whole ? 112 : rng.range(setup.clip.left, 112);
            setup.clip.bottom = 1;

            const uint8_t targetType = c.target;
            Canvas ref(targetType, 64, 1, 48);
            for (int x = -48; x < 112; ++x)
                ref.put(x, 0, rng.next());
            const std::vector<uint8_t> background = ref.memory;
            RefTexture refTexture{texels.data(),  texelBytes,    w,       h,
                                  setup.texShift, setup.texMask, c.keyed, converter(c)};
            referenceSpan(ref, 0, a, b, setup.gradients, refTexture, setup.clip.left,
                          setup.clip.right);
            auto check = [&](const RoutinePair<TexRowsRoutine>& pair, const char* variant) {
                withPlainAndFast([&](bool plain) {
                    Canvas got(targetType, 64, 1, 48);
                    std::copy(background.begin(), background.end(), got.memory.begin());
                    drawSpan(pickRoutine(pair), got, setup, a, b);
                    ASSERT_EQ(got.memory, ref.memory)
                        << c.name << (plain ? " plain " : " fast ") << variant << " case " << i
                        << " x " << a.edge.x << ".." << b.edge.x << " clip " << setup.clip.left
                        << ".." << setup.clip.right << " texture " << w << "x" << h << "/"
                        << rowTexels;
                });
            };
            check(routines.clipped, "clipping");
            if (whole && std::max(a.edge.x, b.edge.x) <= 112) check(routines.inside, "clip-free");
            if (HasFatalFailure()) return;
        }
    }
}

// Worked examples on an 8-bit 64 x 64 texture whose texel at (u, v) is
// (64 v + u) & 255, at z = 1 (u and v linear): spans from column 0 whose
// first pixel centre lies at (u, v) texels, u growing a texel per pixel.
TEST(TextureSpans, WorkedExamples) {
    uint8_t pattern[64 * 64], keyed[64 * 64] = {0, 7, 0, 9};
    for (int i = 0; i < 64 * 64; ++i)
        pattern[i] = uint8_t(i);
    const uint32_t none = 0xEE; // a pixel left as it was
    struct Example {
        int n;
        float u, v;
        const uint8_t* texels;
        std::vector<uint32_t> want;
    };
    const Example examples[] = {
        {8, 60.5f, 5.5f, pattern, {124, 125, 126, 127, 128, 129, 130, 131}}, // u wraps into v
        {8, -3.5f, 5.5f, pattern, {60, 61, 62, 63, 64, 65, 66, 67}},         // negative u borrows
        {5, 0.5f, 0.5f, pattern, {0, 2, 2, 4, 4}},          // remainder: nearest, ties to even
        {8, 0.5f, 0.5f, pattern, {0, 1, 2, 3, 4, 5, 6, 7}}, // block: rounded down
        {0, 0.5f, 0.5f, pattern, {}},                       // empty
        {4, 0.25f, 0.5f, keyed, {none, 7, none, 9}},        // keyed: texel 0 skipped
        {8, 0.25f, 0.5f, keyed, {none, 7, none, 9, none, none, none, none}},
    };
    for (const Example& e : examples) {
        const uint8_t type = e.texels == keyed ? PIXEL_PAL8_KEY : PIXEL_PAL8;
        bitmap_tag texture{type, 64, 64, 64, nullptr, const_cast<uint8_t*>(e.texels)};
        TexSpanSetup setup{};
        ASSERT_TRUE(texSetTexture(&setup, &texture));
        setup.gradients = gradients(0.0f, 1.0f, 0.0f);
        setup.clip = ClipRect{0, 0, 64, 1};
        withPlainAndFast([&](bool plain) {
            Canvas canvas(PIXEL_PAL8, 65, 1, 4, none);
            drawSpan(pickRoutine(texRowsRoutines(texSpanCaseFor(PIXEL_PAL8, type, false)).clipped),
                     canvas, setup, edgeAt(0, 1.0f, e.u, e.v), edgeAt(e.n, 0, 0, 0));
            std::vector<uint32_t> want = e.want;
            want.push_back(none);
            EXPECT_EQ(canvas.window(0, 0, e.n + 1, 1), want)
                << e.n << " pixels from " << e.u << (plain ? " (plain)" : "");
        });
    }
}

// The rounding of the plain spans is the processor's conversion in its
// default mode: nearest, ties to even, INT32_MIN outside the range and for
// NaN.
TEST(TextureSpans, RoundToIntRoundsToNearestEven) {
    auto expected = [](float f) {
        if (!(f >= -2147483648.0f && f < 2147483648.0f)) return INT32_MIN;
        return int32_t(std::nearbyint(f));
    };
    const float specials[] = {0.5f,
                              1.5f,
                              2.5f,
                              0x1p21f - 0.5f,
                              0x1p22f - 0.5f,
                              0x1p22f + 0.5f,
                              0x1p23f - 0.5f,
                              0x1p23f,
                              0x1p31f - 128,
                              0x1p31f,
                              NAN,
                              INFINITY};
    for (float f : specials) {
        EXPECT_EQ(roundToInt(f), expected(f)) << f;
        EXPECT_EQ(roundToInt(-f), expected(-f)) << -f;
    }
    Rng rng(22);
    for (int i = 0; i < 1000000; ++i) {
        uint32_t bits = rng.next();
        float f;
        std::memcpy(&f, &bits, 4);
        ASSERT_EQ(roundToInt(f), expected(f)) << f;
    }
}

} // namespace
