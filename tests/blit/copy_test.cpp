// bitmapCopy: exact blends, every type pair against a per-pixel
// reference written from the pixel rules (with the plain and the fast
// routines), fast routines against plain ones at every alignment, and
// reads that stay inside the source.
#include "bitmap/bitmap.h"
#include "blit/blit.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

using swtest::pixelAt;
using swtest::Rng;
using swtest::RoutineChoice;
using swtest::setPixelAt;

namespace {

// Blend of colour (r, g, b) with weight a over a 16-bit pixel, written
// from the blend rule: destination channels widened with ones below the
// field, (s * a + d * (255 - a)) >> 8, top bits kept; bit 15 set on 5:5:5.
uint32_t blendReference(bool to565, uint32_t d, uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    uint32_t dg = to565 ? ((d >> 5) & 63) << 2 | 3 : ((d >> 5) & 31) << 3 | 7;
    uint32_t dr = ((d >> (to565 ? 11 : 10)) & 31) << 3 | 7, db = (d & 31) << 3 | 7;
    uint32_t R = (r * a + dr * (255 - a)) >> 8, G = (g * a + dg * (255 - a)) >> 8,
             B = (b * a + db * (255 - a)) >> 8;
    if (to565) return (R >> 3) << 11 | (G >> 2) << 5 | (B >> 3);
    return 0x8000 | (R >> 3) << 10 | (G >> 3) << 5 | (B >> 3);
}

// The destination pixel after copying source pixel v of type st over d
// of type dt; nullopt when the pair has no routine.
std::optional<uint32_t> expectedPixel(int st, int dt, uint32_t v, uint32_t d, const uint8_t* cmap) {
    const bool toIndex4 = isIndexed4(dt), toIndex8 = isIndexed8(dt);
    const bool to565 = dt == PIXEL_RGB565, to16 = to565 || dt == PIXEL_ARGB1555;
    const uint16_t* table = to565 ? screenPalette565 : screenPalette555;
    if (isIndexed4(st) || isIndexed8(st)) {
        if (!(toIndex8 || to16 || (toIndex4 && isIndexed4(st)))) return std::nullopt;
        if (isKeyed(st) && v == 0) return d;
        if (toIndex4) return v;
        uint8_t index = isIndexed4(st) ? cmap[v & 15] : v;
        return toIndex8 ? index : table[index];
    }
    if (!to16) return std::nullopt;
    const uint32_t font[3] = {(fontColor >> 16) & 255, (fontColor >> 8) & 255, fontColor & 255};
    switch (st) {
    case PIXEL_RGB565: return to565 ? v : (v >> 11) << 10 | ((v >> 6) & 31) << 5 | (v & 31);
    case PIXEL_ARGB1555:
        return !to565 ? v : ((v >> 10) & 31) << 11 | ((v >> 5) & 31) << 6 | (v & 31);
    case PIXEL_ARGB4444: {
        uint32_t A = v >> 12, r4 = (v >> 8) & 15, g4 = (v >> 4) & 15, b4 = v & 15;
        if (A == 0) return d;
        if (A == 15)
            return to565 ? (r4 * 2) << 11 | (g4 * 4) << 5 | b4 * 2
                         : 0x8000 | (r4 * 2) << 10 | (g4 * 2) << 5 | b4 * 2;
        return blendReference(to565, d, A * 17, r4 * 16 + 15, g4 * 16 + 15, b4 * 16 + 15);
    }
    case PIXEL_ALPHA8:
        if (v == 0) return d;
        if (v == 240)
            return to565 ? (font[0] >> 3) << 11 | (font[1] >> 2) << 5 | font[2] >> 3
                         : 0x8000 | (font[0] >> 3) << 10 | (font[1] >> 3) << 5 | font[2] >> 3;
        return blendReference(to565, d, v, font[0], font[1], font[2]);
    default: return std::nullopt;
    }
}

// Source bytes that hit every case of the pixel rules: zeros for the keyed
// copies, ARGB4444 pixels with alpha 0, 15 or in between, coverage 0, 240
// and other values (1 and 255 included); the rest random.
uint8_t sourceByte(uint32_t srcType, size_t i, Rng& rng) {
    uint32_t pick = rng.range(0, 5);
    if (srcType == PIXEL_ALPHA8) {
        const uint8_t special[] = {0, 240, 255, 1, 0};
        return pick < 5 ? special[pick] : uint8_t(rng.next());
    }
    if (srcType == PIXEL_ARGB4444 && i % 2) // high byte: the alpha nibble
        return uint8_t((pick == 0   ? 0x00
                        : pick == 1 ? 0xF0
                                    : rng.next() & 0xF0) |
                       (rng.next() & 0x0F));
    return pick < 2 ? 0 : uint8_t(rng.next());
}

// Every pair, placed anywhere around the destination (with and without a
// current colormap, with the plain and the fast routines): every byte of
// the destination buffer is the reference's, padding and spare row
// untouched. Pairs without a routine copy nothing; 4-bit sources expand
// through the current colormap or the identity, never their own.
TEST(BitmapCopy, EveryTypePairMatchesTheReferenceOverRandomBitmaps) {
    uint8_t colormap[16] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 200, 201, 202, 203, 204, 205};
    uint32_t ownMap[256]; // a colormap or palette of the source's own: never used
    std::fill(std::begin(ownMap), std::end(ownMap), 0x99999999u);
    for (int run = 0; run < 4; ++run) {
        RoutineChoice routines(run & 2);
        swtest::DrawScene scene(7 + run, run & 1 ? colormap : nullptr, 0x00C08040 + run);
        const uint8_t* cmap = run & 1 ? colormap : identityColormap;
        Rng rng(99 + run);
        for (int st = 0; st < pixelTypeCount; ++st)
            for (int dt = 0; dt < pixelTypeCount; ++dt)
                for (int round = 0; round < 6; ++round) {
                    int sw = rng.range(1, 37), sh = rng.range(1, 9);
                    int dw = rng.range(1, 41), dh = rng.range(1, 11);
                    swtest::Owned src = swtest::randomBitmap(uint8_t(st), sw, sh, rng.next());
                    swtest::Owned dst = swtest::randomBitmap(uint8_t(dt), dw, dh, rng.next());
                    src->map = hasMap(st) ? ownMap : nullptr;
                    for (int j = 0; j < sh * src->rowBytes; ++j)
                        src->pixels[j] = sourceByte(st, j, rng);
                    int x = rng.range(-sw - 2, dw + 1), y = rng.range(-sh - 2, dh + 1);
                    std::vector<uint8_t> expected = swtest::bufferOf(dst);
                    bitmap_tag view = *dst;
                    view.pixels = expected.data();
                    for (int v = std::max(0, -y); v < std::min(sh, dh - y); ++v)
                        for (int u = std::max(0, -x); u < std::min(sw, dw - x); ++u)
                            if (auto e = expectedPixel(st, dt, pixelAt(src, u, v),
                                                       pixelAt(&view, x + u, y + v), cmap))
                                setPixelAt(&view, x + u, y + v, *e);
                    bitmapCopy(dst, x, y, src);
                    src->map = nullptr; // not the library's to free
                    ASSERT_EQ(expected, swtest::bufferOf(dst))
                        << st << "->" << dt << " at " << x << "," << y << " run " << run;
                }
    }
    EXPECT_EQ(copyRoutineFor(0xFFFFFFFFu, 2), nullptr);
    EXPECT_EQ(copyRoutineFor(2, 0x102), nullptr);
}

