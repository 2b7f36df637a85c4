// bitmapCopy, bitmapCopyCharacter and bitmapFill: every copy type pair
// (with the plain and the fast routines, at every alignment) and the
// character copy against per-pixel references written from the pixel
// rules, exact fills, and calls that copy or fill nothing.
#include "bitmap/bitmap.h"
#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <optional>
#include <vector>

using namespace swtest;

namespace {

using Rgb = std::array<uint32_t, 3>;

// Channel k (red, green, blue) of a 16-bit pixel: its field in the top
// bits of a byte, ones below.
uint32_t channel(bool is565, uint32_t d, int k) {
    const int bits = k == 1 && is565 ? 6 : 5, shift = k == 2 ? 0 : k == 1 ? 5 : is565 ? 11 : 10;
    return ((d >> shift) & ((1u << bits) - 1)) << (8 - bits) | ((1u << (8 - bits)) - 1);
}

// The top bits of each channel; bit 15 set on 5:5:5.
uint32_t pack(bool to565, const Rgb& c) {
    return to565 ? (c[0] >> 3) << 11 | (c[1] >> 2) << 5 | c[2] >> 3
                 : 0x8000 | (c[0] >> 3) << 10 | (c[1] >> 3) << 5 | c[2] >> 3;
}

// Colour c with weight a over pixel d: (c a + d (255 - a)) >> 8 a channel.
uint32_t blend(bool to565, uint32_t d, uint32_t a, Rgb c) {
    for (int k = 0; k < 3; ++k)
        c[k] = (c[k] * a + channel(to565, d, k) * (255 - a)) >> 8;
    return pack(to565, c);
}

// The destination pixel after copying source pixel v of type st over d
// of type dt; nullopt when the pair has no routine.
std::optional<uint32_t> expectedPixel(int st, int dt, uint32_t v, uint32_t d, const uint8_t* cmap) {
    const bool toIndex4 = isIndexed4(dt), toIndex8 = isIndexed8(dt);
    const bool to565 = dt == PIXEL_RGB565, to16 = to565 || dt == PIXEL_ARGB1555;
    if (isIndexed4(st) || isIndexed8(st)) {
        if (!(toIndex8 || to16 || (toIndex4 && isIndexed4(st)))) return std::nullopt;
        if (isKeyed(st) && v == 0) return d;
        if (toIndex4) return v;
        uint8_t index = isIndexed4(st) ? cmap[v & 15] : v;
        return toIndex8 ? index : (to565 ? screenPalette565 : screenPalette555)[index];
    }
    if (!to16) return std::nullopt;
    const Rgb font = {(fontColor >> 16) & 255, (fontColor >> 8) & 255, fontColor & 255};
    const Rgb argb = {(v >> 4) & 0xF0, v & 0xF0, (v << 4) & 0xF0}; // alpha: v >> 12
    switch (st) {
    case PIXEL_RGB565: return to565 ? v : (v >> 11) << 10 | ((v >> 6) & 31) << 5 | (v & 31);
    case PIXEL_ARGB1555:
        return !to565 ? v : ((v >> 10) & 31) << 11 | ((v >> 5) & 31) << 6 | (v & 31);
    case PIXEL_ARGB4444:
        if (v >> 12 == 0 || v >> 12 == 15) return v >> 12 ? pack(to565, argb) : d;
        return blend(to565, d, (v >> 12) * 17, {argb[0] | 15, argb[1] | 15, argb[2] | 15});
    case PIXEL_ALPHA8: return v == 0 ? d : v == 240 ? pack(to565, font) : blend(to565, d, v, font);
    default: return std::nullopt;
    }
}

// Source bytes that hit every case of the pixel rules: zeros for the keyed
// copies, ARGB4444 pixels with alpha 0, 15 or in between, coverage 0, 240
// and other values (1 and 255 included); the rest random.
uint8_t sourceByte(uint32_t srcType, size_t i, Rng& rng) {
    const uint32_t pick = rng.range(0, 5), alpha[] = {0, 0xF0, rng.next() & 0xF0};
    if (srcType == PIXEL_ALPHA8)
        return pick < 5 ? std::array<uint8_t, 5>{0, 240, 255, 1, 0}[pick] : uint8_t(rng.next());
    if (srcType == PIXEL_ARGB4444 && i % 2) // high byte: the alpha nibble
        return uint8_t(alpha[std::min(pick, 2u)] | (rng.next() & 0x0F));
    return pick < 2 ? 0 : uint8_t(rng.next());
}

// A w x h bitmap of type t over `memory`: at a byte offset of 0..3, rows
// padded or following each other directly, random bytes (a source's from
// sourceByte).
bitmap_tag randomLayout(std::vector<uint8_t>& memory, uint8_t t, int w, int h, bool source,
                        Rng& rng) {
    const int bpp = pixelBitDepthLog2(t), offset = rng.range(0, 3);
    const int rowBytes = (w + (rng.range(0, 1) ? 0 : rng.range(1, 3))) * bpp;
    memory.resize(size_t(offset + rowBytes * h + 8));
    for (size_t i = 0; i < memory.size(); ++i)
        memory[i] = source ? sourceByte(t, i - offset, rng) : uint8_t(rng.next());
    return bitmap_tag{t, w, h, rowBytes, nullptr, memory.data() + offset};
}

// `memory` holding `dst` after pixel(u, v, old) is written at (x + u, y + v)
// for each pixel (u, v) of a w x h source that lands inside; nullopt
// leaves a pixel.
std::vector<uint8_t>
expectedAfter(const std::vector<uint8_t>& memory, bitmap_tag view, int x, int y, int w, int h,
              const std::function<std::optional<uint32_t>(int, int, uint32_t)>& pixel) {
    std::vector<uint8_t> expected = memory;
    view.pixels = expected.data() + (view.pixels - memory.data());
    for (int v = std::max(0, -y); v < std::min(h, view.height - y); ++v)
        for (int u = std::max(0, -x); u < std::min(w, view.width - x); ++u)
            if (auto e = pixel(u, v, pixelAt(&view, x + u, y + v)))
                setPixelAt(&view, x + u, y + v, *e);
    return expected;
}

// Every pair, placed anywhere around the destination, with and without a
// current colormap, with the plain and (more often) the fast routines, at
// every alignment, rows padded or not (whole rows without padding are
// copied as one block): every byte of the destination's memory is the
// reference's. Pairs without a routine copy nothing; 4-bit sources expand
// through the current colormap or the identity, never their own.
TEST(BitmapCopy, EveryTypePairMatchesTheReference) {
    uint8_t colormap[16] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 200, 201, 202, 203, 204, 205};
    std::vector<uint32_t> ownMap(256, 0x99999999u); // the source's own map: never used
    for (int run = 0; run < 4; ++run) {
        RoutineChoice routines(run & 2);
        // The weight byte of the font colour plays no part in the ALPHA8 blend.
        DrawScene scene(7 + run, run & 1 ? colormap : nullptr, 0x7FC08040 + run);
        const uint8_t* cmap = run & 1 ? colormap : identityColormap;
        Rng rng(99 + run);
        for (int st = 0; st < pixelTypeCount; ++st)
            for (int dt = 0; dt < pixelTypeCount; ++dt)
                for (int round = 0; round < (run & 2 ? 10 : 80); ++round) {
                    const bool wholeRows = round % 3 == 0;
                    int sw = rng.range(1, 70), sh = rng.range(1, 5);
                    int dw = wholeRows ? sw : rng.range(1, 72), dh = rng.range(1, 7);
                    std::vector<uint8_t> smem, dmem;
                    bitmap_tag src = randomLayout(smem, uint8_t(st), sw, sh, true, rng);
                    bitmap_tag dst = randomLayout(dmem, uint8_t(dt), dw, dh, false, rng);
                    src.map = hasMap(st) ? ownMap.data() : nullptr;
                    int x = wholeRows ? 0 : rng.range(-sw - 2, dw + 1),
                        y = rng.range(-sh - 2, dh + 1);
                    std::vector<uint8_t> expected =
                        expectedAfter(dmem, dst, x, y, sw, sh, [&](int u, int v, uint32_t d) {
                            return expectedPixel(st, dt, pixelAt(&src, u, v), d, cmap);
                        });
                    bitmapCopy(&dst, x, y, &src);
                    ASSERT_EQ(expected, dmem) << st << "->" << dt << " " << sw << "x" << sh
                                              << " at " << x << "," << y << " run " << run;
                }
    }
}

