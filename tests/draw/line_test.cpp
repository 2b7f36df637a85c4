// drawLine, aaLine and fillRect: the Bresenham walk pixel for pixel, and
// clipping that equals cropping the unclipped drawing.
#include "bitmap/bitmap.h"
#include "draw/draw.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <utility>
#include <vector>

using swtest::Rng;

namespace {

using Points = std::set<std::pair<int64_t, int64_t>>;

// The line walk as the drawing rules state it, one point at a time: the
// minor step waits for a strictly positive error term, so which middle
// pixel a line takes depends on its direction.
Points referenceLine(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    Points out;
    if (y0 == y1) {
        for (int64_t x = std::min(x0, x1); x <= std::max(x0, x1); ++x)
            out.insert({x, y0});
        return out;
    }
    int64_t dx = x1 - x0, dy = y1 - y0, sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    int64_t ax = std::abs(dx), ay = std::abs(dy), x = x0, y = y0;
    out.insert({x, y});
    if (ax >= ay) {
        int64_t d = 2 * ay - ax;
        for (int64_t i = 0; i < ax; ++i) {
            if (d > 0) {
                d -= 2 * ax;
                y += sy;
            }
            x += sx;
            d += 2 * ay;
            out.insert({x, y});
        }
    } else {
        int64_t d = 2 * ax - ay;
        for (int64_t i = 0; i < ay; ++i) {
            if (d > 0) {
                d -= 2 * ay;
                x += sx;
            }
            y += sy;
            d += 2 * ax;
            out.insert({x, y});
        }
    }
    return out;
}

// The set of pixels of an 8-bit bitmap equal to `color`.
Points pixelsOf(const bitmap_tag* bm, int color) {
    Points out;
    for (int y = 0; y < bm->height; ++y)
        for (int x = 0; x < bm->width; ++x)
            if (readPixel(bm, x, y) == color) out.insert({x, y});
    return out;
}

bitmap_tag* cleared(uint8_t type, int w, int h) {
    return swtest::filledBitmap(type, w, h, 0);
}

// Lines inside the bitmap, pixel for pixel; on 5:6:5 each pixel is the
// colour's table pixel (read back through the table).
TEST(Lines, UnclippedLinesFollowTheReferenceWalk) {
    swtest::DrawScene scene(8);
    ASSERT_TRUE(screenPalette565[1] != 0 && screenPalette565[1] != screenPalette565[0]);
    Rng rng(17);
    for (uint8_t type : {PIXEL_PAL8, PIXEL_RGB565}) {
        swtest::Owned bm = cleared(type, 64, 48);
        for (int i = 0; i < 2000; ++i) {
            int x0 = rng.range(0, 63), y0 = rng.range(0, 47), x1 = rng.range(0, 63),
                y1 = rng.range(0, 47);
            std::memset(bm->pixels, 0, size_t(49) * bm->rowBytes);
            drawLine(bm, 1 + 256, x0, y0, x1, y1); // only the low 8 bits count
            ASSERT_EQ(pixelsOf(bm, 1), referenceLine(x0, y0, x1, y1))
                << x0 << "," << y0 << " " << x1 << "," << y1;
        }
    }
}

// Lines with end points anywhere around a small bitmap: the clipped
// drawing equals the window of the same line drawn whole on a bitmap large
// enough to hold it, and nothing outside the small bitmap changes.
TEST(Lines, ClippingEqualsCroppingTheWholeLine) {
    const int W = 23, H = 17, margin = 120;
    Rng rng(23);
    for (int run = 0; run < 4; ++run) {
        swtest::RoutineChoice routines(run & 1);
        const uint8_t type = run & 2 ? PIXEL_RGB565 : PIXEL_PAL8;
        swtest::Owned small = cleared(type, W, H);
        swtest::Owned big = cleared(type, W + 2 * margin, H + 2 * margin);
        for (int i = 0; i < 3000; ++i) {
            int x0 = rng.range(-margin, W + margin - 1), y0 = rng.range(-margin, H + margin - 1);
            int x1 = rng.range(-margin, W + margin - 1), y1 = rng.range(-margin, H + margin - 1);
            if (i % 5 == 0) y1 = y0;
            if (i % 7 == 0) x1 = x0;
            std::memset(small->pixels, 0, size_t(H + 1) * small->rowBytes + 1);
            std::memset(big->pixels, 0, size_t(big->height + 1) * big->rowBytes + 1);
            drawLine(small, 200, x0, y0, x1, y1);
            drawLineUnclipped(big, 200, x0 + margin, y0 + margin, x1 + margin, y1 + margin);
            int bpp = pixelBitDepthLog2(type);
            for (int y = 0; y < H; ++y)
                ASSERT_EQ(0, std::memcmp(small->pixels + y * small->rowBytes,
                                         big->pixels + (y + margin) * big->rowBytes + margin * bpp,
                                         size_t(W) * bpp))
                    << "row " << y << " of " << x0 << "," << y0 << " " << x1 << "," << y1;
            for (int y = 0; y <= H; ++y)
                for (int b = W * bpp; b < (y < H ? small->rowBytes : small->rowBytes + 1); ++b)
                    ASSERT_EQ(small->pixels[y * small->rowBytes + b], 0) << "padding written";
        }
    }
}

// End points near the limits of 32-bit coordinates: the visible part is
// the part of the whole line the closed form predicts, checked against the
// reference walk started from the last point before the window.
TEST(Lines, ExtremeEndPointsClipWithoutOverflow) {
    const int W = 16, H = 12;
    swtest::Owned bm = cleared(PIXEL_PAL8, W, H);
    const int32_t far[] = {INT32_MIN, INT32_MIN + 1, -1000000007, 1000000009, INT32_MAX};
    for (int32_t a : far)
        for (int32_t b : far) {
            std::memset(bm->pixels, 0, size_t(H + 1) * bm->rowBytes + 1);
            drawLine(bm, 5, a, 3, b, 9);
            drawLine(bm, 5, 3, a, 9, b);
            drawLine(bm, 5, a, b, b, a);
            for (int b2 = W; b2 < bm->rowBytes; ++b2)
                for (int y = 0; y < H; ++y)
                    ASSERT_EQ(bm->pixels[y * bm->rowBytes + b2], 0);
            ASSERT_EQ(bm->pixels[H * bm->rowBytes], 0);
        }
    // A shallow line from far left: its visible pixels match the reference
    // walk over the visible stretch (the walk is exact for any start).
    std::memset(bm->pixels, 0, size_t(H + 1) * bm->rowBytes + 1);
    drawLine(bm, 5, -3000, 0, 3000, 11);
    Points expected;
    for (auto& p : referenceLine(-3000, 0, 3000, 11))
        if (p.first >= 0 && p.first < W && p.second >= 0 && p.second < H) expected.insert(p);
    EXPECT_EQ(pixelsOf(bm, 5), expected);
}

TEST(Lines, AaLineDrawsTheIntegerPartsOfFixedPointEnds) {
    swtest::Owned bm = cleared(PIXEL_PAL8, 6, 3);
    aaLine(bm, 4, 0x18000, 0x10000, 0x3FFFF, 0x10000);
    EXPECT_EQ(pixelsOf(bm, 4), (Points{{1, 1}, {2, 1}, {3, 1}}));
    std::memset(bm->pixels, 0, size_t(4) * bm->rowBytes);
    aaLine(bm, 4, -0x8000, 0x28000, 0x1FFFF, 0x28000); // -0.5 floors to -1
    EXPECT_EQ(pixelsOf(bm, 4), (Points{{0, 2}, {1, 2}}));
}

// Exactly the rectangle's pixels change, rows rowBytes apart; full-width
// rectangles on unpadded rows (one block for the fast fill) change exactly
// the rows asked for. Both fills; colours keep their low 8 bits.
TEST(FillRect, WritesExactlyTheRectangle) {
    swtest::DrawScene scene(5);
    struct Case {
        uint8_t type;
        int w, h, x, y, rw, rh;
    } cases[] = {{PIXEL_PAL8, 11, 6, 3, 1, 5, 4},     {PIXEL_PAL8, 12, 6, -3, 2, 40, 9},
                 {PIXEL_RGB565, 12, 6, -3, 2, 40, 9}, {PIXEL_ARGB1555, 7, 5, 2, -1, 3, 3},
                 {PIXEL_PAL8, 11, 6, 0, 0, 0, 6},     {PIXEL_PAL8, 11, 6, 0, 0, 11, 0}};
    for (const Case& c : cases)
        for (bool plain : {true, false}) {
            swtest::RoutineChoice routines(plain);
            swtest::Owned bm = cleared(c.type, c.w, c.h);
            fillRect(bm, 0x2AB, c.x, c.y, uint32_t(c.rw), uint32_t(c.rh));
            const uint16_t* table = screenTableOf(c.type);
            bitmap_tag expected = *bm;
            std::vector<uint8_t> bytes(swtest::bufferOf(bm).size(), 0);
            expected.pixels = bytes.data();
            for (int y = std::max(c.y, 0); y < std::min(c.y + c.rh, c.h); ++y)
                for (int x = std::max(c.x, 0); x < std::min(c.x + c.rw, c.w); ++x)
                    swtest::setPixelAt(&expected, x, y, table ? table[0xAB] : 0xAB);
            EXPECT_EQ(swtest::bufferOf(bm), bytes) << int(c.type) << " " << c.x << "," << c.y;
        }
}

TEST(FillRect, ClippingEqualsCroppingTheWholeRectangle) {
    const int W = 13, H = 9, margin = 40;
    Rng rng(31);
    for (int run = 0; run < 4; ++run) {
        swtest::RoutineChoice routines(run & 1);
        const uint8_t type = run & 2 ? PIXEL_ARGB1555 : PIXEL_PAL8;
        swtest::Owned small = cleared(type, W, H);
        swtest::Owned big = cleared(type, W + 2 * margin, H + 2 * margin);
        int bpp = pixelBitDepthLog2(type);
        for (int i = 0; i < 1000; ++i) {
            int x = rng.range(-margin, W + 5), y = rng.range(-margin, H + 5);
            uint32_t w = uint32_t(rng.range(0, margin)), h = uint32_t(rng.range(0, margin));
            int color = rng.range(1, 255);
            fillRect(small, color, x, y, w, h);
            fillRect(big, color, x + margin, y + margin, w, h);
            for (int row = 0; row < H; ++row)
                ASSERT_EQ(0,
                          std::memcmp(small->pixels + row * small->rowBytes,
                                      big->pixels + (row + margin) * big->rowBytes + margin * bpp,
                                      size_t(W) * bpp));
        }
        // Sizes and positions at the 32-bit limits.
        fillRect(small, 3, INT32_MIN, INT32_MIN, UINT32_MAX, UINT32_MAX);
        fillRect(small, 3, INT32_MAX, 0, UINT32_MAX, 1);
        for (int b = W * bpp; b < small->rowBytes; ++b)
            EXPECT_EQ(small->pixels[b], 0) << "padding written";
    }
}

} // namespace