// Each fast routine against its plain one on every pair: widths 0..70,
// source and destination offsets 0..3 (every alignment the multi-pixel
// steps see), rows padded or following each other directly (copied as one
// block), several font colours.
TEST(BitmapCopy, FastRoutinesEqualPlainAtEveryAlignment) {
    Rng rng(5);
    uint8_t colormap[16] = {3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 5, 8, 9, 7, 9, 3};
    for (int scene = 0; scene < 3; ++scene) {
        swtest::DrawScene state(21 + scene, scene == 1 ? nullptr : colormap, rng.next());
        for (uint32_t st = 0; st < pixelTypeCount; ++st)
            for (uint32_t dt = 0; dt < pixelTypeCount; ++dt) {
                CopyRoutine fast, plain;
                {
                    RoutineChoice routines(false);
                    fast = copyRoutineFor(st, dt);
                }
                {
                    RoutineChoice routines(true);
                    plain = copyRoutineFor(st, dt);
                }
                if (!fast || fast == plain) continue;
                const int sb = pixelBitDepthLog2(st), db = pixelBitDepthLog2(dt), height = 3;
                for (int width = 0; width <= 70; width += (width < 20 ? 1 : 7))
                    for (int offsets = 0; offsets < 32; ++offsets) {
                        const int so = offsets % 4, doff = offsets / 4 % 4;
                        const bool packed = offsets >= 16;
                        const int srb = (packed ? width : 96) * sb,
                                  drb = (packed ? width : 96) * db;
                        std::vector<uint8_t> src(size_t(srb) * height + 8);
                        for (size_t i = 0; i < src.size(); ++i)
                            src[i] = sourceByte(st, i + so, rng);
                        std::vector<uint8_t> a(size_t(drb) * height + 8);
                        for (auto& byte : a)
                            byte = uint8_t(rng.next());
                        std::vector<uint8_t> b = a;
                        fast(a.data() + doff, 0, drb, src.data() + so, 0, srb, width, height);
                        plain(b.data() + doff, 0, drb, src.data() + so, 0, srb, width, height);
                        ASSERT_EQ(a, b) << st << "->" << dt << " width " << width << " offsets "
                                        << so << "," << doff << (packed ? " packed" : "");
                    }
            }
    }
}

