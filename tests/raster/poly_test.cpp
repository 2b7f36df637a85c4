// The polygon interface: vertex collection, colour vetting, the mode
// table, aaTriangle, and what polyEnd refuses.
#include "raster_support.h"

#include "bitmap/bitmap.h"
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
std::vector<uint32_t> expected(const std::vector<vertex_tag>& poly, uint32_t color) {
    std::vector<uint32_t> out(24 * 24, 0);
    for (int y = 0; y < 24; ++y) {
        int64_t lo, hi;
        if (!rowSpan(poly, y, &lo, &hi)) continue;
        for (int64_t x = std::max<int64_t>(lo, 0); x < std::min<int64_t>(hi, 24); ++x)
            out[size_t(y) * 24 + size_t(x)] = color;
    }
    return out;
}

// A one-level chain of 4 x 4 texels, current while alive.
struct FourByFour {
    swtest::SelectionGuard guard;
    uint8_t texels[16];
    mip_tag* mip = mipRecordAlloc(1);
    FourByFour(uint8_t type, uint8_t value) {
        std::fill(texels, texels + 16, value);
        mip->levels = 1;
        mip->level[0] = bitmap_tag{type, 4, 4, 4, nullptr, texels};
        mipSetCurrent(mip);
    }
    ~FourByFour() {
        mipSetCurrent(nullptr);
        mip->level[0].pixels = nullptr; // not owned by the chain
        mipFree(mip);
    }
};

TEST(PolyInterface, CallSequences) {
    FourByFour texture(PIXEL_PAL8, 40);
    std::vector<vertex_tag> tri = triangle(7), reversed(tri.rbegin(), tri.rend());
    const std::vector<uint32_t> blank(24 * 24, 0), drawn = expected(tri, 7);
    auto polygon = [&](int mode, uint32_t vetted, std::vector<vertex_tag*> list) {
        return [=](bitmap_tag* target) {
            polyBegin(target, mode);
            polySetColor(vetted);
            for (vertex_tag* v : list)
                polyVertex(v);
            polyEnd();
        };
    };
    vertex_tag fourth{fx(1), fx(15), 1, 0, 0, 7};
    struct Case {
        const char* what;
        std::function<void(bitmap_tag*)> draw;
        const std::vector<uint32_t>* want; // null: something, not blank
    };
    const Case cases[] = {
        {"three vertices", polygon(0, 7, {&tri[0], &tri[1], &tri[2]}), &drawn},
        {"reversed winding", polygon(0, 7, {&reversed[0], &reversed[1], &reversed[2]}), &drawn},
        {"two vertices", polygon(0, 7, {&tri[0], &tri[1]}), &blank},
        {"a null vertex is not collected", polygon(0, 7, {&tri[0], nullptr, &tri[1]}), &blank},
        {"colour above 255 drops a flat polygon", polygon(0, 256, {&tri[0], &tri[1], &tri[2]}),
         &blank},
        {"but not a textured one", polygon(4, 256, {&tri[0], &tri[1], &tri[2]}), nullptr},
        {"only the low 8 bits name the mode", polygon(0x100, 7, {&tri[0], &tri[1], &tri[2]}),
         &drawn},
        {"a colour vetted outside a pair does not reach the next",
         [&](bitmap_tag* target) {
             polySetColor(1000);
             drawPolygon(target, 0, tri);
         },
         &drawn},
        {"aaTriangle",
         [&](bitmap_tag* t) {
             aaTriangle(t, 7, tri[0].x, tri[0].y, tri[1].x, tri[1].y, tri[2].x, tri[2].y);
         },
         &drawn},
        {"aaTriangle above 255",
         [&](bitmap_tag* t) {
             aaTriangle(t, 300, tri[0].x, tri[0].y, tri[1].x, tri[1].y, tri[2].x, tri[2].y);
         },
         &blank},
        {"polyEnd without its own polyBegin", [](bitmap_tag*) { polyEnd(); }, &blank},
    };
    for (const Case& c : cases) {
        Canvas canvas(PIXEL_PAL8, 24, 24);
        canvas.fillTarget(0);
        c.draw(&canvas.bm);
        if (c.want)
            EXPECT_EQ(canvas.target(), *c.want) << c.what;
        else
            EXPECT_NE(canvas.target(), blank) << c.what;
    }
    for (int mode : {1, 2, 3, 8, 9, 100, 255, 0x1FF}) {
        Canvas canvas(PIXEL_PAL8, 24, 24);
        canvas.fillTarget(0);
        polygon(mode, 7, {&tri[0], &tri[1], &tri[2], &fourth})(&canvas.bm);
        EXPECT_EQ(canvas.target(), blank) << "mode " << mode;
    }
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
    EXPECT_EQ(canvas.target(), expected(first20, 7));
    EXPECT_NE(canvas.target(), expected(poly, 7));
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
    EXPECT_EQ(canvas.target(), std::vector<uint32_t>(24 * 24, 0));
    EXPECT_TRUE(canvas.guardIntact());
}

TEST(PolyInterface, ModeFourPicksTheColormappedRoutineForFourBitTextures) {
    FourByFour texture(PIXEL_CMAP4_KEY, 3);
    uint8_t colormap[16] = {0, 0, 0, 77};
    colormapCurrent = colormap;
    std::vector<vertex_tag> tri = triangle(0);
    for (auto [mode, want] : {std::pair{4, 77u}, std::pair{5, 3u}}) {
        Canvas canvas(PIXEL_PAL8, 24, 24);
        canvas.fillTarget(0);
        drawPolygon(&canvas.bm, mode, tri);
        EXPECT_EQ(canvas.target(), expected(tri, want)) << mode;
    }
}

} // namespace
