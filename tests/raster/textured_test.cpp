// Textured polygons: every target/texture pairing against the per-pixel
// reference fill (clipped and unclipped, near and far off the target),
// accuracy against the exact perspective mapping, and what is refused.
// Coverage identical to the flat fill: flat_test.cpp.
#include "raster_support.h"

#include "bitmap/bitmap.h"
#include "mip/mip.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace rastertest;

namespace {

uint8_t testColormap[16] = {10, 200, 31, 99, 142, 250, 1, 128, 77, 64, 5, 180, 33, 9, 140, 255};

// One pairing for each way a texel becomes a pixel and each way a mode
// picks the span routine (every routine on its own: span_test.cpp).
struct Pairing {
    uint8_t target, texture;
    int mode;
};
const Pairing pairings[] = {
    {PIXEL_PAL8, PIXEL_PAL8, 4},         {PIXEL_PAL8, PIXEL_PAL8_KEY, 5},
    {PIXEL_CMAP4_KEY, PIXEL_PAL8, 7},    {PIXEL_RGB565, PIXEL_PAL8_KEY, 4},
    {PIXEL_ARGB1555, PIXEL_PAL8, 6},     {PIXEL_RGB565, PIXEL_RGB565, 4},
    {PIXEL_ARGB1555, PIXEL_ARGB1555, 4}, {PIXEL_PAL8, PIXEL_CMAP4, 4},
    {PIXEL_PAL8, PIXEL_CMAP4, 5},        {PIXEL_RGB565, PIXEL_CMAP4_KEY, 4},
    {PIXEL_RGB565, PIXEL_CMAP4_KEY, 6},  {PIXEL_ARGB1555, PIXEL_CMAP4, 4},
};

// Each pairing on random polygons, some far off the target: the library
// equals the reference, both clipped to the target and drawn unclipped into
// the guard band around it, with the plain and the fast routines in turn.
void compareWithReference(double lo, double hi, int count, uint64_t seed) {
    Rng rng(seed);
    for (const Pairing& p : pairings) {
        CurrentTexture texture(p.texture, 32, 16, 32 * bytesPerPixel(p.texture),
                               [&](int, int) { // some zeros for the keyed routines
                                   uint32_t r = rng.next();
                                   return isIndexed4(p.texture) ? r % 16 : r % 7 ? r : 0;
                               });
        colormapCurrent = testColormap;
        // Mode 4 draws 4-bit textures through the colormap, other modes
        // take their values as indexes.
        const bool cmap = p.mode == 4 && isIndexed4(p.texture);
        const RefTexture ref =
            refTextureOf(texture.mip->level[0],
                         texSpanCases[texSpanCaseFor(p.target, p.texture, cmap)], testColormap);
        for (int i = 0; i < count; ++i) {
            std::vector<vertex_tag> poly = randomConvex(rng, lo, hi, i % 3 ? 1 : 0x4000, 8);
            auto texel = [&] { return rng.range(-0x30000, 0x30000); }; // u or v
            for (vertex_tag& v : poly)
                v = {v.x, v.y, rng.range(0x8000, 0x40000), texel(), texel(), 0};
            swtest::RoutineChoice routines(i % 2 == 0);
            Canvas got(p.target, 40, 30, 24), want(p.target, 40, 30, 24);
            for (uint8_t& byte : got.memory)
                byte = uint8_t(rng.next());
            want.memory = got.memory;
            drawPolygon(&got.bm, p.mode, poly);
            referenceTextured(want, ClipRect{0, 0, 40, 30}, poly, ref);
            ASSERT_EQ(got.memory, want.memory)
                << "pairing " << &p - pairings << " " << describe(poly);

            if (hi - lo > 200) continue; // the guard band holds only near polygons
            std::vector<vertex_tag*> list;
            for (vertex_tag& v : poly)
                list.push_back(&v);
            // Unclipped into the guard band, over what was drawn.
            polyTexturedClip(&got.bm, int(list.size()), list.data(), got.wholeWithGuard(), cmap);
            referenceTextured(want, want.wholeWithGuard(), poly, ref);
            ASSERT_EQ(got.memory, want.memory)
                << "pairing " << &p - pairings << " " << describe(poly);
        }
    }
}

TEST(TexturedFill, MatchesTheReferenceNearAndFarOffTheTarget) {
    compareWithReference(-12, 52, 150, 31);
    compareWithReference(-2500, 2500, 25, 32);
}

// Every pixel shows a texel within one texel (per axis) of the one the
// exact perspective mapping puts at its centre.
TEST(TexturedFill, PixelsAreWithinOneTexelOfTheExactMapping) {
    Rng rng(35);
    const int size = 128;
    CurrentTexture texture(PIXEL_RGB565, size, size, size * 2,
                           [](int u, int v) { return uint32_t(v * size + u); });
    int checked = 0;
    for (int i = 0; i < 400; ++i) {
        std::vector<vertex_tag> poly = randomConvex(rng, 0, 64, 1, 3);
        if (poly.size() != 3 || doubledArea(poly) < wide(int64_t(100) << 32)) continue; // 50 px
        // At most about one texel per pixel and a depth ratio up to 2: the
        // straight steps inside a block then stay well within a texel of the
        // curve they stand for. u stays inside the texture, since a wrap of
        // u carries into v by design.
        auto slope = [&] { return (rng.next() % 1000) / 1000.0 * 0.9 - 0.45; };
        double a = slope(), b = slope(), c = slope(), d = slope();
        double u0 = 64 - 32 * (a + b), v0 = rng.range(-300, 300);
        for (vertex_tag& v : poly) {
            double x = v.x / 65536.0, y = v.y / 65536.0;
            v.z = rng.range(0x10000, 0x20000);
            v.u = int32_t(std::lround((u0 + a * x + b * y) / size * 65536.0));
            v.v = int32_t(std::lround((v0 + c * x + d * y) / size * 65536.0));
        }
        Canvas canvas(PIXEL_RGB565, 64, 64, 2, 0xFFFF);
        drawPolygon(&canvas.bm, 4, poly);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                uint32_t texel = canvas.at(x, y);
                if (texel == 0xFFFF) continue;
                // 1/z, u/z and v/z are planes over the screen: at the pixel
                // centre each vertex weighs as much as the area of the
                // triangle of the centre and the other two vertices.
                double w = 0, u = 0, v = 0;
                for (int k = 0; k < 3; ++k) {
                    const vertex_tag &p = poly[(k + 1) % 3], &q = poly[(k + 2) % 3];
                    double px = p.x / 65536.0 - x - 0.5, py = p.y / 65536.0 - y - 0.5;
                    double qx = q.x / 65536.0 - x - 0.5, qy = q.y / 65536.0 - y - 0.5;
                    double weight = (px * qy - qx * py) / poly[k].z;
                    w += weight;
                    u += weight * poly[k].u / 65536.0 * size;
                    v += weight * poly[k].v / 65536.0 * size;
                }
                auto near = [&](uint32_t got, double exact) { // wrapped, within one texel
                    return ((int(got) - int(std::floor(exact))) % size + size + 1) % size <= 2;
                };
                ASSERT_TRUE(near(texel % size, u / w) && near(texel / size, v / w))
                    << describe(poly) << " pixel " << x << "," << y;
                ++checked;
            }
    }
    EXPECT_GT(checked, 50000);
}

