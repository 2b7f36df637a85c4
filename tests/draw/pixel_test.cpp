// drawPixel, readPixel and readPixelRGB: layouts, table searches, bounds.
#include "bitmap/bitmap.h"
#include "support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

uint16_t load16le(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

// A current palette for the screen tables; restored to none on exit.
struct CurrentPalette {
    uint32_t entries[256] = {};
    void apply() { paletteSetCurrent(entries, 0, 256); }
    ~CurrentPalette() { paletteCurrent = nullptr; }
};

TEST(Pixels, EightBitLayoutWritesTheLowByteAtRowBytesSteps) {
    for (uint8_t type : {PIXEL_PAL8, PIXEL_CMAP4, PIXEL_ALPHA8, PIXEL_RGB888}) {
        bitmap_tag* bm = swtest::randomBitmap(type, 5, 4, 1);
        drawPixel(bm, 0x1C5, 3, 2);
        EXPECT_EQ(bm->pixels[2 * bm->rowBytes + 3], 0xC5) << int(type);
        EXPECT_EQ(readPixel(bm, 3, 2), 0xC5) << int(type);
        bitmapFree(bm);
    }
}

TEST(Pixels, SixteenBitLayoutsGoThroughTheScreenTablesBothWays) {
    CurrentPalette pal;
    pal.entries[3] = 0xFF102030;
    pal.entries[7] = 0xFF102030; // same colour as 3
    pal.entries[8] = 0xFFF0F0F0;
    pal.apply();
    for (uint8_t type : {PIXEL_RGB565, PIXEL_ARGB1555}) {
        const uint16_t* table = type == PIXEL_RGB565 ? screenPalette565 : screenPalette555;
        bitmap_tag* bm = swtest::randomBitmap(type, 4, 3, 2);
        drawPixel(bm, 8, 1, 2);
        EXPECT_EQ(load16le(bm->pixels + 2 * bm->rowBytes + 2), table[8]);
        EXPECT_EQ(readPixel(bm, 1, 2), 8);
        drawPixel(bm, 7, 1, 2);
        EXPECT_EQ(readPixel(bm, 1, 2), 3) << "first index with that pixel wins";
        bitmapFree(bm);
    }
}

TEST(Pixels, ReadPixelOfAnUnknownSixteenBitValueIsZero) {
    CurrentPalette pal;
    pal.apply();
    bitmap_tag* bm = swtest::randomBitmap(PIXEL_ARGB1555, 2, 2, 3);
    bm->pixels[0] = 0x34;
    bm->pixels[1] = 0x92; // bit 15 set: no table entry has it
    EXPECT_EQ(readPixel(bm, 0, 0), 0);
    bitmapFree(bm);
}

TEST(Pixels, ReadPixelRGBKeepsTheTopBitsOfSixteenBitFields) {
    struct Case {
        uint8_t type;
        uint16_t v;
        int r, g, b;
    } cases[] = {
        {PIXEL_RGB565, 0xFFFF, 248, 252, 248},   {PIXEL_RGB565, 0x0821, 8, 4, 8},
        {PIXEL_ARGB1555, 0xFFFF, 248, 248, 248}, {PIXEL_ARGB1555, 0x0421, 8, 8, 8},
        {PIXEL_ARGB1555, 0x8000, 0, 0, 0},
    };
    for (const Case& c : cases) {
        bitmap_tag* bm = swtest::randomBitmap(c.type, 3, 3, 4);
        bm->pixels[bm->rowBytes + 4] = uint8_t(c.v);
        bm->pixels[bm->rowBytes + 5] = uint8_t(c.v >> 8);
        int32_t r = -1, g = -1, b = -1;
        readPixelRGB(bm, 2, 1, &r, &g, &b);
        EXPECT_EQ(r, c.r) << std::hex << c.v;
        EXPECT_EQ(g, c.g) << std::hex << c.v;
        EXPECT_EQ(b, c.b) << std::hex << c.v;
        bitmapFree(bm);
    }
}

TEST(Pixels, ReadPixelRGBOfIndexedTypesUsesTheirPalette) {
    bitmap_tag* bm = nullptr;
    ASSERT_TRUE(bitmapAlloc(&bm, PIXEL_PAL8, 2, 2, 1));
    uint32_t* palette = static_cast<uint32_t*>(bm->map);
    palette[9] = 0xFF123456;
    drawPixel(bm, 9, 1, 1);
    int32_t r, g, b;
    readPixelRGB(bm, 1, 1, &r, &g, &b);
    EXPECT_EQ(r, 0x12);
    EXPECT_EQ(g, 0x34);
    EXPECT_EQ(b, 0x56);
    bitmapFree(bm);
}

TEST(Pixels, OutsideTheBitmapNothingIsWrittenAndReadsGiveZero) {
    for (uint8_t type : {PIXEL_PAL8, PIXEL_RGB565}) {
        bitmap_tag* bm = swtest::randomBitmap(type, 4, 3, 5);
        std::vector<uint8_t> before(bm->pixels, bm->pixels + 4 * bm->rowBytes + 1);
        const int points[][2] = {{-1, 0}, {0, -1}, {4, 0}, {0, 3}, {INT32_MIN, 0}, {0, INT32_MAX}};
        for (auto& p : points) {
            drawPixel(bm, 1, p[0], p[1]);
            EXPECT_EQ(readPixel(bm, p[0], p[1]), 0);
            int32_t r = 1, g = 1, b = 1;
            readPixelRGB(bm, p[0], p[1], &r, &g, &b);
            EXPECT_EQ(r | g | b, 0);
        }
        EXPECT_EQ(before, std::vector<uint8_t>(bm->pixels, bm->pixels + 4 * bm->rowBytes + 1));
        bitmap_tag noPixels = *bm;
        noPixels.pixels = nullptr;
        drawPixel(&noPixels, 1, 0, 0);
        EXPECT_EQ(readPixel(&noPixels, 0, 0), 0);
        drawPixel(nullptr, 1, 0, 0);
        EXPECT_EQ(readPixel(nullptr, 0, 0), 0);
        bitmapFree(bm);
    }
}

} // namespace