// Worked values of the blend rules, checked apart from the reference.
TEST(BitmapCopy, ExactBlendValues) {
    struct Case {
        uint8_t st, dt;
        uint32_t font, v, d, expected;
    } cases[] = {
        // A = 8 (weight 136), white over black: (255 * 136 + 7 * 119) >> 8 =
        // 138 red and blue, (255 * 136 + 3 * 119) >> 8 = 136 green.
        {PIXEL_ARGB4444, PIXEL_RGB565, 0, 0x8FFF, 0x0000,
         (138 >> 3) << 11 | (136 >> 2) << 5 | 138 >> 3},
        {PIXEL_ARGB4444, PIXEL_ARGB1555, 0, 0x8FFF, 0x0000, 0x8000 | 17 << 10 | 17 << 5 | 17},
        {PIXEL_ALPHA8, PIXEL_RGB565, 0x00FF0000, 240, 0x1234, 0xF800},
        {PIXEL_ALPHA8, PIXEL_ARGB1555, 0x00FF0000, 240, 0x1234, 0xFC00},
        // Coverage 128 of white over black: red (255 * 128 + 7 * 127) >> 8 = 130,
        // field 16; green (255 * 128 + 3 * 127) >> 8 = 128, field 32.
        {PIXEL_ALPHA8, PIXEL_RGB565, 0x00FFFFFF, 128, 0x0000, 16 << 11 | 32 << 5 | 16},
        // Coverage above 240 blends: 255 of pure blue over white on 5:5:5.
        {PIXEL_ALPHA8, PIXEL_ARGB1555, 0x000000FF, 255, 0x7FFF, 0x8000 | 31},
        // The weight byte of the font colour plays no part.
        {PIXEL_ALPHA8, PIXEL_RGB565, 0x7F00FF00, 240, 0, 0x07E0},
    };
    for (const Case& c : cases)
        for (bool plain : {true, false}) {
            RoutineChoice routines(plain);
            bitmapSetFontColor(c.font);
            swtest::Owned src = swtest::filledBitmap(c.st, 9, 1, 0);
            swtest::Owned dst = swtest::filledBitmap(c.dt, 9, 1, 0);
            for (int x = 0; x < 9; ++x) { // nine pixels: the eight-pixel steps and a tail
                setPixelAt(src, x, 0, c.v);
                setPixelAt(dst, x, 0, c.d);
            }
            bitmapCopy(dst, 0, 0, src);
            for (int x = 0; x < 9; ++x)
                EXPECT_EQ(pixelAt(dst, x, 0), c.expected)
                    << std::hex << int(c.st) << "->" << int(c.dt) << " v " << c.v << " d " << c.d;
        }
    bitmapSetFontColor(0);
}