// What the textured modes refuse: they draw nothing at all.
TEST(TexturedFill, RefusedTexturesAndTrianglesDrawNothing) {
    std::vector<vertex_tag> tri = {{fx(1), fx(1), 1, 0, 0, 0},
                                   {fx(30), fx(4), 2, 0x10000, 0, 0},
                                   {fx(9), fx(25), 3, 0, 0x10000, 0}};
    std::vector<vertex_tag> line = {
        {fx(1), fx(1), 1, 0, 0, 0}, {fx(11), fx(11), 1, 0, 0, 0}, {fx(21), fx(21), 1, 0, 0, 0}};
    struct Case {
        const char* what;
        uint8_t target, texture;
        int w, h, rowBytes;
        const std::vector<vertex_tag>* poly;
    };
    const Case cases[] = {
        {"width not a power of two", PIXEL_PAL8, PIXEL_PAL8, 48, 16, 48, &tri},
        {"height above 2048", PIXEL_PAL8, PIXEL_PAL8, 4, 4096, 4, &tri},
        {"row length not a power of two", PIXEL_PAL8, PIXEL_PAL8, 16, 16, 24, &tri},
        {"row shorter than the texture", PIXEL_PAL8, PIXEL_PAL8, 64, 16, 32, &tri},
        {"row above 2048 texels", PIXEL_PAL8, PIXEL_PAL8, 16, 4, 4096, &tri},
        {"565 texture on a 1555 target", PIXEL_ARGB1555, PIXEL_RGB565, 16, 16, 32, &tri},
        {"32-bit target", PIXEL_ARGB8888, PIXEL_PAL8, 16, 16, 16, &tri},
        {"zero area", PIXEL_PAL8, PIXEL_PAL8, 16, 16, 16, &line},
        {"4-bit texture, no colormap", PIXEL_PAL8, PIXEL_CMAP4, 16, 16, 16, &tri},
    };
    for (const Case& c : cases) {
        CurrentTexture texture(c.texture, c.w, c.h, c.rowBytes, [](int, int) { return 0x5A5Au; });
        colormapCurrent = nullptr;
        Canvas canvas(c.target, 32, 32, 4);
        drawPolygon(&canvas.bm, 4, *c.poly);
        EXPECT_EQ(canvas.memory, Canvas(c.target, 32, 32, 4).memory) << c.what;
    }
    // No current mip; a chain without levels.
    Canvas canvas(PIXEL_PAL8, 32, 32, 4);
    swtest::SelectionGuard guard;
    mipSetCurrent(nullptr);
    drawPolygon(&canvas.bm, 4, tri);
    mip_tag* empty = mipRecordAlloc(0);
    mipSetCurrent(empty);
    drawPolygon(&canvas.bm, 5, tri);
    mipSetCurrent(nullptr);
    mipFree(empty);
    EXPECT_EQ(canvas.memory, Canvas(PIXEL_PAL8, 32, 32, 4).memory);
}

} // namespace
