// The debug font and drawDebugText: font properties,
// clipping, transparency and 16-bit layouts.
#include "bitmap/bitmap.h"
#include "draw/draw.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

using swtest::Rng;

namespace {

using swtest::bufferOf;
using swtest::filledBitmap;

// Whether glyph c has pixel (col, row) set, from the font rows.
bool glyphBit(int c, int col, int row) {
    return (debugFont[c][row] >> col) & 1;
}

// Properties of a faithful code page 437 rendering: only 0, 32 and 255
// are blank; the printable ASCII glyphs are pairwise different; letters,
// digits and punctuation leave the rightmost column free; the half blocks
// are exact halves; box-drawing glyphs that join to the right or downward
// reach the cell edge.
TEST(DebugFont, GlyphSetProperties) {
    for (int c = 0; c < 256; ++c) {
        bool blank = true;
        for (int r = 0; r < 8; ++r)
            blank &= debugFont[c][r] == 0;
        EXPECT_EQ(blank, c == 0 || c == 32 || c == 255) << "glyph " << c;
    }
    std::set<std::vector<uint8_t>> seen;
    for (int c = 33; c < 127; ++c) {
        EXPECT_TRUE(seen.insert(std::vector<uint8_t>(debugFont[c], debugFont[c] + 8)).second)
            << "glyph " << c << " repeats another";
        for (int r = 0; r < 8 && c != 95; ++r) // the underscore runs the whole cell
            EXPECT_FALSE(glyphBit(c, 7, r)) << "glyph " << c << " row " << r;
    }
    for (int r = 0; r < 8; ++r) {
        EXPECT_EQ(debugFont[220][r], r < 4 ? 0x00 : 0xFF);
        EXPECT_EQ(debugFont[223][r], r < 4 ? 0xFF : 0x00);
        EXPECT_EQ(debugFont[221][r], 0x0F);
        EXPECT_EQ(debugFont[222][r], 0xF0);
    }
    // ─ (196) joins left and right, │ (179) top and bottom, ┼ (197) all.
    for (int c : {196, 197})
        EXPECT_TRUE(glyphBit(c, 0, 4) && glyphBit(c, 7, 4)) << c;
    for (int c : {179, 197})
        EXPECT_TRUE(glyphBit(c, 3, 0) && glyphBit(c, 3, 7)) << c;
    // ┌ (218) and ┘ (217) meet the edges only on their own sides.
    EXPECT_TRUE(glyphBit(218, 7, 4) && glyphBit(218, 3, 7));
    EXPECT_FALSE(glyphBit(218, 0, 4) || glyphBit(218, 3, 0));
    EXPECT_TRUE(glyphBit(217, 0, 4) && glyphBit(217, 3, 0));
    EXPECT_FALSE(glyphBit(217, 7, 4) || glyphBit(217, 3, 7));
}

TEST(DebugText, TransparentLeavesBackgroundPixels) {
    swtest::Owned bm = filledBitmap(PIXEL_PAL8, 16, 8, 0xEE);
    std::vector<uint8_t> before = bufferOf(bm);
    drawDebugText(bm, 9, 4, 0, " ", 1);
    EXPECT_EQ(before, bufferOf(bm));
    drawDebugText(bm, 9, 4, 0, "x", 1);
    for (int row = 0; row < 8; ++row)
        for (int col = 0; col < 16; ++col) {
            bool set = col >= 4 && col < 12 && glyphBit('x', col - 4, row);
            EXPECT_EQ(bm->pixels[row * bm->rowBytes + col], set ? 9 : 0xEE);
        }
    drawDebugText(bm, 9, 4, 0, " ", 0);
    for (int row = 0; row < 8; ++row)
        for (int col = 4; col < 12; ++col)
            EXPECT_EQ(bm->pixels[row * bm->rowBytes + col], 0) << "space clears its cell";
}

// Glyphs advance eight pixels (bytes above 127 are glyphs too); 16-bit
// layouts take the screen table's pixel, 0 where a glyph is clear.
TEST(DebugText, GlyphsAdvanceEightPixelsOnEveryLayout) {
    swtest::DrawScene scene(12);
    for (uint8_t type : {PIXEL_PAL8, PIXEL_RGB565, PIXEL_ARGB1555}) {
        const uint16_t* table = screenTableOf(type);
        swtest::Owned bm = filledBitmap(type, 19, 10, 0xEE);
        drawDebugText(bm, 3, 2, 1, "0\xdb", 0);
        for (int row = 0; row < 10; ++row)
            for (int col = 0; col < 19; ++col) {
                int gx = col - 2, gy = row - 1;
                uint32_t want = gx < 0 || gx >= 16 || gy < 0 || gy >= 8 ? (table ? 0xEEEE : 0xEE)
                                : !glyphBit(gx < 8 ? '0' : 0xdb, gx % 8, gy) ? 0
                                : table ? table[3]
                                        : 3;
                EXPECT_EQ(swtest::pixelAt(bm, col, row), want) << col << "," << row;
            }
        std::vector<uint8_t> before = bufferOf(bm);
        drawDebugText(bm, 3, 0, 0, "", 0);
        drawDebugText(bm, 3, 0, 0, nullptr, 0);
        EXPECT_EQ(before, bufferOf(bm));
    }
}

// Text at random positions around a small bitmap equals the matching
// window of the same text on a bitmap that holds it whole; positions near
// the 32-bit limits draw nothing and do not overflow.
TEST(DebugText, ClippingEqualsCroppingTheWholeText) {
    const int W = 21, H = 11, margin = 40;
    Rng rng(3);
    for (int i = 0; i < 400; ++i) {
        swtest::Owned small = filledBitmap(PIXEL_PAL8, W, H, 0xEE);
        swtest::Owned big = filledBitmap(PIXEL_PAL8, W + 2 * margin, H + 2 * margin, 0xEE);
        int x = rng.range(-margin, W), y = rng.range(-12, H);
        char text[5];
        for (int k = 0; k < 4; ++k)
            text[k] = char(rng.range(1, 255));
        text[4] = 0;
        uint8_t transparent = uint8_t(rng.range(0, 1));
        drawDebugText(small, 5, x, y, text, transparent);
        drawDebugText(big, 5, x + margin, y + margin, text, transparent);
        for (int row = 0; row < H; ++row)
            ASSERT_EQ(0, std::memcmp(small->pixels + row * small->rowBytes,
                                     big->pixels + (row + margin) * big->rowBytes + margin, W));
        for (int row = 0; row <= H; ++row)
            for (int b = (row < H ? W : 0); b < small->rowBytes; ++b)
                ASSERT_EQ(small->pixels[row * small->rowBytes + b], 0xEE) << "outside written";
    }
    swtest::Owned bm = filledBitmap(PIXEL_PAL8, 8, 8, 0xEE);
    std::vector<uint8_t> before = bufferOf(bm);
    drawDebugText(bm, 5, INT32_MAX - 3, 0, "long text past the end", 0);
    drawDebugText(bm, 5, INT32_MIN, 0, "long text before the start", 0);
    drawDebugText(bm, 5, 0, INT32_MIN, "above", 0);
    drawDebugText(bm, 5, 0, INT32_MAX, "below", 0);
    EXPECT_EQ(before, bufferOf(bm));
}

} // namespace
