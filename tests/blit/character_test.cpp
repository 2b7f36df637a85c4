// bitmapCopyCharacter: the documented values and a per-pixel reference of
// the mix and blend rules over random glyphs, patterns and positions.
#include "bitmap/bitmap.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using swtest::Rng;

namespace {

std::vector<uint8_t> buffer(const bitmap_tag* bm) {
    return std::vector<uint8_t>(bm->pixels, bm->pixels + size_t(bm->height + 1) * bm->rowBytes + 1);
}

uint16_t word(const bitmap_tag* bm, int x, int y) {
    const uint8_t* p = bm->pixels + y * bm->rowBytes + 2 * x;
    return uint16_t(p[0] | p[1] << 8);
}

void setWord(bitmap_tag* bm, int x, int y, uint16_t v) {
    uint8_t* p = bm->pixels + y * bm->rowBytes + 2 * x;
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

// From the rules: pattern channels (top bits of each field, ones below),
// c = (font * W + pattern * (255 - W)) / 255; coverage 240 packs c, other
// coverage blends c over the widened destination by (c a + d (255 - a)) >> 8.
uint16_t referenceCharacterPixel(uint32_t font, uint16_t p, uint16_t d, uint32_t a) {
    if (a == 0) return d;
    uint32_t W = font >> 24;
    uint32_t pc[3] = {uint32_t((p >> 11) << 3 | 7), uint32_t(((p >> 5) & 63) << 2 | 3),
                      uint32_t((p & 31) << 3 | 7)};
    uint32_t fc[3] = {(font >> 16) & 255, (font >> 8) & 255, font & 255};
    uint32_t c[3];
    for (int k = 0; k < 3; ++k)
        c[k] = (fc[k] * W + pc[k] * (255 - W)) / 255;
    if (a != 240) {
        uint32_t dc[3] = {uint32_t((d >> 11) << 3 | 7), uint32_t(((d >> 5) & 63) << 2 | 3),
                          uint32_t((d & 31) << 3 | 7)};
        for (int k = 0; k < 3; ++k)
            c[k] = (c[k] * a + dc[k] * (255 - a)) >> 8;
    }
    return uint16_t((c[0] >> 3) << 11 | (c[1] >> 2) << 5 | c[2] >> 3);
}

TEST(CopyCharacter, DocumentedValues) {
    bitmap_tag *glyph = nullptr, *pattern = nullptr, *dst = nullptr;
    ASSERT_TRUE(bitmapAlloc(&glyph, PIXEL_ALPHA8, 3, 1, 0));
    ASSERT_TRUE(bitmapAlloc(&pattern, PIXEL_RGB565, 3, 1, 0));
    ASSERT_TRUE(bitmapAlloc(&dst, PIXEL_RGB565, 3, 1, 0));
    const uint8_t coverage[3] = {240, 240, 0};
    std::memcpy(glyph->pixels, coverage, 3);
    setWord(pattern, 0, 0, 0x0000);
    setWord(pattern, 1, 0, 0x1234);
    setWord(pattern, 2, 0, 0xFFFF);
    for (int x = 0; x < 3; ++x)
        setWord(dst, x, 0, 0x5555);
    bitmapSetFontColor(0xFFFF0000); // weight 255: the font colour alone
    bitmapCopyCharacter(dst, 0, 0, pattern, glyph);
    EXPECT_EQ(word(dst, 0, 0), 0xF800);
    EXPECT_EQ(word(dst, 1, 0), 0xF800);
    EXPECT_EQ(word(dst, 2, 0), 0x5555) << "coverage 0 leaves the destination";
    bitmapSetFontColor(0x00FF0000); // weight 0: the widened pattern alone
    bitmapCopyCharacter(dst, 0, 0, pattern, glyph);
    EXPECT_EQ(word(dst, 0, 0), 0x0000);
    EXPECT_EQ(word(dst, 1, 0), 0x1234);
    bitmapSetFontColor(0);
    for (bitmap_tag* bm : {glyph, pattern, dst})
        bitmapFree(bm);
}

TEST(CopyCharacter, MatchesTheReferenceWithClipping) {
    Rng rng(12);
    for (int round = 0; round < 800; ++round) {
        int gw = rng.range(1, 12), gh = rng.range(1, 10);
        int dw = rng.range(1, 20), dh = rng.range(1, 14);
        bitmap_tag* glyph = swtest::randomBitmap(PIXEL_ALPHA8, gw, gh, rng.next());
        for (int j = 0; j < gh; ++j)
            for (int i = 0; i < gw; ++i) {
                int pick = rng.range(0, 3);
                if (pick < 2) glyph->pixels[j * glyph->rowBytes + i] = pick ? 240 : 0;
            }
        bitmap_tag* pattern = swtest::randomBitmap(PIXEL_RGB565, gw + rng.range(0, 3),
                                                   gh + rng.range(0, 3), rng.next());
        bitmap_tag* dst = swtest::randomBitmap(PIXEL_RGB565, dw, dh, rng.next());
        std::vector<uint8_t> expected = buffer(dst);
        bitmap_tag view = *dst;
        view.pixels = expected.data();
        uint32_t font = rng.next();
        int x = rng.range(-gw - 1, dw + 1), y = rng.range(-gh - 1, dh + 1);
        for (int j = 0; j < gh; ++j)
            for (int i = 0; i < gw; ++i) {
                int X = x + i, Y = y + j;
                if (X < 0 || Y < 0 || X >= dw || Y >= dh) continue;
                setWord(&view, X, Y,
                        referenceCharacterPixel(font, word(pattern, i, j), word(&view, X, Y),
                                                glyph->pixels[j * glyph->rowBytes + i]));
            }
        bitmapSetFontColor(font);
        bitmapCopyCharacter(dst, x, y, pattern, glyph);
        ASSERT_EQ(buffer(dst), expected) << "round " << round;
        for (bitmap_tag* bm : {glyph, pattern, dst})
            bitmapFree(bm);
    }
    bitmapSetFontColor(0);
}

TEST(CopyCharacter, RefusesPatternsSmallerThanTheGlyphAndShortRows) {
    bitmap_tag* glyph = swtest::randomBitmap(PIXEL_ALPHA8, 4, 4, 1);
    bitmap_tag* small = swtest::randomBitmap(PIXEL_RGB565, 3, 4, 2);
    bitmap_tag* dst = swtest::randomBitmap(PIXEL_RGB565, 8, 8, 3);
    bitmap_tag* dst8 = swtest::randomBitmap(PIXEL_PAL8, 5, 8, 3); // rows too short for words
    bitmap_tag* pattern = swtest::randomBitmap(PIXEL_RGB565, 4, 4, 2);
    std::vector<uint8_t> before = buffer(dst), before8 = buffer(dst8);
    bitmapCopyCharacter(dst, 0, 0, small, glyph);
    bitmapCopyCharacter(dst8, 0, 0, pattern, glyph);
    bitmapCopyCharacter(nullptr, 0, 0, pattern, glyph);
    bitmapCopyCharacter(dst, 0, 0, nullptr, glyph);
    bitmapCopyCharacter(dst, 0, 0, pattern, nullptr);
    bitmapCopyCharacter(dst, INT32_MIN, INT32_MAX, pattern, glyph);
    EXPECT_EQ(before, buffer(dst));
    EXPECT_EQ(before8, buffer(dst8));
    for (bitmap_tag* bm : {glyph, small, dst, dst8, pattern})
        bitmapFree(bm);
}

} // namespace
