// The polygon interface: vertex collection, colour vetting, the mode
// table, aaTriangle, and what polyEnd refuses. The mode picking the
// colormapped routine: textured_test.cpp; the first 20 vertices counting:
// flat_test.cpp.
#include "raster_support.h"

#include <gtest/gtest.h>

using namespace rastertest;

namespace {

const std::vector<vertex_tag> triangle = {{fx(2), fx(1), 1, 0, 0, 7},
                                          {fx(20.5), fx(6), 1, 0x10000, 0, 7},
                                          {fx(5), fx(17.25), 1, 0, 0x10000, 7}};

TEST(PolyInterface, CallSequences) {
    CurrentTexture texture(PIXEL_PAL8, 4, 4, 4, [](int, int) { return 40u; });
    std::vector<vertex_tag> tri = triangle;
    tri.push_back({fx(1), fx(15), 1, 0, 0, 7}); // a fourth vertex
    struct Case {
        const char* what;
        int mode;
        uint32_t vetted;      // the colour given to polySetColor
        const char* vertices; // indexes into tri, in order; '-' a null vertex
        uint32_t drawn;       // the colour of the first three's pixels; 0: nothing drawn
    };
    const Case cases[] = {
        {"two vertices", 0, 7, "01", 0},
        {"a null vertex is not collected", 0, 7, "0-1", 0},
        {"a colour of 255 passes", 0, 255, "012", 7},
        {"a colour above 255 drops a flat polygon", 0, 256, "012", 0},
        {"but not a textured one", 4, 256, "012", 40},
        {"only the low 8 bits name the mode", 0x100, 7, "012", 7},
        {"mode 3", 3, 7, "0123", 0},
        {"mode 8", 8, 7, "0123", 0},
    };
    for (const Case& c : cases) {
        Canvas canvas(PIXEL_PAL8, 24, 24);
        polyBegin(&canvas.bm, c.mode);
        polySetColor(c.vetted);
        for (const char* v = c.vertices; *v; ++v)
            polyVertex(*v == '-' ? nullptr : &tri[size_t(*v - '0')]);
        polyEnd();
        EXPECT_EQ(canvas.target(), rowRuleImage(triangle, 24, 24, c.drawn)) << c.what;
    }
    // A colour vetted outside a pair does not reach the next; aaTriangle
    // draws a flat triangle unless its colour is above 255; polyEnd without
    // its own polyBegin draws nothing.
    Canvas whole(PIXEL_PAL8, 24, 24);
    polySetColor(1000);
    drawPolygon(&whole.bm, 0, tri);
    EXPECT_EQ(whole.target(), rowRuleImage(tri, 24, 24, 7));
    for (uint32_t color : {7u, 300u}) {
        Canvas canvas(PIXEL_PAL8, 24, 24);
        aaTriangle(&canvas.bm, color, tri[0].x, tri[0].y, tri[1].x, tri[1].y, tri[2].x, tri[2].y);
        polyEnd();
        EXPECT_EQ(canvas.target(), rowRuleImage(triangle, 24, 24, color == 7 ? 7 : 0)) << color;
    }
}

TEST(PolyInterface, UnusableTargetsAreIgnored) {
    Canvas canvas(PIXEL_PAL8, 24, 24);
    uint8_t* p = canvas.bm.pixels;
    drawPolygon(nullptr, 0, triangle);
    // Rows shorter than the width are refused too, whatever the type.
    for (bitmap_tag bad :
         {swtest::shape(PIXEL_PAL8, 24, 24, 24), swtest::shape(PIXEL_PAL8, -24, 24, 24, p),
          swtest::shape(PIXEL_PAL8, 24, -1, 24, p), swtest::shape(PIXEL_PAL8, 0, 24, 24, p),
          swtest::shape(PIXEL_PAL8, 24, 24, 23, p), swtest::shape(11, 24, 24, 0, p),
          swtest::shape(PIXEL_RGB565, 12, 24, 23, p)}) {
        drawPolygon(&bad, 0, triangle);
        aaTriangle(&bad, 7, fx(2), fx(1), fx(20.5), fx(6), fx(5), fx(17.25));
    }
    EXPECT_EQ(canvas.memory, Canvas(PIXEL_PAL8, 24, 24).memory) << "nothing drawn, in or around";
}

} // namespace
