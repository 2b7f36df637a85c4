// The flat fill: exact coverage against the row rule in every colour
// layout, clipping, far-off vertices, the row tables in bands, and the fast
// row writers against the plain ones.
#include "raster_support.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace rastertest;

namespace {

constexpr uint32_t ink = 7;

// The pixel `ink` becomes on a target type: the screen table's on the
// 16-bit screen types, the index itself on the others.
uint32_t inkOf(uint8_t type) {
    return screenTableOf(type) ? screenTableOf(type)[ink] : ink;
}

void drawFlat(Canvas& canvas, std::vector<vertex_tag> poly) {
    for (vertex_tag& v : poly)
        v.color = int32_t(ink);
    drawPolygon(&canvas.bm, 0, poly);
}

// Random polygons against the row rule in the colour each target type
// stores: convex ones in both windings, on grids that put many pixel
// centres exactly on edges and vertices, and any list of up to 25 vertices
// anywhere in the 16.16 range, of which the first 20 count. Drawn textured, the convex ones cover
// the same pixels, unless a fan triangle is under a square pixel (its determinant may be 0 in
// floats), and the others, with any u and v and z down to 0 and below (the host's error), write
// nothing outside the target.
TEST(FlatFill, RandomPolygonsMatchTheRowRule) {
    Rng rng(11);
    CurrentTexture texture(PIXEL_PAL8, 64, 64, 64, [&](int u, int v) { return 1 + (u ^ v); });
    const int32_t grids[] = {0x8000, 0x4000, 0x2000, 1};
    const uint8_t types[] = {PIXEL_PAL8, PIXEL_RGB565, PIXEL_CMAP4, PIXEL_ARGB1555, PIXEL_PAL8_KEY};
    const int32_t extremes[] = {INT32_MIN, INT32_MIN + 1, -0x7FFF8000,
                                INT32_MAX, 0x7FFF8000,    INT32_MAX - 0x8000};
    auto coord = [&] {
        uint32_t pick = rng.next() % 4;
        return pick == 0   ? extremes[rng.next() % 6]
               : pick == 1 ? int32_t(rng.next())
                           : rng.range(fx(-20), fx(60));
    };
    for (int i = 0; i < 1500; ++i) {
        std::vector<vertex_tag> convex = randomConvex(rng, -6, 46, grids[i % 4]);
        std::vector<vertex_tag> reversed(convex.rbegin(), convex.rend()), any;
        for (int k = rng.range(3, 25); k > 0; --k)
            any.push_back({coord(), coord(), rng.range(-3, 0x40000), int32_t(rng.next()),
                           int32_t(rng.next()), 0});
        for (const std::vector<vertex_tag>* poly : {&convex, &reversed, &any}) {
            Canvas canvas(types[i % 5], 40, 36, 8);
            drawFlat(canvas, *poly);
            ASSERT_EQ(polyCount, std::min<int32_t>(int32_t(poly->size()), polyMaxVertices));
            const std::vector<vertex_tag> counted(poly->begin(), poly->begin() + polyCount);
            ASSERT_EQ(canvas.target(), rowRuleImage(counted, 40, 36, inkOf(types[i % 5])))
                << describe(*poly);
            ASSERT_TRUE(canvas.guardIntact()) << describe(*poly);
        }
        bool thin = false;
        for (size_t k = 1; k + 1 < convex.size(); ++k)
            thin |= doubledArea({convex[0], convex[k], convex[k + 1]}) < wide(int64_t(1) << 33);
        Canvas textured(PIXEL_PAL8, 40, 36, 8),
            unsafe(i % 2 ? PIXEL_RGB565 : PIXEL_PAL8, 40, 36, 8);
        drawPolygon(&textured.bm, 4, convex);
        std::vector<uint32_t> covered = textured.target();
        for (uint32_t& pixel : covered)
            pixel = pixel ? ink : 0;
        ASSERT_EQ(covered, thin ? covered : rowRuleImage(convex, 40, 36, ink)) << describe(convex);
        drawPolygon(&unsafe.bm, 4, any);
        ASSERT_TRUE(unsafe.guardIntact()) << describe(any);
    }
}

// Taller than the row tables: filled in bands, each row exact.
TEST(FlatFill, TargetsTallerThanTheRowTables) {
    for (uint8_t type : {PIXEL_PAL8, PIXEL_RGB565}) {
        Canvas canvas(type, 24, 9000, 2);
        std::vector<vertex_tag> poly = {{fx(-3.3), fx(-10.2), 1, 0, 0, 0},
                                        {fx(30.7), fx(4000.1), 1, 0, 0, 0},
                                        {fx(12.25), fx(9005.5), 1, 0, 0, 0},
                                        {fx(0.5), fx(8190.0), 1, 0, 0, 0}};
        drawFlat(canvas, poly);
        EXPECT_EQ(canvas.target(), rowRuleImage(poly, 24, 9000, inkOf(type)));
        EXPECT_TRUE(canvas.guardIntact());
    }
}

// The fast row writers write exactly what the plain ones write, at every
// alignment of the row, for spans in either order and of any length.
TEST(FlatFill, FastRowWritersMatchThePlainOnes) {
    Rng rng(16);
    for (int i = 0; i < 4000; ++i) {
        const uint8_t type = i & 1 ? PIXEL_RGB565 : PIXEL_PAL8;
        const int bpp = i & 1 ? 2 : 1, rows = 5, rowBytes = 720 * bpp + rng.range(0, 15);
        uint32_t fill = rng.next();
        fill = bpp == 2 ? (fill & 0xFFFF) * 0x10001u : (fill & 0xFF) * 0x01010101u;
        std::vector<int32_t> xa(rows), xb(rows);
        for (int r = 0; r < rows; ++r) {
            xa[r] = rng.range(0, 700);
            xb[r] = r % 3 ? std::clamp(xa[r] + rng.range(-20, 20), 0, 700) : rng.range(0, 700);
        }
        std::vector<uint8_t> image[2];
        withPlainAndFast([&](bool plain) {
            std::vector<uint8_t>& bytes = image[plain];
            bytes.assign(size_t(rowBytes) * rows + 32, 0xCC);
            bitmap_tag target{type, 720, rows, rowBytes, nullptr, bytes.data() + 16};
            std::copy(xa.begin(), xa.end(), edgeTableDown);
            std::copy(xb.begin(), xb.end(), edgeTableUp);
            pickRoutine(flatRowsFor(type))(&target, 0, rows - 1, 0, fill);
        });
        ASSERT_EQ(image[0], image[1]) << "case " << i;
    }
}

} // namespace
