// Textured polygons: every target/texture pairing against the per-pixel
// reference fill (clipped and unclipped, near and far off the target),
// coverage identical to the flat fill, accuracy against the exact
// perspective mapping, and what is refused.
#include "raster_support.h"

#include "bitmap/bitmap.h"
#include "memory.h"
#include "mip/mip.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace rastertest;
using swtest::Rng;

namespace {

uint8_t testColormap[16] = {10, 200, 31, 99, 142, 250, 1, 128, 77, 64, 5, 180, 33, 9, 140, 255};

RefTexture refTexture(const CurrentTexture& texture, bool keyed,
                      std::function<uint32_t(uint32_t)> convert) {
    const bitmap_tag& l = texture.mip->level[0];
    int bytes = bytesPerPixel(l.pixelType), shift = 0;
    while ((1 << shift) < l.rowBytes / bytes)
        ++shift;
    uint32_t mask = uint32_t(l.height - 1) << shift | uint32_t(l.width - 1);
    return RefTexture{l.pixels, bytes, l.width, l.height, shift, mask, keyed, convert};
}

struct Pairing {
    uint8_t target, texture;
    int mode;
    bool keyed;
    std::function<uint32_t(uint32_t)> convert;
};

// What each pairing and mode draws, told by how a texel becomes a pixel.
std::vector<Pairing> pairings() {
    auto asIs = [](uint32_t t) { return t; };
    auto screen = [](const uint16_t* table) {
        return [table](uint32_t t) { return uint32_t(table[t]); };
    };
    auto cmap = [](const uint16_t* table) {
        return [table](uint32_t t) {
            return table ? table[testColormap[t & 15]] : uint32_t(testColormap[t & 15]);
        };
    };
    const uint16_t *p565 = screenPalette565, *p555 = screenPalette555;
    return {
        {PIXEL_PAL8, PIXEL_PAL8, 4, false, asIs},
        {PIXEL_PAL8, PIXEL_PAL8_KEY, 5, true, asIs},
        {PIXEL_CMAP4_KEY, PIXEL_PAL8, 7, false, asIs}, // any 8-bit target
        {PIXEL_RGB565, PIXEL_PAL8, 4, false, screen(p565)},
        {PIXEL_RGB565, PIXEL_PAL8_KEY, 4, true, screen(p565)},
        {PIXEL_ARGB1555, PIXEL_PAL8, 6, false, screen(p555)},
        {PIXEL_ARGB1555, PIXEL_PAL8_KEY, 4, true, screen(p555)},
        {PIXEL_RGB565, PIXEL_RGB565, 4, false, asIs},
        {PIXEL_ARGB1555, PIXEL_ARGB1555, 4, true, asIs},
        {PIXEL_PAL8, PIXEL_CMAP4, 4, false, cmap(nullptr)}, // mode 4: through the colormap
        {PIXEL_PAL8, PIXEL_CMAP4, 5, false, asIs},          // mode 5: values as indexes
        {PIXEL_PAL8, PIXEL_CMAP4_KEY, 4, true, cmap(nullptr)},
        {PIXEL_RGB565, PIXEL_CMAP4_KEY, 4, true, cmap(p565)},
        {PIXEL_RGB565, PIXEL_CMAP4_KEY, 6, true, screen(p565)},
        {PIXEL_ARGB1555, PIXEL_CMAP4, 4, false, cmap(p555)},
        {PIXEL_ARGB1555, PIXEL_CMAP4_KEY, 4, true, cmap(p555)},
    };
}

void randomTexturing(Rng& rng, std::vector<vertex_tag>& poly, int zRange = 4) {
    for (vertex_tag& v : poly) {
        v.z = rng.range(0x8000, 0x10000 * zRange);
        v.u = rng.range(-0x30000, 0x30000);
        v.v = rng.range(-0x30000, 0x30000);
    }
}

uint32_t randomTexel(Rng& rng, uint8_t type) {
    uint32_t r = rng.next();
    if (isIndexed4(type)) return r % 16;
    return r % 7 == 0 ? 0 : r; // some zeros for the keyed routines
}

// Each pairing on random polygons, some far off the target: the library
// equals the reference, both clipped to the target and drawn unclipped into
// the guard band around it, with the plain and the fast routines in turn.
void compareWithReference(double lo, double hi, int count, uint64_t seed) {
    Rng rng(seed);
    for (const Pairing& p : pairings()) {
        CurrentTexture texture(p.texture, 32, 16, 32 * bytesPerPixel(p.texture),
                               [&](int, int) { return randomTexel(rng, p.texture); });
        colormapCurrent = testColormap;
        RefTexture ref = refTexture(texture, p.keyed, p.convert);
        for (int i = 0; i < count; ++i) {
            std::vector<vertex_tag> poly = randomConvex(rng, lo, hi, i % 3 ? 1 : 0x4000, 8);
            randomTexturing(rng, poly);
            swtest::RoutineChoice routines(i % 2 == 0);
            Canvas got(p.target, 40, 30, 24), want(p.target, 40, 30, 24);
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 40; ++x) {
                    uint32_t background = rng.next();
                    got.put(x, y, background);
                    want.put(x, y, background);
                }
            drawPolygon(&got.bm, p.mode, poly);
            referenceTextured(want, ClipRect{0, 0, 40, 30}, poly, ref);
            ASSERT_EQ(got.memory, want.memory)
                << "target " << int(p.target) << " texture " << int(p.texture) << " mode " << p.mode
                << " " << describe(poly);

            if (hi - lo > 200) continue; // the guard band holds only near polygons
            std::vector<vertex_tag*> list;
            for (vertex_tag& v : poly)
                list.push_back(&v);
            Canvas wide(p.target, 40, 30, 24), wideRef(p.target, 40, 30, 24);
            polyTexturedClip(&wide.bm, int(list.size()), list.data(), wide.wholeWithGuard(),
                             p.mode == 4 && isIndexed4(p.texture));
            referenceTextured(wideRef, wideRef.wholeWithGuard(), poly, ref);
            ASSERT_EQ(wide.memory, wideRef.memory) << describe(poly);
        }
    }
}

