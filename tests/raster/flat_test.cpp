// The flat fill: exact coverage against the fill convention in both
// windings and every colour layout, any vertex list against the row rule,
// clipping, far-off vertices, the row tables in bands, and the fast row
// writers against the plain ones. Shared edges: textured_test.cpp.
#include "raster_support.h"

#include "bitmap/bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace rastertest;
using swtest::Rng;

namespace {

constexpr uint32_t ink = 7;

// The pixel `ink` becomes on a target type: the screen table's on the
// 16-bit screen types, the index itself on the others.
uint32_t inkOf(uint8_t type) {
    const uint16_t* table = screenTableOf(type);
    return table ? table[ink] : ink;
}

void drawFlat(Canvas& canvas, std::vector<vertex_tag> poly) {
    for (vertex_tag& v : poly)
        v.color = int32_t(ink);
    drawPolygon(&canvas.bm, 0, poly);
}

// Random convex polygons against both oracles, in both windings, on grids
// that put many pixel centres exactly on edges and vertices, in the colour
// each target type stores; and any vertex list against the row rule.
TEST(FlatFill, RandomPolygonsMatchTheOracles) {
    Rng rng(11);
    const int32_t grids[] = {0x8000, 0x4000, 0x2000, 1};
    const uint8_t types[] = {PIXEL_PAL8, PIXEL_RGB565, PIXEL_CMAP4, PIXEL_ARGB1555, PIXEL_PAL8_KEY};
    for (int i = 0; i < 1500; ++i) {
        std::vector<vertex_tag> poly = randomConvex(rng, -6, 46, grids[i % 4]);
        for (int pass = 0; pass < 2; ++pass) {
            Canvas canvas(types[i % 5], 40, 36, 8);
            drawFlat(canvas, poly);
            const uint32_t value = inkOf(types[i % 5]);
            ASSERT_EQ(canvas.target(), convexImage(poly, 40, 36, value)) << describe(poly);
            ASSERT_EQ(canvas.target(), rowRuleImage(poly, 40, 36, value)) << describe(poly);
            ASSERT_TRUE(canvas.guardIntact()) << describe(poly);
            std::reverse(poly.begin(), poly.end());
        }
        std::vector<vertex_tag> any;
        for (int k = rng.range(3, 20); k > 0; --k)
            any.push_back(
                {rng.range(fx(-8), fx(48)) & ~0x1FFF, rng.range(fx(-8), fx(44)), 1, 0, 0, 0});
        Canvas canvas(PIXEL_PAL8, 40, 36, 8);
        drawFlat(canvas, any);
        ASSERT_EQ(canvas.target(), rowRuleImage(any, 40, 36, ink)) << describe(any);
        ASSERT_TRUE(canvas.guardIntact());
    }
}

// The target's pixels equal those of the same polygon drawn unclipped into
// the guard band around it.
TEST(FlatFill, ClippedDrawingEqualsUnclippedDrawingCropped) {
    Rng rng(14);
    for (int i = 0; i < 600; ++i) {
        std::vector<vertex_tag> poly = randomConvex(rng, -30, 62, i % 3 ? 1 : 0x8000);
        for (vertex_tag& v : poly)
            v.color = int32_t(ink);
        uint8_t type = i % 2 ? PIXEL_RGB565 : PIXEL_PAL8;
        Canvas clipped(type, 32, 30, 32), unclipped(type, 32, 30, 32);
        std::vector<vertex_tag*> list;
        for (vertex_tag& v : poly)
            list.push_back(&v);
        polyFlat(&clipped.bm, int(list.size()), list.data());
        polyFlatClip(&unclipped.bm, int(list.size()), list.data(), unclipped.wholeWithGuard());
        ASSERT_EQ(clipped.target(), unclipped.target()) << describe(poly);
        ASSERT_TRUE(clipped.guardIntact()) << describe(poly);
    }
}

// Vertices anywhere in the 16.16 range: every edge starts exactly where
// the exact arithmetic puts it, and the target gets the row rule's pixels.
// Textured, with any u and v and z down to 0 and below (the host's error),
// nothing is written outside the target.
TEST(ExtremeVertices, FlatExactTexturedSafe) {
    Rng rng(15);
    CurrentTexture texture(PIXEL_PAL8_KEY, 64, 64, 64, [&](int u, int v) { return u ^ v; });
    const int32_t extremes[] = {INT32_MIN, INT32_MIN + 1, -0x7FFF8000,
                                INT32_MAX, 0x7FFF8000,    INT32_MAX - 0x8000};
    for (int i = 0; i < 400; ++i) {
        std::vector<vertex_tag> poly;
        auto coord = [&] {
            uint32_t pick = rng.next() % 4;
            return pick == 0   ? extremes[rng.next() % 6]
                   : pick == 1 ? int32_t(rng.next())
                               : rng.range(fx(-20), fx(60));
        };
        for (int k = rng.range(3, 6); k > 0; --k)
            poly.push_back({coord(), coord(), rng.range(-3, 0x40000), int32_t(rng.next()),
                            int32_t(rng.next()), 0});
        for (size_t k = 0; k < poly.size(); ++k) {
            const vertex_tag& a = poly[k];
            const vertex_tag& b = poly[(k + 1) % poly.size()];
            const vertex_tag& top = a.y < b.y ? a : b;
            const vertex_tag& bottom = a.y < b.y ? b : a;
            edge_tag e;
            edgeSetup(&e, &top, &bottom);
            if (a.y == b.y || e.rows <= 0) continue;
            int64_t dx = int64_t(bottom.x) - top.x, dy = int64_t(bottom.y) - top.y;
            Int128 n = mulWide(int64_t(top.x) + 0x8000, dy) +
                       mulWide(dx, (int64_t(e.yStart) << 16) + 0x8000 - top.y);
            ASSERT_EQ(e.x, floorDiv(n, dy << 16)) << describe(poly);
            ASSERT_EQ(e.err, floorDiv(n, 0x10000) - e.x * dy) << describe(poly);
        }
        Canvas flat(i % 2 ? PIXEL_ARGB1555 : PIXEL_PAL8, 40, 24, 8);
        drawFlat(flat, poly);
        ASSERT_TRUE(flat.guardIntact()) << describe(poly);
        ASSERT_EQ(flat.target(), rowRuleImage(poly, 40, 24, inkOf(flat.bm.pixelType)))
            << describe(poly);
        Canvas textured(i % 2 ? PIXEL_RGB565 : PIXEL_PAL8, 40, 24, 8);
        drawPolygon(&textured.bm, 4, poly);
        ASSERT_TRUE(textured.guardIntact()) << describe(poly);
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
        for (int r = 0; r < rows; ++r)
            for (int x = 0; x < 720; ++x) {
                const uint8_t* p = image[1].data() + 16 + r * rowBytes + x * bpp;
                bool inside = x >= std::min(xa[r], xb[r]) && x < std::max(xa[r], xb[r]);
                ASSERT_EQ(p[0], inside ? uint8_t(fill) : 0xCC) << "case " << i << " row " << r;
            }
    }
}

} // namespace