// The character copy, from its rule: the font colour 0xWWRRGGBB mixed
// with the pattern pixel, c = (font W + pattern (255 - W)) / 255 a
// channel; coverage 240 packs c, other coverage blends c over the
// destination. Glyphs, patterns, font weights (0 and 255 among them) and
// positions at random.
TEST(CopyCharacter, MatchesTheReferenceWithClipping) {
    Rng rng(12);
    for (int round = 0; round < 800; ++round) {
        int gw = rng.range(1, 12), gh = rng.range(1, 10), dw = rng.range(1, 20),
            dh = rng.range(1, 14);
        Owned glyph = randomBitmap(PIXEL_ALPHA8, gw, gh, rng.next());
        for (int j = 0; j < gh; ++j)
            for (int i = 0; i < gw; ++i)
                if (int pick = rng.range(0, 3); pick < 2) setPixelAt(glyph, i, j, pick ? 240 : 0);
        Owned pattern =
            randomBitmap(PIXEL_RGB565, gw + rng.range(0, 3), gh + rng.range(0, 3), rng.next());
        std::vector<uint8_t> memory;
        bitmap_tag dst = randomLayout(memory, PIXEL_RGB565, dw, dh, false, rng);
        uint32_t font = rng.next();
        if (round % 4 < 2) // weight 255 (the font colour alone) or 0 (the pattern alone)
            font = (round % 4 ? 0xFF000000u : 0) | (font & 0xFFFFFF);
        const uint32_t W = font >> 24;
        int x = rng.range(-gw - 1, dw + 1), y = rng.range(-gh - 1, dh + 1);
        std::vector<uint8_t> expected =
            expectedAfter(memory, dst, x, y, gw, gh, [&](int u, int v, uint32_t d) {
                uint32_t a = pixelAt(glyph, u, v);
                Rgb c;
                for (int k = 0; k < 3; ++k)
                    c[k] = (((font >> (16 - 8 * k)) & 255) * W +
                            channel(true, pixelAt(pattern, u, v), k) * (255 - W)) /
                           255;
                return a == 0 ? d : a == 240 ? pack(true, c) : blend(true, d, a, c);
            });
        bitmapSetFontColor(font);
        bitmapCopyCharacter(&dst, x, y, pattern, glyph);
        ASSERT_EQ(memory, expected) << "round " << round;
    }
    bitmapSetFontColor(0);
}

