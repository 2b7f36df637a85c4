// The flat fill: exact coverage against the fill convention, shared edges,
// winding, clipping and far-off vertices, the row tables in bands, and the
// fast row writers against the plain ones.
#include "raster_support.h"

#include "bitmap/bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace rastertest;
using swtest::Rng;

namespace {

constexpr uint32_t ink = 7;

void drawFlat(Canvas& canvas, std::vector<vertex_tag> poly, uint32_t color = ink) {
    for (vertex_tag& v : poly)
        v.color = int32_t(color);
    drawPolygon(&canvas.bm, 0, poly);
}

// Pixels of the target a drawing set to `value` (from a background of 0).
std::vector<bool> inked(const Canvas& canvas, uint32_t value = ink) {
    std::vector<bool> out;
    for (uint32_t v : canvas.target())
        out.push_back(v == value);
    return out;
}

// The row-rule oracle over a w x h target.
std::vector<bool> rowRule(const std::vector<vertex_tag>& poly, int w, int h) {
    std::vector<bool> out(size_t(w) * h, false);
    for (int y = 0; y < h; ++y) {
        int64_t lo, hi;
        if (!rowSpan(poly, y, &lo, &hi)) continue;
        for (int x = 0; x < w; ++x)
            out[size_t(y) * w + x] = x >= lo && x < hi;
    }
    return out;
}

std::vector<bool> geometric(const std::vector<vertex_tag>& poly, int w, int h) {
    std::vector<bool> out(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            out[size_t(y) * w + x] = convexCovers(poly, x, y);
    return out;
}

std::vector<vertex_tag> rect(double x0, double y0, double x1, double y1) {
    return {{fx(x0), fx(y0), 1, 0, 0, 0},
            {fx(x1), fx(y0), 1, 0, 0, 0},
            {fx(x1), fx(y1), 1, 0, 0, 0},
            {fx(x0), fx(y1), 1, 0, 0, 0}};
}

TEST(FlatFill, SquaresFollowTheCentreRule) {
    struct Case {
        double x0, y0, x1, y1;
        int firstCol, lastCol, firstRow, lastRow; // inclusive; first > last = empty
    };
    const Case cases[] = {
        {10, 10, 20, 20, 10, 19, 10, 19},         // centres strictly inside
        {10.5, 10.5, 20.5, 20.5, 11, 20, 11, 20}, // top/left centres out, bottom/right in
        {3, 3.6, 12, 4.4, 1, 0, 1, 0},            // no row centre between 3.6 and 4.4
        {2, 5, 9, 5, 1, 0, 1, 0},                 // all on one horizontal line
        {0.25, 0.75, 3.75, 5.5, 0, 3, 1, 5},      // 0.25..3.75 covers centres 0.5..3.5
    };
    for (const Case& c : cases) {
        Canvas canvas(PIXEL_PAL8, 32, 32);
        canvas.fillTarget(0);
        drawFlat(canvas, rect(c.x0, c.y0, c.x1, c.y1));
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                bool expect =
                    x >= c.firstCol && x <= c.lastCol && y >= c.firstRow && y <= c.lastRow;
                ASSERT_EQ(canvas.at(x, y) == ink, expect)
                    << "rect " << c.x0 << "," << c.y0 << " " << c.x1 << "," << c.y1 << " pixel "
                    << x << "," << y;
            }
        EXPECT_TRUE(canvas.guardIntact());
    }
}

// Random convex polygons against both oracles, in both windings, on grids
// that put many pixel centres exactly on edges and vertices.
TEST(FlatFill, RandomConvexPolygonsMatchTheOracles) {
    Rng rng(11);
    const int32_t grids[] = {0x8000, 0x4000, 0x2000, 1};
    for (int i = 0; i < 1500; ++i) {
        std::vector<vertex_tag> poly = randomConvex(rng, -6, 46, grids[i % 4]);
        for (int pass = 0; pass < 2; ++pass) {
            Canvas canvas(PIXEL_PAL8, 40, 36, 8);
            canvas.fillTarget(0);
            drawFlat(canvas, poly);
            std::vector<bool> got = inked(canvas);
            ASSERT_EQ(got, geometric(poly, 40, 36)) << describe(poly);
            ASSERT_EQ(got, rowRule(poly, 40, 36)) << describe(poly);
            ASSERT_TRUE(canvas.guardIntact()) << describe(poly);
            std::reverse(poly.begin(), poly.end());
        }
    }
}

// Any vertex list: the span of each row runs between the last edge down
// and the last edge up across it.
TEST(FlatFill, NonConvexPolygonsFollowTheRowRule) {
    Rng rng(12);
    for (int i = 0; i < 1000; ++i) {
        std::vector<vertex_tag> poly;
        int n = rng.range(3, 20);
        for (int k = 0; k < n; ++k)
            poly.push_back(
                {rng.range(fx(-8), fx(40)) & ~0x1FFF, rng.range(fx(-8), fx(40)), 1, 0, 0, 0});
        Canvas canvas(PIXEL_PAL8, 32, 32, 8);
        canvas.fillTarget(0);
        drawFlat(canvas, poly);
        ASSERT_EQ(inked(canvas), rowRule(poly, 32, 32)) << describe(poly);
        ASSERT_TRUE(canvas.guardIntact());
    }
}

// A convex polygon cut into a fan around an inner point: the pieces never
// share a pixel and together fill exactly the polygon.
TEST(FlatFill, SharedEdgesNeitherOverlapNorGap) {
    Rng rng(13);
    for (int i = 0; i < 400; ++i) {
        std::vector<vertex_tag> poly = randomConvex(rng, 0, 36, i % 2 ? 0x4000 : 1, 9);
        int64_t cx = 0, cy = 0;
        for (const vertex_tag& v : poly) {
            cx += v.x;
            cy += v.y;
        }
        vertex_tag centre{
            int32_t(cx / int64_t(poly.size())), int32_t(cy / int64_t(poly.size())), 1, 0, 0, 0};
        std::vector<int> count(36 * 36, 0);
        for (size_t k = 0; k < poly.size(); ++k) {
            Canvas piece(PIXEL_PAL8, 36, 36, 4);
            piece.fillTarget(0);
            drawFlat(piece, {centre, poly[k], poly[(k + 1) % poly.size()]});
            std::vector<bool> got = inked(piece);
            for (size_t p = 0; p < got.size(); ++p)
                count[p] += got[p];
        }
        std::vector<bool> whole = geometric(poly, 36, 36);
        for (size_t p = 0; p < whole.size(); ++p)
            ASSERT_EQ(count[p], whole[p] ? 1 : 0) << describe(poly) << " pixel " << p;
    }
}

// The target's pixels equal those of the same polygon drawn unclipped into
// the guard band around it, and of the polygon moved by whole pixels onto
// a larger target.
TEST(FlatFill, ClippedDrawingEqualsUnclippedDrawingCropped) {
    Rng rng(14);
    for (int i = 0; i < 600; ++i) {
        std::vector<vertex_tag> poly = randomConvex(rng, -30, 62, i % 3 ? 1 : 0x8000);
        for (vertex_tag& v : poly)
            v.color = int32_t(ink);
        uint8_t type = i % 2 ? PIXEL_RGB565 : PIXEL_PAL8;
        Canvas clipped(type, 32, 30, 32), unclipped(type, 32, 30, 32);
        clipped.fillTarget(0);
        unclipped.fillTarget(0);
        std::vector<vertex_tag*> list;
        for (vertex_tag& v : poly)
            list.push_back(&v);
        polyFlat(&clipped.bm, int(list.size()), list.data());
        polyFlatClip(&unclipped.bm, int(list.size()), list.data(), unclipped.wholeWithGuard());
        ASSERT_EQ(clipped.target(), unclipped.target()) << describe(poly);
        ASSERT_TRUE(clipped.guardIntact()) << describe(poly);

        // The big target starts 250 pixels up and left of the small one.
        int sx = rng.range(-200, 200), sy = rng.range(-200, 200);
        std::vector<vertex_tag> moved = poly;
        for (vertex_tag& v : moved) {
            v.x += (sx + 250) * 65536;
            v.y += (sy + 250) * 65536;
        }
        Canvas big(type, 512, 512, 2);
        big.fillTarget(0);
        drawFlat(big, moved);
        ASSERT_EQ(big.window(sx + 250, sy + 250, 32, 30), clipped.target())
            << describe(poly) << " moved " << sx << "," << sy;
    }
}

// Vertices anywhere in the 16.16 range: every edge starts exactly where
// the exact arithmetic puts it, and the target gets the row rule's pixels.
TEST(FlatFill, VerticesNearTheEndsOfTheRangeAreSafeAndExact) {
    Rng rng(15);
    const int32_t extremes[] = {INT32_MIN, INT32_MIN + 1, -0x7FFF8000,
                                INT32_MAX, 0x7FFF8000,    INT32_MAX - 0x8000};
    for (int i = 0; i < 400; ++i) {
        std::vector<vertex_tag> poly;
        int n = rng.range(3, 6);
        for (int k = 0; k < n; ++k) {
            auto coord = [&] {
                uint32_t pick = rng.next() % 4;
                if (pick == 0) return extremes[rng.next() % 6];
                if (pick == 1) return int32_t(rng.next());
                return rng.range(fx(-20), fx(60));
            };
            int32_t x = coord();
            int32_t y = coord();
            poly.push_back({x, y, 1, 0, 0, 0});
        }
        for (int k = 0; k < n; ++k) {
            const vertex_tag& a = poly[k];
            const vertex_tag& b = poly[(k + 1) % n];
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
        uint8_t type = i % 2 ? PIXEL_ARGB1555 : PIXEL_PAL8;
        Canvas canvas(type, 40, 24, 8);
        canvas.fillTarget(0);
        drawFlat(canvas, poly);
        ASSERT_TRUE(canvas.guardIntact()) << describe(poly);
        uint32_t fill = type == PIXEL_PAL8 ? ink : screenPalette555[ink];
        ASSERT_EQ(inked(canvas, fill), rowRule(poly, 40, 24)) << describe(poly);
    }
}

// Taller than the row tables: filled in bands, each row exact.
TEST(FlatFill, TargetsTallerThanTheRowTables) {
    for (uint8_t type : {PIXEL_PAL8, PIXEL_RGB565}) {
        Canvas canvas(type, 24, 9000, 2);
        canvas.fillTarget(0);
        std::vector<vertex_tag> poly = {{fx(-3.3), fx(-10.2), 1, 0, 0, 0},
                                        {fx(30.7), fx(4000.1), 1, 0, 0, 0},
                                        {fx(12.25), fx(9005.5), 1, 0, 0, 0},
                                        {fx(0.5), fx(8190.0), 1, 0, 0, 0}};
        drawFlat(canvas, poly);
        uint32_t fill = type == PIXEL_PAL8 ? ink : screenPalette565[ink];
        EXPECT_EQ(inked(canvas, fill), rowRule(poly, 24, 9000));
        EXPECT_TRUE(canvas.guardIntact());
    }
}

TEST(FlatFill, ColourFollowsTheTargetType) {
    const std::pair<uint8_t, uint32_t> cases[] = {{PIXEL_PAL8, 5},
                                                  {PIXEL_PAL8_KEY, 5},
                                                  {PIXEL_CMAP4, 5},
                                                  {PIXEL_RGB565, screenPalette565[5]},
                                                  {PIXEL_ARGB1555, screenPalette555[5]}};
    for (auto [type, expect] : cases) {
        Canvas canvas(type, 8, 8);
        canvas.fillTarget(0);
        drawFlat(canvas, rect(1, 1, 4, 3), 5);
        EXPECT_EQ(canvas.at(1, 1), expect) << int(type);
        EXPECT_EQ(canvas.at(3, 2), expect) << int(type);
        EXPECT_EQ(canvas.at(4, 2), 0u) << int(type);
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