// Placements anywhere near the destination are in the random pair test;
// these lie wholly outside, out to the 32-bit limits.
TEST(BitmapCopy, PlacementsOutsideCopyNothing) {
    swtest::Owned src = swtest::randomBitmap(PIXEL_PAL8, 6, 4, 1);
    swtest::Owned dst = swtest::randomBitmap(PIXEL_PAL8, 5, 5, 2);
    std::vector<uint8_t> before = swtest::bufferOf(dst);
    const int32_t outside[][2] = {{5, 0},        {0, 5}, {-6, 0}, {0, -4}, {INT32_MIN, INT32_MIN},
                                  {INT32_MAX, 0}};
    for (const auto& at : outside)
        bitmapCopy(dst, at[0], at[1], src);
    EXPECT_EQ(before, swtest::bufferOf(dst));
}

// A keyed source whose pixel memory ends exactly at the last pixel of the
// row highest in memory (its last row, or its first when it is bottom-up):
// under the address sanitizer any read past it fails.
TEST(BitmapCopy, KeyedCopyReadsNothingPastTheSourceRows) {
    for (int width = 1; width <= 23; ++width)
        for (int shape = 0; shape < 8; ++shape) {
            const int rowPad = shape % 4, rowBytes = width + rowPad, height = 3;
            std::vector<uint8_t> memory(size_t(rowBytes) * (height - 1) + width);
            Rng rng(uint64_t(width * 7 + shape));
            for (auto& b : memory)
                b = rng.range(0, 1) ? 0 : uint8_t(rng.next() | 1);
            bitmap_tag src{PIXEL_PAL8_KEY, width, height, rowBytes, nullptr, memory.data()};
            if (shape >= 4) { // bottom-up
                src.pixels += (height - 1) * rowBytes;
                src.rowBytes = -rowBytes;
            }
            for (bool plain : {true, false}) {
                RoutineChoice routines(plain);
                swtest::Owned dst = swtest::randomBitmap(PIXEL_PAL8, width + 2, height, 3);
                swtest::Owned ref = swtest::randomBitmap(PIXEL_PAL8, width + 2, height, 3);
                bitmapCopy(dst, 1, 0, &src);
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x)
                        if (uint32_t v = pixelAt(&src, x, y)) setPixelAt(ref, x + 1, y, v);
                EXPECT_EQ(swtest::bufferOf(dst), swtest::bufferOf(ref)) << width << " " << shape;
            }
        }
}

TEST(BitmapCopy, RecordsThatAreNotDrawableCopyNothing) {
    swtest::Owned good = swtest::randomBitmap(PIXEL_PAL8, 8, 8, 4);
    std::vector<uint8_t> before = swtest::bufferOf(good);
    std::vector<bitmap_tag> bad(5, *good);
    bad[0].pixels = nullptr;
    bad[1].width = -5;
    bad[2].rowBytes = 4;  // rows shorter than the width
    bad[3].rowBytes = -7; // the same, bottom-up
    bad[4].pixelType = 200;
    for (bitmap_tag& b : bad) {
        bitmapCopy(good, 0, 0, &b);
        bitmapCopy(&b, 0, 0, good);
    }
    bitmapCopy(good, 0, 0, nullptr);
    bitmapCopy(nullptr, 0, 0, good);
    EXPECT_EQ(before, swtest::bufferOf(good));
}

} // namespace
