// drawDebugText: glyph placement, clipping, transparency and 16-bit
// layouts.
#include "bitmap/bitmap.h"
#include "draw/draw.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using namespace swtest;

// Glyphs advance eight pixels (bytes above 127 are glyphs too); set bits
// take the colour (the screen table's pixel on 16-bit layouts), clear ones
// 0, or the background when transparent. No text, and text at positions
// near the 32-bit limits, draw nothing.
TEST(DebugText, GlyphsOnEveryLayout) {
    swtest::DrawScene scene(12);
    for (uint8_t type : {PIXEL_PAL8, PIXEL_RGB565, PIXEL_ARGB1555})
        for (uint8_t transparent : {0, 1}) {
            const uint16_t* table = screenTableOf(type);
            const uint32_t background = table ? 0xEEEE : 0xEE;
            swtest::Owned bm = filledBitmap(type, 19, 10, 0xEE);
            drawDebugText(bm, 3, 2, 1, "0\xdb", transparent);
            for (int row = 0; row < 10; ++row)
                for (int col = 0; col < 19; ++col) {
                    int gx = col - 2, gy = row - 1;
                    uint32_t want = gx < 0 || gx >= 16 || gy < 0 || gy >= 8 ? background
                                    : debugFont[gx < 8 ? '0' : 0xdb][gy] >> gx % 8 & 1
                                        ? (table ? table[3] : 3)
                                    : transparent ? background
                                                  : 0;
                    EXPECT_EQ(swtest::pixelAt(bm, col, row), want) << col << "," << row;
                }
            std::vector<uint8_t> before = bufferOf(bm);
            drawDebugText(bm, 3, 0, 0, "", 0);
            drawDebugText(bm, 3, 0, 0, nullptr, 0);
            drawDebugText(bm, 5, INT32_MAX - 3, 0, "long text past the end", 0);
            drawDebugText(bm, 5, INT32_MIN, 0, "long text before the start", 0);
            drawDebugText(bm, 5, 0, INT32_MIN, "above", 0);
            drawDebugText(bm, 5, 0, INT32_MAX, "below", 0);
            EXPECT_EQ(before, bufferOf(bm));
        }
}

// Text at random positions around a small bitmap equals the matching
// window of the same text on a bitmap that holds it whole.
TEST(DebugText, ClippingEqualsCroppingTheWholeText) {
    const int W = 21, H = 11, margin = 40;
    Rng rng(3);
    for (int i = 0; i < 400; ++i) {
        swtest::Owned small = filledBitmap(PIXEL_PAL8, W, H, 0xEE);
        swtest::Owned big = filledBitmap(PIXEL_PAL8, W + 2 * margin, H + 2 * margin, 0xEE);
        int x = rng.range(-margin, W), y = rng.range(-12, H);
        char text[5] = {};
        std::generate_n(text, 4, [&] { return char(rng.range(1, 255)); });
        uint8_t transparent = uint8_t(rng.range(0, 1));
        drawDebugText(small, 5, x, y, text, transparent);
        drawDebugText(big, 5, x + margin, y + margin, text, transparent);
        for (int row = 0; row < H; ++row)
            ASSERT_EQ(0, std::memcmp(small->pixels + row * small->rowBytes,
                                     big->pixels + (row + margin) * big->rowBytes + margin, W));
        ASSERT_TRUE(outsideHolds(small, 0xEE)) << "outside written";
    }
}

} // namespace
