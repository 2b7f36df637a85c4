// The fourteen texture span routines: each fast routine and its per-pixel
// version against the straightforward reference span, on random rows,
// gradients, textures and clip columns; and the worked examples of the
// block, remainder, wrap and key rules.
#include "raster_support.h"

#include "bitmap/bitmap.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace rastertest;
using swtest::Rng;

namespace {

enum class Conv { asIs, pal565, pal555, cmap, cmap565, cmap555 };

struct Routine {
    const char* name;
    TexSpanRoutine fast, plain;
    int texelBytes, targetBytes;
    bool keyed;
    Conv conv;
};

const Routine routines[] = {
    {"spanTex8", spanTex8, spanTex8Plain, 1, 1, false, Conv::asIs},
    {"spanTex8Key", spanTex8Key, spanTex8KeyPlain, 1, 1, true, Conv::asIs},
    {"spanTex8To565", spanTex8To565, spanTex8To565Plain, 1, 2, false, Conv::pal565},
    {"spanTex8To565Key", spanTex8To565Key, spanTex8To565KeyPlain, 1, 2, true, Conv::pal565},
    {"spanTex8To1555", spanTex8To1555, spanTex8To1555Plain, 1, 2, false, Conv::pal555},
    {"spanTex8To1555Key", spanTex8To1555Key, spanTex8To1555KeyPlain, 1, 2, true, Conv::pal555},
    {"spanTex565", spanTex565, spanTex565Plain, 2, 2, false, Conv::asIs},
    {"spanTex1555Key", spanTex1555Key, spanTex1555KeyPlain, 2, 2, true, Conv::asIs},
    {"spanTexCmap8", spanTexCmap8, spanTexCmap8Plain, 1, 1, false, Conv::cmap},
    {"spanTexCmap8Key", spanTexCmap8Key, spanTexCmap8KeyPlain, 1, 1, true, Conv::cmap},
    {"spanTexCmapTo565", spanTexCmapTo565, spanTexCmapTo565Plain, 1, 2, false, Conv::cmap565},
    {"spanTexCmapTo565Key", spanTexCmapTo565Key, spanTexCmapTo565KeyPlain, 1, 2, true,
     Conv::cmap565},
    {"spanTexCmapTo1555", spanTexCmapTo1555, spanTexCmapTo1555Plain, 1, 2, false, Conv::cmap555},
    {"spanTexCmapTo1555Key", spanTexCmapTo1555Key, spanTexCmapTo1555KeyPlain, 1, 2, true,
     Conv::cmap555},
};

uint8_t testColormap[16] = {200, 3, 17, 99, 42, 250, 1, 128, 77, 64, 5, 180, 33, 9, 140, 255};

std::function<uint32_t(uint32_t)> converter(Conv conv) {
    switch (conv) {
    case Conv::asIs: return [](uint32_t t) { return t; };
    case Conv::pal565: return [](uint32_t t) { return uint32_t(screenPalette565[t]); };
    case Conv::pal555: return [](uint32_t t) { return uint32_t(screenPalette555[t]); };
    case Conv::cmap: return [](uint32_t t) { return uint32_t(testColormap[t & 15]); };
    case Conv::cmap565:
        return [](uint32_t t) { return uint32_t(screenPalette565[testColormap[t & 15]]); };
    case Conv::cmap555:
        return [](uint32_t t) { return uint32_t(screenPalette555[testColormap[t & 15]]); };
    }
    return nullptr;
}

// A texture bitmap of random texels owned by the test.
struct TestTexture {
    std::vector<uint8_t> pixels;
    bitmap_tag bm{};
    TestTexture(uint8_t type, int w, int h, int rowTexels, Rng& rng, int zeroPercent,
                int maxValue) {
        int bytes = bytesPerPixel(type);
        pixels.resize(size_t(rowTexels) * h * bytes);
        for (size_t i = 0; i < pixels.size(); i += bytes) {
            uint32_t v = rng.next() % 100 < uint32_t(zeroPercent) ? 0 : 1 + rng.next() % maxValue;
            pixels[i] = uint8_t(v);
            if (bytes == 2) pixels[i + 1] = uint8_t(rng.next());
        }
        bm.pixelType = type;
        bm.width = w;
        bm.height = h;
        bm.rowBytes = rowTexels * bytes;
        bm.pixels = pixels.data();
    }
    RefTexture ref(const Routine& r) const {
        return RefTexture{bm.pixels, r.texelBytes, bm.width, bm.height,
                          texShift,  texMask,      r.keyed,  converter(r.conv)};
    }
};

void setGradients(const RefGradients& g) {
    dOowDx = g.dOowDx;
    dUozDx = g.dUozDx;
    dVozDx = g.dVozDx;
    dOowDx8 = g.dOowDx8;
    dUozDx8 = g.dUozDx8;
    dVozDx8 = g.dVozDx8;
}

RefGradients gradients(float dO, float dU, float dV) {
    return RefGradients{dO, dU, dV, 8.0f * dO, 8.0f * dU, 8.0f * dV};
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

// Every routine, fast and per pixel, against the reference span.
TEST(TextureSpans, EveryRoutineMatchesTheReference) {
    Rng rng(21);
    colormapCurrent = testColormap;
    for (const Routine& r : routines) {
        for (int i = 0; i < 3000; ++i) {
            int w = 1 << rng.range(0, 7), h = 1 << rng.range(0, 7);
            int rowTexels = w << (i % 4 == 0 ? rng.range(0, 2) : 0); // some masks with holes
            uint8_t type = r.texelBytes == 2      ? (r.keyed ? PIXEL_ARGB1555 : PIXEL_RGB565)
                           : r.conv >= Conv::cmap ? (r.keyed ? PIXEL_CMAP4_KEY : PIXEL_CMAP4)
                                                  : (r.keyed ? PIXEL_PAL8_KEY : PIXEL_PAL8);
            int maxValue = r.conv >= Conv::cmap ? (i % 10 ? 15 : 255) : 255;
            TestTexture tex(type, w, h, rowTexels, rng, r.keyed ? 20 : 3, maxValue);
            ASSERT_TRUE(texSetTexture(&tex.bm));

            float o = uniform(rng, 0.05f, 2.0f);
            float dO = uniform(rng, -0.02f, 0.02f) * (i % 3 == 0 ? 0.0f : 1.0f);
            float scale = uniform(rng, 0.2f, 600.0f);
            RefGradients g = gradients(dO, uniform(rng, -3, 3) * scale * o / 64,
                                       uniform(rng, -3, 3) * scale * o / 64);
            texEdge_tag a = edgeAt(rng.range(-44, 100), o, uniform(rng, -1, 1) * scale * o,
                                   uniform(rng, -1, 1) * scale * o);
            texEdge_tag b = edgeAt(rng.range(-44, 100), 0, 0, 0);
            if (i % 6 == 0) b.edge.x = a.edge.x + rng.range(0, 17); // short spans
            if (rng.next() & 1) std::swap(a, b);
            if (i % 50 == 0) { // runaway values: infinities, NaN, huge offsets
                g = gradients(uniform(rng, -1, 1), 3.0e37f, -1.0e38f);
                a.oow = b.oow = 1e-30f;
            }
            setGradients(g);
            int32_t clipLeft = rng.range(-48, 60), clipRight = rng.range(clipLeft, 112);
            if (i % 4 == 0) {
                clipLeft = -48;
                clipRight = 112;
            }
            spanClipLeft = clipLeft;
            spanClipRight = clipRight;

            uint8_t targetType = r.targetBytes == 2 ? PIXEL_RGB565 : PIXEL_PAL8;
            Canvas fast(targetType, 64, 1, 48), plain(targetType, 64, 1, 48),
                ref(targetType, 64, 1, 48);
            for (int x = -48; x < 112; ++x) {
                uint32_t background = rng.next();
                fast.put(x, 0, background);
                plain.put(x, 0, background);
                ref.put(x, 0, background);
            }
            r.fast(fast.bm.pixels, &a, &b);
            r.plain(plain.bm.pixels, &a, &b);
            referenceSpan(ref, 0, a, b, g, tex.ref(r), clipLeft, clipRight);
            ASSERT_EQ(plain.memory, ref.memory)
                << r.name << " case " << i << " x " << a.edge.x << ".." << b.edge.x << " clip "
                << clipLeft << ".." << clipRight << " texture " << w << "x" << h << "/"
                << rowTexels;
            ASSERT_EQ(fast.memory, ref.memory)
                << r.name << " case " << i << " x " << a.edge.x << ".." << b.edge.x << " clip "
                << clipLeft << ".." << clipRight << " texture " << w << "x" << h << "/"
                << rowTexels;
        }
    }
}

// Draws one span of spanTex8 (or `routine`) over an 8-bit 64 x 64
// texture whose texel at (u, v) is (v * 64 + u) & 255, and returns the
// texels written, leftmost first.
std::vector<uint32_t> drawRow(int n, float u, float v, float dU, float dOow = 0.0f,
                              TexSpanRoutine routine = spanTex8, const uint8_t* texels = nullptr) {
    static uint8_t pattern[64 * 64];
    for (int i = 0; i < 64 * 64; ++i)
        pattern[i] = uint8_t(i);
    bitmap_tag texture{PIXEL_PAL8, 64,      64,
                       64,         nullptr, const_cast<uint8_t*>(texels ? texels : pattern)};
    EXPECT_TRUE(texSetTexture(&texture));
    setGradients(gradients(dOow, dU, 0.0f));
    spanClipLeft = 0;
    spanClipRight = 64;
    Canvas canvas(PIXEL_PAL8, 64, 1, 4);
    canvas.fillTarget(0xEE);
    texEdge_tag a = edgeAt(0, 1.0f, u, v), b = edgeAt(n, 0, 0, 0);
    routine(canvas.bm.pixels, &a, &b);
    std::vector<uint32_t> out = canvas.window(0, 0, n, 1);
    if (n < 64) {
        EXPECT_EQ(canvas.at(n, 0), 0xEEu) << "pixel past the span written";
    }
    return out;
}

TEST(TextureSpans, AffineRowReproducesTheTexture) {
    // u from 0 to 64 over 64 pixels at z = 1: texels 0..63 of the row.
    std::vector<uint32_t> expect;
    for (int k = 0; k < 64; ++k)
        expect.push_back(uint32_t(3 * 64 + k) & 255);
    EXPECT_EQ(drawRow(64, 0.5f, 3.5f, 1.0f), expect);
    // Off the half-texel, the remainder's nearest texel is the same one.
    expect.resize(61);
    for (uint32_t& e : expect)
        e = (e + 1) & 255;
    EXPECT_EQ(drawRow(61, 1.25f, 3.25f, 1.0f), expect);
}

TEST(TextureSpans, OffsetWrapsAsOneNumber) {
    // u from 60 to 68 at v = 5: the wrap of u carries into v.
    EXPECT_EQ(drawRow(8, 60.5f, 5.5f, 1.0f),
              (std::vector<uint32_t>{5 * 64 + 60 - 256, 5 * 64 + 61 - 256, 5 * 64 + 62 - 256,
                                     5 * 64 + 63 - 256, 6 * 64 + 0 - 256, 6 * 64 + 1 - 256,
                                     6 * 64 + 2 - 256, 6 * 64 + 3 - 256}));
    // u from -4 to 4 at v = 5: negative u borrows from v.
    EXPECT_EQ(drawRow(8, -3.5f, 5.5f, 1.0f),
              (std::vector<uint32_t>{4 * 64 + 60 - 256, 4 * 64 + 61 - 256, 4 * 64 + 62 - 256,
                                     4 * 64 + 63 - 256, 5 * 64 + 0 - 256, 5 * 64 + 1 - 256,
                                     5 * 64 + 2 - 256, 5 * 64 + 3 - 256}));
}

TEST(TextureSpans, RemainderRoundsToNearestEvenBlocksRoundDown) {
    // Centres on u = 0.5, 1.5, ... at v = 0 (texel value = u).
    EXPECT_EQ(drawRow(5, 0.5f, 0.5f, 1.0f), (std::vector<uint32_t>{0, 2, 2, 4, 4}));
    std::vector<uint32_t> block = drawRow(8, 0.5f, 0.5f, 1.0f);
    EXPECT_EQ(std::vector<uint32_t>(block.begin(), block.begin() + 5),
              (std::vector<uint32_t>{0, 1, 2, 3, 4}));
}

TEST(TextureSpans, EmptyAndReversedSpans) {
    EXPECT_EQ(drawRow(0, 0.5f, 0.5f, 1.0f), std::vector<uint32_t>{});
    // Edges in either order give the same row.
    for (const Routine& r : routines) {
        if (r.targetBytes != 1 || r.texelBytes != 1) continue;
        colormapCurrent = testColormap;
        setGradients(gradients(0.01f, 0.7f, 0.3f));
        spanClipLeft = 0;
        spanClipRight = 64;
        Canvas one(PIXEL_PAL8, 64, 1), two(PIXEL_PAL8, 64, 1);
        texEdge_tag a = edgeAt(3, 1.0f, 2.0f, 9.0f), b = edgeAt(50, 1.47f, 35.0f, 23.1f);
        r.fast(one.bm.pixels, &a, &b);
        r.fast(two.bm.pixels, &b, &a);
        EXPECT_EQ(one.memory, two.memory) << r.name;
    }
}

TEST(TextureSpans, KeyedRoutineSkipsTexelZero) {
    uint8_t texels[64 * 64] = {0, 7, 0, 9};
    std::vector<uint32_t> row = drawRow(4, 0.25f, 0.5f, 1.0f, 0.0f, spanTex8Key, texels);
    EXPECT_EQ(row, (std::vector<uint32_t>{0xEE, 7, 0xEE, 9}));
    row = drawRow(8, 0.25f, 0.5f, 1.0f, 0.0f, spanTex8Key, texels); // through a block
    EXPECT_EQ(row, (std::vector<uint32_t>{0xEE, 7, 0xEE, 9, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST(TextureSpans, ColourTablesAreReadWhenTheSpanIsDrawn) {
    uint8_t texels[4] = {3, 200, 3, 200};
    bitmap_tag texture{PIXEL_PAL8, 4, 1, 4, nullptr, texels};
    ASSERT_TRUE(texSetTexture(&texture));
    setGradients(gradients(0.0f, 1.0f, 0.0f));
    spanClipLeft = 0;
    spanClipRight = 4;
    texEdge_tag a = edgeAt(0, 1.0f, 0.25f, 0.5f), b = edgeAt(4, 0, 0, 0);

    Canvas first(PIXEL_RGB565, 4, 2);
    spanTex8To565(first.bm.pixels, &a, &b);
    EXPECT_EQ(first.at(0, 0), screenPalette565[3]);
    EXPECT_EQ(first.at(1, 0), screenPalette565[200]);
    uint16_t saved = screenPalette565[3];
    screenPalette565[3] = uint16_t(saved ^ 0x5555);
    spanTex8To565(first.bm.pixels + first.bm.rowBytes, &a, &b);
    EXPECT_EQ(first.at(0, 0), saved);                    // drawn before: unchanged
    EXPECT_EQ(first.at(0, 1), uint32_t(saved ^ 0x5555)); // drawn after: new colour
    screenPalette565[3] = saved;

    colormapCurrent = testColormap;
    Canvas cmap(PIXEL_PAL8, 4, 1);
    spanTexCmap8(cmap.bm.pixels, &a, &b);
    EXPECT_EQ(cmap.at(0, 0), testColormap[3]);
}

} // namespace
