// The texture spans: every row of the span table, plain and fast, clipping
// and clip-free, against the straightforward reference span on random
// rows, gradients, textures and clip columns; and the rounding they use.
#include "raster_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace rastertest;

namespace {

uint8_t testColormap[16] = {200, 3, 17, 99, 42, 250, 1, 128, 77, 64, 5, 180, 33, 9, 140, 255};

TexGradients gradients(float dO, float dU, float dV) {
    return TexGradients{dO, 0, dU, 0, dV, 0, 8.0f * dO, 8.0f * dU, 8.0f * dV};
}

float uniform(Rng& rng, float lo, float hi) {
    return lo + (hi - lo) * float(rng.next() % 1000000) / 1000000.0f;
}

TEST(TextureSpans, EveryTableRowMatchesTheReference) {
    Rng rng(21);
    for (const TexSpanCase& c : texSpanCases) {
        const TexRowsRoutines routines = texRowsRoutines(int(&c - texSpanCases));
        const int texelBytes = bytesPerPixel(c.texture);
        for (int i = 0; i < 2000; ++i) {
            int w = 1 << rng.range(0, 7), h = 1 << rng.range(0, 7);
            int rowTexels = w << (i % 4 == 0 ? rng.range(0, 2) : 0); // some masks with holes
            std::vector<uint8_t> texels(size_t(rowTexels) * h * texelBytes);
            for (uint8_t& t : texels) { // mostly in range on 4-bit textures
                t = rng.next() % 100 < (c.keyed ? 20u : 3u) ? 0 : uint8_t(rng.next());
                t &= isIndexed4(c.texture) && i % 10 ? 15 : 255;
            }
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
            texEdge_tag a{}, b{};
            a.edge.x = rng.range(-44, 100);
            b.edge.x = rng.range(-44, 100);
            a.edge.rows = b.edge.rows = 1; // the two edges of a triangle of one row
            a.oow = o;
            a.uoz = uniform(rng, -1, 1) * scale * o;
            a.voz = uniform(rng, -1, 1) * scale * o;
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

            Canvas ref(c.target, 64, 1, 48);
            for (int x = -48; x < 112; ++x)
                ref.put(x, 0, rng.next());
            const std::vector<uint8_t> background = ref.memory;
            referenceSpan(ref, 0, a, b, setup.gradients, refTextureOf(texture, c, testColormap),
                          setup.clip.left, setup.clip.right);
            auto check = [&](const RoutinePair<TexRowsRoutine>& pair, const char* variant) {
                withPlainAndFast([&](bool plain) {
                    Canvas got(c.target, 64, 1, 48);
                    got.memory = background;
                    pickRoutine(pair)(&got.bm, setup, a, b, texEdge_tag{});
                    ASSERT_EQ(got.memory, ref.memory)
                        << c.name << (plain ? " plain " : " fast ") << variant << " case " << i;
                });
            };
            check(routines.clipped, "clipping");
            if (whole && std::max(a.edge.x, b.edge.x) <= 112) check(routines.inside, "clip-free");
            if (HasFatalFailure()) return;
        }
    }
}

// The rounding of the plain spans is the processor's conversion in its
// default mode, the reference's rounding.
TEST(TextureSpans, RoundToIntRoundsToNearestEven) {
    // Ties, and the bounds of each way of rounding; then random bit patterns.
    const float specials[] = {0.5f,          1.5f,          2.5f,       2097151.5f,
                              4194303.5f,    4194304.5f,    8388607.5f, 8388608.0f,
                              2147483520.0f, 2147483648.0f, NAN,        INFINITY};
    Rng rng(22);
    for (int i = 0; i < 1000000; ++i) {
        uint32_t bits = rng.next();
        float f;
        std::memcpy(&f, &bits, 4);
        if (i < int(std::size(specials))) f = specials[i];
        ASSERT_EQ(roundToInt(f), refRound(f)) << f;
        ASSERT_EQ(roundToInt(-f), refRound(-f)) << -f;
    }
}

} // namespace