TEST(TexturedFill, MatchesTheReferenceNearTheTarget) {
    compareWithReference(-12, 52, 150, 31);
}

TEST(TexturedFill, MatchesTheReferenceFarOffTheTarget) {
    compareWithReference(-2500, 2500, 25, 32);
}

// Shared edges: a convex polygon cut into flat triangles around an inner
// point, or into the textured fill's fan from its first vertex, gives
// pieces that never share a pixel and together cover exactly the polygon;
// the textured polygon covers exactly the flat one's pixels.
TEST(SharedEdges, NeitherOverlapNorGap) {
    Rng rng(34);
    CurrentTexture texture(PIXEL_PAL8, 16, 16, 16, [](int u, int v) { return 1 + ((u + v) & 7); });
    auto drawn = [](std::vector<vertex_tag> poly, int mode, std::vector<int>& count) {
        for (vertex_tag& v : poly)
            v.color = 9;
        Canvas canvas(PIXEL_PAL8, 36, 36, 4);
        drawPolygon(&canvas.bm, mode, poly);
        std::vector<uint32_t> pixels = canvas.target();
        for (size_t j = 0; j < pixels.size(); ++j)
            count[j] += pixels[j] != 0;
    };
    for (int i = 0; i < 500; ++i) {
        std::vector<vertex_tag> poly = randomConvex(rng, -4, 40, i % 2 ? 1 : 0x8000, 10);
        randomTexturing(rng, poly);
        std::vector<int> flat(36 * 36, 0), textured(36 * 36, 0), around(36 * 36, 0),
            fan(36 * 36, 0);
        drawn(poly, 0, flat);
        drawn(poly, 4, textured);
        int64_t cx = 0, cy = 0;
        for (const vertex_tag& v : poly) {
            cx += v.x;
            cy += v.y;
        }
        vertex_tag centre{
            int32_t(cx / int64_t(poly.size())), int32_t(cy / int64_t(poly.size())), 1, 0, 0, 0};
        bool thin = false; // a fan triangle under 1 square pixel may lose its pixels to a
                           // zero determinant in floats
        for (size_t k = 0; k < poly.size(); ++k) {
            drawn({centre, poly[k], poly[(k + 1) % poly.size()]}, 0, around);
            if (k == 0 || k + 1 == poly.size()) continue;
            drawn({poly[0], poly[k], poly[k + 1]}, 4, fan);
            thin |= doubledArea({poly[0], poly[k], poly[k + 1]}) < wide(int64_t(1) << 33);
        }
        for (size_t j = 0; j < flat.size(); ++j) {
            ASSERT_EQ(flat[j], convexCovers(poly, int64_t(j % 36), int64_t(j / 36)))
                << describe(poly) << " pixel " << j;
            ASSERT_EQ(around[j], flat[j]) << describe(poly) << " pixel " << j;
            if (thin) continue;
            ASSERT_EQ(textured[j], flat[j]) << describe(poly) << " pixel " << j;
            ASSERT_EQ(fan[j], flat[j]) << describe(poly) << " pixel " << j;
        }
    }
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
        if (poly.size() != 3) continue;
        if (doubledArea(poly) < wide(int64_t(100) << 32)) continue; // 50 square pixels
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
        // 1/z, u/z and v/z are planes over the screen; solve them exactly.
        double X[3], Y[3], W[3], U[3], V[3];
        for (int k = 0; k < 3; ++k) {
            X[k] = poly[k].x / 65536.0;
            Y[k] = poly[k].y / 65536.0;
            W[k] = 1.0 / poly[k].z;
            U[k] = poly[k].u / 65536.0 * size * W[k];
            V[k] = poly[k].v / 65536.0 * size * W[k];
        }
        double det = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
        auto plane = [&](const double* f, double x, double y) {
            double a = ((x - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (y - Y[0])) / det;
            double b = ((X[1] - X[0]) * (y - Y[0]) - (x - X[0]) * (Y[1] - Y[0])) / det;
            return f[0] + a * (f[1] - f[0]) + b * (f[2] - f[0]);
        };
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                uint32_t texel = canvas.at(x, y);
                if (texel == 0xFFFF) continue;
                double w = plane(W, x + 0.5, y + 0.5);
                double u = plane(U, x + 0.5, y + 0.5) / w, v = plane(V, x + 0.5, y + 0.5) / w;
                auto near = [&](uint32_t got, double exact) {
                    int d = int(got) - int(std::floor(exact));
                    d = ((d % size) + size + size / 2) % size - size / 2; // wrapped distance
                    return d >= -1 && d <= 1;
                };
                ASSERT_TRUE(near(texel % size, u) && near(texel / size, v))
                    << describe(poly) << " pixel " << x << "," << y << " texel " << texel % size
                    << "," << texel / size << " exact " << u << "," << v;
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
    std::vector<vertex_tag> level = {
        {fx(1), fx(5), 1, 0, 0, 0}, {fx(11), fx(5), 1, 0, 0, 0}, {fx(21), fx(5), 1, 0, 0, 0}};
    struct Case {
        const char* what;
        uint8_t target, texture;
        int w, h, rowBytes;
        std::vector<vertex_tag>* poly;
    };
    const Case cases[] = {
        {"width not a power of two", PIXEL_PAL8, PIXEL_PAL8, 48, 16, 48, &tri},
        {"height above 2048", PIXEL_PAL8, PIXEL_PAL8, 4, 4096, 4, &tri},
        {"row length not a power of two", PIXEL_PAL8, PIXEL_PAL8, 16, 16, 24, &tri},
        {"row shorter than the texture", PIXEL_PAL8, PIXEL_PAL8, 64, 16, 32, &tri},
        {"row above 2048 texels", PIXEL_PAL8, PIXEL_PAL8, 16, 4, 4096, &tri},
        {"565 texture on a 1555 target", PIXEL_ARGB1555, PIXEL_RGB565, 16, 16, 32, &tri},
        {"coverage texture", PIXEL_PAL8, PIXEL_ALPHA8, 16, 16, 16, &tri},
        {"32-bit target", PIXEL_ARGB8888, PIXEL_PAL8, 16, 16, 16, &tri},
        {"zero area", PIXEL_PAL8, PIXEL_PAL8, 16, 16, 16, &line},
        {"one horizontal line", PIXEL_PAL8, PIXEL_PAL8, 16, 16, 16, &level},
    };
    const std::vector<uint32_t> blank(32 * 32, 0);
    for (const Case& c : cases) {
        CurrentTexture texture(c.texture, c.w, c.h, c.rowBytes, [](int, int) { return 0x5A5Au; });
        Canvas canvas(c.target, 32, 32, 4);
        drawPolygon(&canvas.bm, 4, *c.poly);
        EXPECT_EQ(canvas.target(), blank) << c.what;
        EXPECT_TRUE(canvas.guardIntact()) << c.what;
    }
    // No current mip; a chain without levels; no colormap for mode 4 on a
    // 4-bit texture.
    Canvas canvas(PIXEL_PAL8, 32, 32, 4);
    swtest::SelectionGuard guard;
    mipSetCurrent(nullptr);
    drawPolygon(&canvas.bm, 4, tri);
    mip_tag* empty = mipRecordAlloc(0);
    mipSetCurrent(empty);
    drawPolygon(&canvas.bm, 5, tri);
    mipSetCurrent(nullptr);
    mipFree(empty);
    {
        CurrentTexture texture(PIXEL_CMAP4, 16, 16, 16, [](int, int) { return 3u; });
        colormapCurrent = nullptr;
        drawPolygon(&canvas.bm, 4, tri);
    }
    EXPECT_EQ(canvas.target(), blank);
}

} // namespace
