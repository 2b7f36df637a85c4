// The polygon interface: vertex collection, colour vetting, the mode
// table, aaTriangle, and what polyEnd refuses.
#include "raster_support.h"

#include "bitmap/bitmap.h"
#include "memory.h"
#include "mip/mip.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace rastertest;

namespace {

std::vector<vertex_tag> triangle(uint32_t color) {
    return {{fx(2), fx(1), 1, 0, 0, int32_t(color)},
            {fx(20.5), fx(6), 1, 0x10000, 0, int32_t(color)},
            {fx(5), fx(17.25), 1, 0, 0x10000, int32_t(color)}};
}

// Pixels of the target drawn by the row rule of `poly` in `color`, the rest 0.
std::vector<uint32_t> expected(const std::vector<vertex_tag>& poly, uint32_t color, int w, int h) {
    std::vector<uint32_t> out(size_t(w) * h, 0);
    for (int y = 0; y < h; ++y) {
        int64_t lo, hi;
        if (!rowSpan(poly, y, &lo, &hi)) continue;
        for (int64_t x = std::max<int64_t>(lo, 0); x < std::min<int64_t>(hi, w); ++x)
            out[size_t(y) * w + size_t(x)] = color;
    }
    return out;
}

const std::vector<uint32_t> blank(24 * 24, 0);

TEST(PolyInterface, FewerThanThreeVerticesDrawNothing) {
    Canvas canvas(PIXEL_PAL8, 24, 24);
    canvas.fillTarget(0);
    std::vector<vertex_tag> tri = triangle(7);
    polyBegin(&canvas.bm, 0);
    polyVertex(&tri[0]);
    polyVertex(&tri[1]);
    polyEnd();
    EXPECT_EQ(canvas.target(), blank);
    // A null vertex is not collected.
    polyBegin(&canvas.bm, 0);
    polyVertex(&tri[0]);
    polyVertex(nullptr);
    polyVertex(&tri[1]);
    polyEnd();
    EXPECT_EQ(canvas.target(), blank);
}

TEST(PolyInterface, OnlyTheFirstTwentyVerticesCount) {
    // 25 vertices of a polygon; the first 20 bound a smaller shape whose
    // closing edge runs from vertex 19 back to vertex 0.
    std::vector<vertex_tag> poly;
    for (int i = 0; i < 25; ++i) {
        double a = i * 2 * 3.14159265358979 / 25;
        poly.push_back({fx(12 + 10 * std::cos(a)), fx(12 + 10 * std::sin(a)), 1, 0, 0, 7});
    }
    Canvas canvas(PIXEL_PAL8, 24, 24);
    canvas.fillTarget(0);
    drawPolygon(&canvas.bm, 0, poly);
    std::vector<vertex_tag> first20(poly.begin(), poly.begin() + 20);
    EXPECT_EQ(canvas.target(), expected(first20, 7, 24, 24));
    EXPECT_NE(canvas.target(), expected(poly, 7, 24, 24));
}

TEST(PolyInterface, ColourAboveIndexRangeDropsOnlyFlatPolygons) {
    mip_tag* mip = mipRecordAlloc(1);
    mip->levels = 1;
    uint8_t texels[16];
    for (int i = 0; i < 16; ++i)
        texels[i] = uint8_t(40 + i);
    mip->level[0] = bitmap_tag{PIXEL_PAL8, 4, 4, 4, nullptr, texels};
    mip_tag* saved = mipGetCurrent();
    mipSetCurrent(mip);

    std::vector<vertex_tag> tri = triangle(7);
    for (int mode : {0, 4}) {
        Canvas canvas(PIXEL_PAL8, 24, 24);
        canvas.fillTarget(0);
        polyBegin(&canvas.bm, mode);
        polySetColor(256);
        for (vertex_tag& v : tri)
            polyVertex(&v);
        polyEnd();
        if (mode == 0)
            EXPECT_EQ(canvas.target(), blank);
        else
            EXPECT_NE(canvas.target(), blank);
    }
    // A colour vetted outside a begin/end pair does not reach the next one.
    polySetColor(1000);
    Canvas canvas(PIXEL_PAL8, 24, 24);
    canvas.fillTarget(0);
    drawPolygon(&canvas.bm, 0, tri);
    EXPECT_EQ(canvas.target(), expected(tri, 7, 24, 24));

    mipSetCurrent(saved);
    mip->level[0].pixels = nullptr; // not owned by the chain
    mipFree(mip);
}

TEST(PolyInterface, ModesWithoutARoutineDrawNothing) {
    for (int mode : {1, 2, 3, 8, 9, 100, 255, 0x1FF}) {
        Canvas canvas(PIXEL_PAL8, 24, 24);
        canvas.fillTarget(0);
        std::vector<vertex_tag> poly = triangle(7);
        poly.push_back({fx(1), fx(15), 1, 0, 0, 7});
        drawPolygon(&canvas.bm, mode, poly);
        EXPECT_EQ(canvas.target(), blank) << mode;
    }
    // Only the low 8 bits name the mode: 0x100 is mode 0.
    Canvas canvas(PIXEL_PAL8, 24, 24);
    canvas.fillTarget(0);
    std::vector<vertex_tag> tri = triangle(7);
    drawPolygon(&canvas.bm, 0x100, tri);
    EXPECT_EQ(canvas.target(), expected(tri, 7, 24, 24));
}

TEST(PolyInterface, WindingDoesNotMatter) {
    std::vector<vertex_tag> poly = {{fx(1.3), fx(2.7), 1, 0, 0, 9},
                                    {fx(19.1), fx(0.2), 1, 0, 0, 9},
                                    {fx(22.9), fx(13.5), 1, 0, 0, 9},
                                    {fx(8.4), fx(21.6), 1, 0, 0, 9}};
    Canvas one(PIXEL_PAL8, 24, 24), two(PIXEL_PAL8, 24, 24);
    one.fillTarget(0);
    two.fillTarget(0);
    drawPolygon(&one.bm, 0, poly);
    std::vector<vertex_tag> reversed(poly.rbegin(), poly.rend());
    drawPolygon(&two.bm, 0, reversed);
    EXPECT_EQ(one.target(), two.target());
    EXPECT_EQ(one.target(), expected(poly, 9, 24, 24));
}

TEST(PolyInterface, AaTriangle) {
    Canvas canvas(PIXEL_PAL8, 24, 24);
    canvas.fillTarget(0);
    std::vector<vertex_tag> tri = triangle(7);
    aaTriangle(&canvas.bm, 7, tri[0].x, tri[0].y, tri[1].x, tri[1].y, tri[2].x, tri[2].y);
    EXPECT_EQ(canvas.target(), expected(tri, 7, 24, 24));
    canvas.fillTarget(0);
    aaTriangle(&canvas.bm, 300, tri[0].x, tri[0].y, tri[1].x, tri[1].y, tri[2].x, tri[2].y);
    EXPECT_EQ(canvas.target(), blank);
}

TEST(PolyInterface, UnusableTargetsAreIgnored) {
    std::vector<vertex_tag> tri = triangle(7);
    drawPolygon(nullptr, 0, tri);
    bitmap_tag noPixels{PIXEL_PAL8, 24, 24, 24, nullptr, nullptr};
    drawPolygon(&noPixels, 0, tri);
    Canvas canvas(PIXEL_PAL8, 24, 24);
    canvas.fillTarget(0);
    for (auto [w, h] : {std::pair{-24, 24}, std::pair{24, -1}, std::pair{0, 24}}) {
        bitmap_tag bad = canvas.bm;
        bad.width = w;
        bad.height = h;
        drawPolygon(&bad, 0, tri);
        aaTriangle(&bad, 7, tri[0].x, tri[0].y, tri[1].x, tri[1].y, tri[2].x, tri[2].y);
    }
    EXPECT_EQ(canvas.target(), blank);
    EXPECT_TRUE(canvas.guardIntact());
    // polyEnd without its own polyBegin draws nothing.
    polyEnd();
    polyEnd();
}

TEST(PolyInterface, ModeFourPicksTheColormappedRoutineForFourBitTextures) {
    mip_tag* mip = mipRecordAlloc(1);
    mip->levels = 1;
    uint8_t texels[16] = {3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3};
    mip->level[0] = bitmap_tag{PIXEL_CMAP4_KEY, 4, 4, 4, nullptr, texels};
    mip_tag* saved = mipGetCurrent();
    mipSetCurrent(mip);
    uint8_t colormap[16] = {0, 0, 0, 77};
    uint8_t* savedColormap = colormapCurrent;
    colormapCurrent = colormap;
    std::vector<vertex_tag> tri = triangle(0);
    for (auto [mode, want] : {std::pair{4, 77u}, std::pair{5, 3u}}) {
        Canvas canvas(PIXEL_PAL8, 24, 24);
        canvas.fillTarget(0);
        drawPolygon(&canvas.bm, mode, tri);
        EXPECT_EQ(canvas.target(), expected(tri, want, 24, 24)) << mode;
    }
    colormapCurrent = savedColormap;
    mipSetCurrent(saved);
    mip->level[0].pixels = nullptr;
    mipFree(mip);
}

} // namespace
