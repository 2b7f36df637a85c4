// drawPixel, readPixel and readPixelRGB: layouts, table searches, bounds.
#include "bitmap/bitmap.h"
#include "support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// One byte per pixel, or the screen table's pixel on the 16-bit layouts,
// read back as the first index with that pixel (and as the colour of the
// current palette's entry); outside the bitmap (or
// without one) nothing is written and reads give 0.
TEST(Pixels, WriteAndReadBackOnEveryLayout) {
    swtest::SelectionGuard guard;
    uint32_t palette[256] = {};
    palette[8] = 0xFFF0F0F0;
    paletteSetCurrent(palette, 0, 256);
    const int outside[][2] = {{-1, 0}, {0, -1}, {5, 0}, {0, 4}, {INT32_MIN, 0}, {0, INT32_MAX}};
    for (uint8_t type :
         {PIXEL_PAL8, PIXEL_CMAP4, PIXEL_ALPHA8, PIXEL_RGB888, PIXEL_RGB565, PIXEL_ARGB1555}) {
        const uint16_t* table = screenTableOf(type);
        swtest::Owned bm = swtest::randomBitmap(type, 5, 4, 1);
        std::vector<uint8_t> before = swtest::bufferOf(bm);
        for (auto& p : outside) {
            drawPixel(bm, 1, p[0], p[1]);
            int32_t r = 1, g = 1, b = 1;
            readPixelRGB(bm, p[0], p[1], &r, &g, &b);
            EXPECT_EQ(readPixel(bm, p[0], p[1]) | r | g | b, 0) << p[0] << "," << p[1];
        }
        bitmap_tag noPixels{type, 5, 4, bm->rowBytes, nullptr, nullptr};
        drawPixel(&noPixels, 1, 0, 0);
        drawPixel(nullptr, 1, 0, 0);
        EXPECT_EQ(readPixel(&noPixels, 0, 0) | readPixel(nullptr, 0, 0), 0);
        EXPECT_EQ(before, swtest::bufferOf(bm)) << int(type);
        drawPixel(bm, 0x108, 3, 2); // only the low 8 bits count
        EXPECT_EQ(table ? swtest::pixelAt(bm, 3, 2) : bm->pixels[2 * bm->rowBytes + 3],
                  table ? table[8] : 8u)
            << int(type);
        EXPECT_EQ(readPixel(bm, 3, 2), 8) << int(type);
        if (table || type == PIXEL_PAL8) { // screen types: the fields' top bits
            int32_t rgb[3] = {};
            readPixelRGB(bm, 3, 2, &rgb[0], &rgb[1], &rgb[2]);
            EXPECT_EQ(rgb[0] << 16 | rgb[1] << 8 | rgb[2], 0xF0F0F0) << int(type);
        }
        if (!table) continue;
        drawPixel(bm, 5, 1, 2);
        EXPECT_EQ(readPixel(bm, 1, 2), 0) << "entries 0 and 5 are one colour; 0 wins";
        swtest::setPixelAt(bm, 0, 0, 0x9234); // in no table: 5:5:5 entries never set bit 15
        EXPECT_EQ(readPixel(bm, 0, 0), 0);
    }
}

} // namespace
