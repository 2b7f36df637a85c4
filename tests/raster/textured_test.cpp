// Textured polygons: every target/texture pairing against the per-pixel
// reference fill (clipped and unclipped, near and far off the target),
// coverage identical to the flat fill, accuracy against the exact
// perspective mapping, the worked examples, and what is refused.
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

// A one-level mip chain made current for the test's lifetime.
struct CurrentTexture {
    mip_tag* mip;
    mip_tag* saved;
    CurrentTexture(uint8_t type, int w, int h, int rowBytes,
                   const std::function<uint32_t(int u, int v)>& texel) {
        mip = mipRecordAlloc(1);
        mip->levels = 1;
        bitmap_tag& l = mip->level[0];
        l.pixelType = type;
        l.width = w;
        l.height = h;
        l.rowBytes = rowBytes;
        l.pixels = static_cast<uint8_t*>(memAlloc(size_t(rowBytes) * h + 1));
        std::memset(l.pixels, 0, size_t(rowBytes) * h + 1);
        int bytes = bytesPerPixel(type);
        for (int v = 0; v < h; ++v)
            for (int u = 0; u < w && bytes > 0 && (u + 1) * bytes <= rowBytes; ++u) {
                uint32_t value = texel(u, v);
                std::memcpy(l.pixels + size_t(v) * rowBytes + size_t(u) * bytes, &value,
                            size_t(bytes));
            }
        saved = mipGetCurrent();
        mipSetCurrent(mip);
    }
    ~CurrentTexture() {
        mipSetCurrent(saved);
        mipFree(mip);
    }
    bitmap_tag& level() { return mip->level[0]; }
    RefTexture ref(bool keyed, std::function<uint32_t(uint32_t)> convert) {
        bitmap_tag& l = level();
        int bytes = bytesPerPixel(l.pixelType);
        int shift = 0;
        while ((1 << shift) < l.rowBytes / bytes)
            ++shift;
        uint32_t mask = uint32_t(l.height - 1) << shift | uint32_t(l.width - 1);
        return RefTexture{l.pixels, bytes, l.width, l.height, shift, mask, keyed, convert};
    }
};

struct Pairing {
    uint8_t target, texture;
    int mode;
    bool keyed;
    std::function<uint32_t(uint32_t)> convert;
};

