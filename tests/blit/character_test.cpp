// bitmapCopyCharacter: a per-pixel reference of the mix and blend rules
// over random glyphs, patterns, font weights (0 and 255 among them) and
// positions, and the records it refuses.
#include "bitmap/bitmap.h"
#include "support.h"

#include <gtest/gtest.h>

#include <vector>

using swtest::bufferOf;
using swtest::pixelAt;
using swtest::setPixelAt;

namespace {

// From the rules: pattern channels (top bits of each field, ones below),
// c = (font * W + pattern * (255 - W)) / 255; coverage 240 packs c, other
// coverage blends c over the widened destination by (c a + d (255 - a)) >> 8.
uint16_t referenceCharacterPixel(uint32_t font, uint32_t p, uint32_t d, uint32_t a) {
    if (a == 0) return uint16_t(d);
    auto widen = [](uint32_t v, int k) {
        return k == 0 ? (v >> 11) << 3 | 7 : k == 1 ? ((v >> 5) & 63) << 2 | 3 : (v & 31) << 3 | 7;
    };
    uint32_t W = font >> 24, c[3];
    for (int k = 0; k < 3; ++k) {
        c[k] = (((font >> (16 - 8 * k)) & 255) * W + widen(p, k) * (255 - W)) / 255;
        if (a != 240) c[k] = (c[k] * a + widen(d, k) * (255 - a)) >> 8;
    }
    return uint16_t((c[0] >> 3) << 11 | (c[1] >> 2) << 5 | c[2] >> 3);
}

TEST(CopyCharacter, MatchesTheReferenceWithClipping) {
    swtest::Rng rng(12);
    for (int round = 0; round < 800; ++round) {
        int gw = rng.range(1, 12), gh = rng.range(1, 10), dw = rng.range(1, 20),
            dh = rng.range(1, 14);
        swtest::Owned glyph = swtest::randomBitmap(PIXEL_ALPHA8, gw, gh, rng.next());
        for (int j = 0; j < gh; ++j)
            for (int i = 0; i < gw; ++i)
                if (int pick = rng.range(0, 3); pick < 2) setPixelAt(glyph, i, j, pick ? 240 : 0);
        swtest::Owned pattern = swtest::randomBitmap(PIXEL_RGB565, gw + rng.range(0, 3),
                                                     gh + rng.range(0, 3), rng.next());
        swtest::Owned dst = swtest::randomBitmap(PIXEL_RGB565, dw, dh, rng.next());
        std::vector<uint8_t> expected = bufferOf(dst);
        bitmap_tag view = *dst;
        view.pixels = expected.data();
        uint32_t font = rng.next();
        if (round % 4 < 2) // weight 255 (the font colour alone) or 0 (the pattern alone)
            font = round % 4 ? font | 0xFF000000u : font & 0xFFFFFF;
        int x = rng.range(-gw - 1, dw + 1), y = rng.range(-gh - 1, dh + 1);
        for (int j = std::max(0, -y); j < std::min(gh, dh - y); ++j)
            for (int i = std::max(0, -x); i < std::min(gw, dw - x); ++i)
                setPixelAt(&view, x + i, y + j,
                           referenceCharacterPixel(font, pixelAt(pattern, i, j),
                                                   pixelAt(&view, x + i, y + j),
                                                   pixelAt(glyph, i, j)));
        bitmapSetFontColor(font);
        bitmapCopyCharacter(dst, x, y, pattern, glyph);
        ASSERT_EQ(bufferOf(dst), expected) << "round " << round;
    }
    bitmapSetFontColor(0);
}

TEST(CopyCharacter, RefusesPatternsSmallerThanTheGlyphAndShortRows) {
    swtest::Owned glyph = swtest::randomBitmap(PIXEL_ALPHA8, 4, 4, 1);
    swtest::Owned small = swtest::randomBitmap(PIXEL_RGB565, 3, 4, 2);
    swtest::Owned dst = swtest::randomBitmap(PIXEL_RGB565, 8, 8, 3);
    swtest::Owned dst8 = swtest::randomBitmap(PIXEL_PAL8, 5, 8, 3); // rows too short for words
    swtest::Owned pattern = swtest::randomBitmap(PIXEL_RGB565, 4, 4, 2);
    std::vector<uint8_t> before = bufferOf(dst), before8 = bufferOf(dst8);
    bitmapCopyCharacter(dst, 0, 0, small, glyph);
    bitmapCopyCharacter(dst8, 0, 0, pattern, glyph);
    bitmapCopyCharacter(nullptr, 0, 0, pattern, glyph);
    bitmapCopyCharacter(dst, 0, 0, nullptr, glyph);
    bitmapCopyCharacter(dst, 0, 0, pattern, nullptr);
    bitmapCopyCharacter(dst, INT32_MIN, INT32_MAX, pattern, glyph);
    EXPECT_EQ(before, bufferOf(dst));
    EXPECT_EQ(before8, bufferOf(dst8));
}

} // namespace