// Placements wholly outside, out to the 32-bit limits (nearer ones are in
// the random tests), refused and undrawable records on either side, and
// types without a fill: nothing is copied or filled, and nothing read
// outside the pattern (the sanitizer build checks that).
TEST(BitmapCopy, RefusalsAndPlacementsOutsideCopyOrFillNothing) {
    Owned glyph = randomBitmap(PIXEL_ALPHA8, 4, 4, 1);
    Owned small = randomBitmap(PIXEL_RGB565, 3, 4, 2);
    Owned pattern = randomBitmap(PIXEL_RGB565, 4, 4, 2);
    Owned dst = randomBitmap(PIXEL_RGB565, 8, 8, 3);
    Owned dst8 = randomBitmap(PIXEL_PAL8, 5, 8, 3); // rows too short for words
    const std::vector<uint8_t> before = bufferOf(dst), before8 = bufferOf(dst8);
    const int32_t outside[][2] = {{8, 0},        {0, 8}, {-4, 0}, {0, -4}, {INT32_MIN, INT32_MAX},
                                  {INT32_MAX, 0}};
    for (const auto& at : outside) {
        bitmapCopy(dst, at[0], at[1], pattern);
        bitmapCopyCharacter(dst, at[0], at[1], pattern, glyph);
    }
    uint8_t* p = dst->pixels;
    for (bitmap_tag b : {shape(PIXEL_RGB565, 8, 8, 16), shape(PIXEL_RGB565, -5, 8, 16, p),
                         shape(PIXEL_RGB565, 8, 8, 15, p),  // rows shorter than the width
                         shape(PIXEL_RGB565, 8, 8, -15, p), // the same, bottom-up
                         shape(200, 8, 8, 16, p), shape(PIXEL_RGB565, 8, -1, 16, p)}) {
        bitmapCopy(dst, 0, 0, &b);
        bitmapCopy(&b, 0, 0, pattern);
        bitmapFill(&b, 9);
        if (b.pixelType == PIXEL_RGB565) // the character copy takes any type as 5:6:5
            bitmapCopyCharacter(&b, 0, 0, pattern, glyph);
    }
    bitmapCopyCharacter(dst, 0, 0, small, glyph);
    bitmapCopyCharacter(dst8, 0, 0, pattern, glyph);
    bitmapCopyCharacter(nullptr, 0, 0, pattern, glyph);
    bitmapCopyCharacter(dst, 0, 0, nullptr, glyph);
    bitmapCopyCharacter(dst, 0, 0, pattern, nullptr);
    bitmapCopy(dst, 0, 0, nullptr);
    bitmapCopy(nullptr, 0, 0, dst);
    for (uint8_t type :
         {PIXEL_RGB444, PIXEL_ARGB4444, PIXEL_RGB888, PIXEL_ARGB8888, PIXEL_ALPHA8}) {
        bitmap_tag noFill =
            shape(type, 16 / pixelBitDepthLog2(type), 8, dst->rowBytes, dst->pixels);
        bitmapFill(&noFill, 9);
    }
    bitmapFill(nullptr, 1);
    EXPECT_EQ(before, bufferOf(dst));
    EXPECT_EQ(before8, bufferOf(dst8));
}

