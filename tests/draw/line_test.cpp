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
    int64_t ax = std::abs(x1 - x0), ay = std::abs(y1 - y0), x = x0, y = y0;
    int64_t A = std::max(ax, ay), B = std::min(ax, ay), d = 2 * B - A;
    Points out{{x, y}};
    for (int64_t i = 0; i < A; ++i) {
        bool minor = d > 0;
        d += 2 * B - (minor ? 2 * A : 0);
        x += (ax >= ay || minor) * (x1 < x0 ? -1 : 1);
        y += (ax < ay || minor) * (y1 < y0 ? -1 : 1);
        out.insert({x, y});
    }
    return out;
}

// Lines with end points inside and around a small bitmap: exactly the
// pixels of the reference walk that fall inside are set (on 5:6:5 each is
// the colour's table pixel, read back as its index), the others stay 0, and
// nothing outside the bitmap changes. aaLine draws the integer parts
// (toward minus infinity) of its 16.16 ends.
TEST(Lines, DrawnPixelsAreTheReferenceWalkInsideTheBitmap) {
    swtest::DrawScene scene(8);
    const int W = 23, H = 17;
    Rng rng(23);
    for (int run = 0; run < 4; ++run) {
        swtest::RoutineChoice routines(run & 1);
        const uint8_t type = run & 2 ? PIXEL_RGB565 : PIXEL_PAL8;
        swtest::Owned bm = swtest::filledBitmap(type, W, H, 0);
        for (int i = 0; i < 3000; ++i) {
            const int m = i % 2 ? 120 : 0; // every other line wholly inside
            int x0 = rng.range(-m, W + m - 1), y0 = rng.range(-m, H + m - 1);
            int x1 = rng.range(-m, W + m - 1), y1 = rng.range(-m, H + m - 1);
            if (i % 5 == 0) y1 = y0;
            if (i % 7 == 0) x1 = x0;
            if (i == 0) x0 = -3000, y0 = 0, x1 = 3000, y1 = 11; // a long stretch of a far line
            std::memset(bm->pixels, 0, size_t(H + 1) * bm->rowBytes + 1);
            if (i % 4 < 2)
                drawLine(bm, 1 + 256, x0, y0, x1, y1); // only the low 8 bits count
            else
                aaLine(bm, 1, x0 * 0x10000 + i, y0 * 0x10000 + 0xFFFF, x1 * 0x10000, y1 * 0x10000);
            const Points expected = referenceLine(x0, y0, x1, y1);
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x)
                    ASSERT_EQ(readPixel(bm, x, y), int(expected.count({x, y})))
                        << x << "," << y << " of " << x0 << "," << y0 << " " << x1 << "," << y1;
            ASSERT_TRUE(swtest::outsideHolds(bm, 0)) << "padding written";
        }
    }
    // Ends near the limits of 32-bit coordinates write nothing outside.
    swtest::Owned bm = swtest::filledBitmap(PIXEL_PAL8, W, H, 0);
    const int32_t far[] = {INT32_MIN, INT32_MIN + 1, -1000000007, 1000000009, INT32_MAX};
    for (int32_t a : far)
        for (int32_t b : far) {
            drawLine(bm, 5, a, 3, b, 9);
            drawLine(bm, 5, 3, a, 9, b);
            drawLine(bm, 5, a, b, b, a);
        }
    EXPECT_TRUE(swtest::outsideHolds(bm, 0)) << "outside written";
}

// Rectangles around small bitmaps, sizes at the 32-bit limits among them:
// exactly the pixels inside both change, to the table pixel of the
// colour's low 8 bits on the screen types; both fills.
TEST(FillRect, WritesExactlyTheClippedRectangle) {
    swtest::DrawScene scene(5);
    Rng rng(31);
    for (int run = 0; run < 6; ++run) {
        swtest::RoutineChoice routines(run & 1);
        const uint8_t type = run < 2 ? PIXEL_PAL8 : run < 4 ? PIXEL_RGB565 : PIXEL_ARGB1555;
        const uint16_t* table = screenTableOf(type);
        for (int i = 0; i < 400; ++i) {
            int w = rng.range(1, 13), h = rng.range(1, 9), color = rng.range(0, 1023);
            int64_t x = rng.range(-20, w + 2), y = rng.range(-20, h + 2);
            int64_t rw = rng.range(0, 30), rh = rng.range(0, 30);
            if (i < 2) x = i ? INT32_MAX : INT32_MIN, y = INT32_MIN, rw = rh = UINT32_MAX;
            swtest::Owned bm = swtest::filledBitmap(type, w, h, 0);
            fillRect(bm, color, int32_t(x), int32_t(y), uint32_t(rw), uint32_t(rh));
            std::vector<uint8_t> bytes(swtest::bufferOf(bm).size(), 0);
            bitmap_tag expected = swtest::shape(type, w, h, bm->rowBytes, bytes.data());
            for (int64_t py = std::max<int64_t>(y, 0); py < std::min<int64_t>(y + rh, h); ++py)
                for (int64_t px = std::max<int64_t>(x, 0); px < std::min<int64_t>(x + rw, w); ++px)
                    swtest::setPixelAt(&expected, int32_t(px), int32_t(py),
                                       table ? table[color & 255] : color & 255);
            ASSERT_EQ(swtest::bufferOf(bm), bytes) << int(type) << " " << w << "x" << h << " " << x
                                                   << "," << y << " " << rw << "x" << rh;
        }
    }
}

} // namespace