std::vector<Pairing> pairings() {
    auto asIs = [](uint32_t t) { return t; };
    auto p565 = [](uint32_t t) { return uint32_t(screenPalette565[t]); };
    auto p555 = [](uint32_t t) { return uint32_t(screenPalette555[t]); };
    auto cmap = [](uint32_t t) { return uint32_t(testColormap[t & 15]); };
    auto cmap565 = [](uint32_t t) { return uint32_t(screenPalette565[testColormap[t & 15]]); };
    auto cmap555 = [](uint32_t t) { return uint32_t(screenPalette555[testColormap[t & 15]]); };
    return {
        {PIXEL_PAL8, PIXEL_PAL8, 4, false, asIs},
        {PIXEL_PAL8, PIXEL_PAL8_KEY, 5, true, asIs},
        {PIXEL_CMAP4_KEY, PIXEL_PAL8, 7, false, asIs}, // any 8-bit target
        {PIXEL_RGB565, PIXEL_PAL8, 4, false, p565},
        {PIXEL_RGB565, PIXEL_PAL8_KEY, 4, true, p565},
        {PIXEL_ARGB1555, PIXEL_PAL8, 6, false, p555},
        {PIXEL_ARGB1555, PIXEL_PAL8_KEY, 4, true, p555},
        {PIXEL_RGB565, PIXEL_RGB565, 4, false, asIs},
        {PIXEL_ARGB1555, PIXEL_ARGB1555, 4, true, asIs},
        {PIXEL_PAL8, PIXEL_CMAP4, 4, false, cmap}, // mode 4: through the colormap
        {PIXEL_PAL8, PIXEL_CMAP4, 5, false, asIs}, // mode 5: values as indexes
        {PIXEL_PAL8, PIXEL_CMAP4_KEY, 4, true, cmap},
        {PIXEL_RGB565, PIXEL_CMAP4_KEY, 4, true, cmap565},
        {PIXEL_RGB565, PIXEL_CMAP4_KEY, 6, true, p565},
        {PIXEL_ARGB1555, PIXEL_CMAP4, 4, false, cmap555},
        {PIXEL_ARGB1555, PIXEL_CMAP4_KEY, 4, true, cmap555},
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

std::vector<vertex_tag*> pointers(std::vector<vertex_tag>& poly) {
    std::vector<vertex_tag*> out;
    for (vertex_tag& v : poly)
        out.push_back(&v);
    return out;
}

// Each pairing on random polygons, some far off the target: the library
// equals the reference, both clipped to the target and drawn unclipped into
// the guard band around it, with the plain and the fast routines in turn.
void compareWithReference(double lo, double hi, int count, uint64_t seed) {
    Rng rng(seed);
    swtest::SelectionGuard guard;
    const bool savedPlain = plainRoutines();
    colormapCurrent = testColormap;
    for (const Pairing& p : pairings()) {
        CurrentTexture texture(p.texture, 32, 16, 32 * bytesPerPixel(p.texture),
                               [&](int, int) { return randomTexel(rng, p.texture); });
        RefTexture ref = texture.ref(p.keyed, p.convert);
        for (int i = 0; i < count; ++i) {
            std::vector<vertex_tag> poly = randomConvex(rng, lo, hi, i % 3 ? 1 : 0x4000, 8);
            randomTexturing(rng, poly);
            setPlainRoutines(i % 2 == 0);
            Canvas got(p.target, 40, 30, 24), want(p.target, 40, 30, 24);
            for (int y = -24; y < 54; ++y)
                for (int x = -24; x < 64; ++x) {
                    uint32_t background = rng.next();
                    if (x >= 0 && x < 40 && y >= 0 && y < 30) {
                        got.put(x, y, background);
                        want.put(x, y, background);
                    }
                }
            drawPolygon(&got.bm, p.mode, poly);
            referenceTextured(want, ClipRect{0, 0, 40, 30}, poly, ref);
            ASSERT_EQ(got.memory, want.memory)
                << "target " << int(p.target) << " texture " << int(p.texture) << " mode " << p.mode
                << " " << describe(poly);

            if (hi - lo > 200) continue; // the guard band holds only near polygons
            std::vector<vertex_tag*> list = pointers(poly);
            Canvas wide(p.target, 40, 30, 24), wideRef(p.target, 40, 30, 24);
            polyTexturedClip(&wide.bm, int(list.size()), list.data(), wide.wholeWithGuard(),
                             p.mode == 4 && isIndexed4(p.texture));
            referenceTextured(wideRef, wideRef.wholeWithGuard(), poly, ref);
            ASSERT_EQ(wide.memory, wideRef.memory) << describe(poly);
        }
    }
    setPlainRoutines(savedPlain);
}

TEST(TexturedFill, MatchesTheReferenceNearTheTarget) {
    compareWithReference(-12, 52, 150, 31);
}

TEST(TexturedFill, MatchesTheReferenceFarOffTheTarget) {
    compareWithReference(-2500, 2500, 25, 32);
}

// Vertices anywhere in the 16.16 range, any u and v, z down to 0 and below
// (the host's error): nothing is written outside the target.
TEST(TexturedFill, VerticesNearTheEndsOfTheRangeAreSafe) {
    Rng rng(33);
    CurrentTexture texture(PIXEL_PAL8_KEY, 64, 64, 64, [&](int u, int v) { return u ^ v; });
    const int32_t extremes[] = {INT32_MIN, INT32_MAX, -0x7FFF8000, 0x7FFF8000};
    for (int i = 0; i < 300; ++i) {
        std::vector<vertex_tag> poly;
        for (int k = 0; k < 3 + i % 4; ++k) {
            auto coord = [&] {
                uint32_t pick = rng.next() % 3;
                return pick == 0   ? extremes[rng.next() % 4]
                       : pick == 1 ? int32_t(rng.next())
                                   : rng.range(fx(-10), fx(50));
            };
            int32_t x = coord(), y = coord();
            poly.push_back(
                {x, y, rng.range(-3, 0x40000), int32_t(rng.next()), int32_t(rng.next()), 0});
        }
        for (uint8_t target : {PIXEL_PAL8, PIXEL_RGB565}) {
            Canvas canvas(target, 40, 30, 8);
            drawPolygon(&canvas.bm, 4, poly);
            ASSERT_TRUE(canvas.guardIntact()) << describe(poly);
        }
    }
}

// The textured fill covers exactly the pixels of the flat fill, and its fan
// triangles share their diagonals without overlap or gap.
TEST(TexturedFill, CoversExactlyTheFlatFillPixels) {
    Rng rng(34);
    CurrentTexture texture(PIXEL_PAL8, 16, 16, 16, [](int u, int v) { return 1 + ((u + v) & 7); });
    for (int i = 0; i < 500; ++i) {
        std::vector<vertex_tag> poly = randomConvex(rng, -4, 40, i % 2 ? 1 : 0x8000, 10);
        randomTexturing(rng, poly);
        bool thin = false;
        for (size_t k = 1; k + 1 < poly.size(); ++k) {
            // under 1 square pixel
            thin |= doubledArea({poly[0], poly[k], poly[k + 1]}) < wide(int64_t(1) << 33);
        }
        if (thin) continue;
        Canvas flat(PIXEL_PAL8, 36, 36, 4), textured(PIXEL_PAL8, 36, 36, 4);
        flat.fillTarget(0);
        textured.fillTarget(0);
        std::vector<vertex_tag> flatPoly = poly;
        for (vertex_tag& v : flatPoly)
            v.color = 9;
        drawPolygon(&flat.bm, 0, flatPoly);
        drawPolygon(&textured.bm, 4, poly);
        std::vector<int> count(36 * 36, 0);
        for (size_t k = 1; k + 1 < poly.size(); ++k) {
            Canvas piece(PIXEL_PAL8, 36, 36, 4);
            piece.fillTarget(0);
            std::vector<vertex_tag> tri = {poly[0], poly[k], poly[k + 1]};
            drawPolygon(&piece.bm, 4, tri);
            std::vector<uint32_t> px = piece.target();
            for (size_t j = 0; j < px.size(); ++j)
                count[j] += px[j] != 0;
        }
        std::vector<uint32_t> f = flat.target(), t = textured.target();
        for (size_t j = 0; j < f.size(); ++j) {
            ASSERT_EQ(f[j] != 0, t[j] != 0) << describe(poly) << " pixel " << j;
            ASSERT_EQ(count[j], f[j] != 0 ? 1 : 0) << describe(poly) << " pixel " << j;
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
        Canvas canvas(PIXEL_RGB565, 64, 64, 2);
        canvas.fillTarget(0xFFFF);
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

TEST(TexturedFill, AffineQuadReproducesTheTexture) {
    CurrentTexture texture(PIXEL_PAL8, 32, 32, 32,
                           [](int u, int v) { return uint32_t(v * 8 + u) & 255; });
    // Centres a quarter texel into each texel, where rounding down (blocks)
    // and to nearest (remainders) agree.
    const int32_t q = -0x10000 / 32 / 4;
    std::vector<vertex_tag> quad = {{fx(4), fx(2), 1, q, q, 0},
                                    {fx(36), fx(2), 1, 0x10000 + q, q, 0},
                                    {fx(36), fx(34), 1, 0x10000 + q, 0x10000 + q, 0},
                                    {fx(4), fx(34), 1, q, 0x10000 + q, 0}};
    Canvas canvas(PIXEL_PAL8, 40, 40);
    canvas.fillTarget(0xEE);
    drawPolygon(&canvas.bm, 4, quad);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            bool inside = x >= 4 && x < 36 && y >= 2 && y < 34;
            uint32_t want = inside ? uint32_t((y - 2) * 8 + (x - 4)) & 255 : 0xEE;
            ASSERT_EQ(canvas.at(x, y), want) << x << "," << y;
        }
}

// What the textured modes refuse: they draw nothing at all.
TEST(TexturedFill, RefusedTexturesAndTrianglesDrawNothing) {
    struct Case {
        const char* what;
        uint8_t target, texture;
        int w, h, rowBytes, mode;
        std::vector<vertex_tag> poly;
    };
    std::vector<vertex_tag> tri = {{fx(1), fx(1), 1, 0, 0, 0},
                                   {fx(30), fx(4), 2, 0x10000, 0, 0},
                                   {fx(9), fx(25), 3, 0, 0x10000, 0}};
    const Case cases[] = {
        {"width not a power of two", PIXEL_PAL8, PIXEL_PAL8, 48, 16, 48, 4, tri},
        {"height above 2048", PIXEL_PAL8, PIXEL_PAL8, 4, 4096, 4, 4, tri},
        {"row length not a power of two", PIXEL_PAL8, PIXEL_PAL8, 16, 16, 24, 4, tri},
        {"row shorter than the texture", PIXEL_PAL8, PIXEL_PAL8, 64, 16, 32, 4, tri},
        {"row above 2048 texels", PIXEL_PAL8, PIXEL_PAL8, 16, 4, 4096, 4, tri},
        {"16-bit texture on an 8-bit target", PIXEL_PAL8, PIXEL_RGB565, 16, 16, 32, 4, tri},
        {"565 texture on a 1555 target", PIXEL_ARGB1555, PIXEL_RGB565, 16, 16, 32, 4, tri},
        {"32-bit texture", PIXEL_RGB565, PIXEL_RGB888, 16, 16, 64, 4, tri},
        {"coverage texture", PIXEL_PAL8, PIXEL_ALPHA8, 16, 16, 16, 4, tri},
        {"444 target", PIXEL_RGB444, PIXEL_PAL8, 16, 16, 16, 4, tri},
        {"32-bit target", PIXEL_ARGB8888, PIXEL_PAL8, 16, 16, 16, 4, tri},
        {"zero area",
         PIXEL_PAL8,
         PIXEL_PAL8,
         16,
         16,
         16,
         4,
         {{fx(1), fx(1), 1, 0, 0, 0}, {fx(11), fx(11), 1, 0, 0, 0}, {fx(21), fx(21), 1, 0, 0, 0}}},
        {"one horizontal line",
         PIXEL_PAL8,
         PIXEL_PAL8,
         16,
         16,
         16,
         4,
         {{fx(1), fx(5), 1, 0, 0, 0}, {fx(11), fx(5), 1, 0, 0, 0}, {fx(21), fx(5), 1, 0, 0, 0}}},
    };
    for (const Case& c : cases) {
        CurrentTexture texture(c.texture, c.w, c.h, c.rowBytes, [](int, int) { return 0x5A5Au; });
        Canvas canvas(c.target, 32, 32, 4);
        canvas.fillTarget(0);
        std::vector<vertex_tag> poly = c.poly;
        drawPolygon(&canvas.bm, c.mode, poly);
        EXPECT_EQ(canvas.target(), std::vector<uint32_t>(32 * 32, 0)) << c.what;
        EXPECT_TRUE(canvas.guardIntact()) << c.what;
    }
    // No current mip; a chain without levels; no colormap for mode 4 on a
    // 4-bit texture.
    Canvas canvas(PIXEL_PAL8, 32, 32, 4);
    canvas.fillTarget(0);
    mip_tag* saved = mipGetCurrent();
    mipSetCurrent(nullptr);
    drawPolygon(&canvas.bm, 4, tri);
    mip_tag* empty = mipRecordAlloc(0);
    mipSetCurrent(empty);
    drawPolygon(&canvas.bm, 5, tri);
    mipSetCurrent(saved);
    mipFree(empty);
    {
        CurrentTexture texture(PIXEL_CMAP4, 16, 16, 16, [](int, int) { return 3u; });
        uint8_t* savedColormap = colormapCurrent;
        colormapCurrent = nullptr;
        drawPolygon(&canvas.bm, 4, tri);
        colormapCurrent = savedColormap;
    }
    EXPECT_EQ(canvas.target(), std::vector<uint32_t>(32 * 32, 0));
}

} // namespace