// Widths 0..40 and a few long ones, rows padded or not, at every start
// alignment, with the plain and the fast fills: indexed types take the low
// byte of the colour, the screen types its table pixel; no other byte
// changes.
TEST(BitmapFill, EveryWidthAndAlignment) {
    DrawScene scene(3);
    for (uint8_t type : {PIXEL_CMAP4, PIXEL_PAL8_KEY, PIXEL_RGB565, PIXEL_ARGB1555})
        for (bool plain : {true, false}) {
            RoutineChoice routines(plain);
            const int bpp = pixelBitDepthLog2(type);
            const uint16_t* table = screenTableOf(type);
            for (int width = 0; width <= 300; width += width < 40 ? 1 : 87)
                for (int layout = 0; layout < 8; ++layout) {
                    std::vector<uint8_t> memory(size_t(bpp * width + 6) * 3 + 8, 0x5A);
                    bitmap_tag bm = shape(type, width, 3, bpp * width + (layout < 4 ? 6 : 0),
                                          memory.data() + layout % 4);
                    const std::vector<uint8_t> expected =
                        expectedAfter(memory, bm, 0, 0, width, 3, [table](int, int, uint32_t) {
                            return uint32_t(table ? table[77] : 77);
                        });
                    bitmapFill(&bm, 77 + 256); // only the low 8 bits of the index count
                    ASSERT_EQ(memory, expected)
                        << "type " << int(type) << " width " << width << " layout " << layout;
                }
        }
}

} // namespace
