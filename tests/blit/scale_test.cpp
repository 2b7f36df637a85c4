// bitmapScale: the documented shapes, both paths against per-pixel
// references of their formulas over random sizes, factors and positions,
// and factors at the limits.
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

bitmap_tag* filled(uint8_t type, int w, int h, uint8_t byte) {
    bitmap_tag* bm = nullptr;
    EXPECT_TRUE(bitmapAlloc(&bm, type, w, h, 0));
    std::memset(bm->pixels, byte, size_t(h + 1) * bm->rowBytes + 1);
    return bm;
}

// Source pixel (x, y) = 16 y + x + 1: never 0, so keyed sources draw it.
bitmap_tag* numbered(uint8_t type, int w, int h) {
    bitmap_tag* bm = filled(type, w, h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            bm->pixels[y * bm->rowBytes + x] = uint8_t(16 * y + x + 1);
    return bm;
}

uint8_t at(const bitmap_tag* bm, int x, int y) {
    return bm->pixels[y * bm->rowBytes + x];
}

TEST(BitmapScale, DoublingAndHalvingOnThePalettePath) {
    bitmap_tag* src = numbered(PIXEL_PAL8, 4, 4);
    bitmap_tag* dst = filled(PIXEL_PAL8, 10, 10, 0xEE);
    bitmapScale(dst, 1, 1, src, 0x20000, 0x20000);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            bool inside = x >= 1 && x < 9 && y >= 1 && y < 9;
            EXPECT_EQ(at(dst, x, y), inside ? at(src, (x - 1) / 2, (y - 1) / 2) : 0xEE);
        }
    bitmap_tag* half = filled(PIXEL_PAL8, 3, 3, 0xEE);
    bitmapScale(half, 0, 0, src, 0x8000, 0x8000);
    EXPECT_EQ(at(half, 0, 0), at(src, 0, 0));
    EXPECT_EQ(at(half, 1, 0), at(src, 2, 0));
    EXPECT_EQ(at(half, 0, 1), at(src, 0, 2));
    EXPECT_EQ(at(half, 1, 1), at(src, 2, 2));
    EXPECT_EQ(at(half, 2, 0), 0xEE);
    EXPECT_EQ(at(half, 0, 2), 0xEE);
    bitmapFree(src);
    bitmapFree(dst);
    bitmapFree(half);
}

// The general path stores the index as one byte on every destination type
// but the two screen types: a 4 x 4 source at factor 2 covers the inclusive
// box of ((4 - 1) x 2) + 1 = 7 x 7 pixels of an ALPHA8 destination.
TEST(BitmapScale, GeneralPathWritesOneByteOnOtherDestinations) {
    bitmap_tag* src = filled(PIXEL_PAL8, 4, 4, 100);
    bitmap_tag* dst = filled(PIXEL_ALPHA8, 8, 8, 0xEE);
    bitmapScale(dst, 0, 0, src, 0x20000, 0x20000);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(at(dst, x, y), x < 7 && y < 7 ? 100 : 0xEE) << x << "," << y;
    bitmapFree(src);
    bitmapFree(dst);
}

TEST(BitmapScale, UnitFactorsOnOtherTypesAreACopy) {
    uint32_t* palette = swtest::randomPalette(2);
    paletteSetCurrent(palette, 0, 256);
    bitmap_tag* src = swtest::randomBitmap(PIXEL_PAL8, 7, 5, 1);
    bitmap_tag* a = swtest::randomBitmap(PIXEL_RGB565, 9, 9, 2);
    bitmap_tag* b = swtest::randomBitmap(PIXEL_RGB565, 9, 9, 2);
    bitmapScale(a, 3, -1, src, 0x10000, 0x10000);
    bitmapCopy(b, 3, -1, src);
    EXPECT_EQ(buffer(a), buffer(b));
    // A 565 source has no scaling routine, but 1:1 is a copy.
    bitmap_tag* src16 = swtest::randomBitmap(PIXEL_RGB565, 4, 4, 3);
    bitmapScale(a, 0, 0, src16, 0x10000, 0x10000);
    bitmapCopy(b, 0, 0, src16);
    EXPECT_EQ(buffer(a), buffer(b));
    std::vector<uint8_t> before = buffer(a);
    bitmapScale(a, 0, 0, src16, 0x20000, 0x20000);
    EXPECT_EQ(before, buffer(a));
    for (bitmap_tag* bm : {src, a, b, src16})
        bitmapFree(bm);
    paletteCurrent = nullptr;
    paletteFree(palette);
}

TEST(BitmapScale, NegativeFactorMirrorsOnTheGeneralPath) {
    uint32_t* palette = swtest::randomPalette(4);
    paletteSetCurrent(palette, 0, 256);
    bitmap_tag* src = numbered(PIXEL_PAL8, 10, 1);
    bitmap_tag* dst = filled(PIXEL_RGB565, 30, 2, 0xEE);
    bitmapScale(dst, 20, 0, src, -0x10000, 0x10000);
    for (int x = 0; x < 30; ++x) {
        const uint8_t* p = dst->pixels + 2 * x;
        uint16_t want = x >= 11 && x <= 20 ? screenPalette565[at(src, 20 - x, 0)] : 0xEEEE;
        EXPECT_EQ(p[0] | p[1] << 8, want) << x;
    }
    bitmapFree(src);
    bitmapFree(dst);
    paletteCurrent = nullptr;
    paletteFree(palette);
}

TEST(BitmapScale, FastPathClippedLeftStartsMidImage) {
    bitmap_tag* src = numbered(PIXEL_PAL8, 8, 2);
    bitmap_tag* dst = filled(PIXEL_PAL8, 20, 4, 0xEE);
    bitmapScale(dst, -5, 0, src, 0x18000, 0x10000); // 12 columns, 7 visible
    // Column i of the unclipped image shows source column (i * recip) >> 16.
    int32_t recip = int32_t((int64_t(1) << 32) / 0x18000);
    for (int x = 0; x < 7; ++x)
        EXPECT_EQ(at(dst, x, 0), at(src, int((int64_t(x + 5) * recip) >> 16), 0)) << x;
    EXPECT_EQ(at(dst, 7, 0), 0xEE);
    bitmapFree(src);
    bitmapFree(dst);
}

// At factor 1.5 a 10-pixel row becomes 15 columns on the fast path and
// ((10 - 1) * 1.5) >> 16 + 1 = 14 on the general one (a 4-bit source with
// the identity colormap, whose values 1..10 are never 0).
TEST(BitmapScale, PathsDifferInSize) {
    auto columnsDrawn = [](uint8_t srcType) {
        bitmap_tag* src = numbered(srcType, 10, 1);
        bitmap_tag* dst = filled(PIXEL_PAL8, 30, 3, 0);
        bitmapScale(dst, 0, 0, src, 0x18000, 0x10000);
        int n = 0;
        for (int x = 0; x < 30; ++x)
            n += at(dst, x, 0) != 0;
        EXPECT_EQ(at(dst, 0, 1), 0);
        bitmapFree(src);
        bitmapFree(dst);
        return n;
    };
    colormapSetCurrent(nullptr);
    EXPECT_EQ(columnsDrawn(PIXEL_PAL8), 15);
    EXPECT_EQ(columnsDrawn(PIXEL_CMAP4), 14);
}

TEST(BitmapScale, TinyFactorsDrawNothing) {
    uint32_t* palette = swtest::randomPalette(6);
    paletteSetCurrent(palette, 0, 256);
    bitmap_tag* src = numbered(PIXEL_CMAP4, 5, 5);
    bitmap_tag* dst = filled(PIXEL_RGB565, 8, 8, 0xEE);
    std::vector<uint8_t> before = buffer(dst);
    for (int32_t f : {2, 1, 0, -1, -2}) {
        bitmapScale(dst, 0, 0, src, f, 0x10000);
        bitmapScale(dst, 0, 0, src, 0x10000, f);
    }
    EXPECT_EQ(before, buffer(dst));
    bitmap_tag* src8 = numbered(PIXEL_PAL8, 5, 5);
    bitmap_tag* dst8 = filled(PIXEL_PAL8, 8, 8, 0xEE);
    before = buffer(dst8);
    for (int32_t f : {2, 1, 0, -1, -0x10000})
        bitmapScale(dst8, 0, 0, src8, f, 0x10000);
    EXPECT_EQ(before, buffer(dst8));
    for (bitmap_tag* bm : {src, dst, src8, dst8})
        bitmapFree(bm);
    paletteCurrent = nullptr;
    paletteFree(palette);
}

// The fast path, written from its rule: destination pixel (x + i, y + j)
// for i < (w * fx) >> 16 and j < (h * fy) >> 16, inside the destination,
// shows source ((i * rx) >> 16, (j * ry) >> 16); keyed sources skip 0.
void referenceFast(bitmap_tag* dst, int x, int y, const bitmap_tag* src, int32_t fx, int32_t fy) {
    if (fx < 3 || fy < 3) return;
    int64_t dw = (int64_t(src->width) * fx) >> 16, dh = (int64_t(src->height) * fy) >> 16;
    int64_t rx = (int64_t(1) << 32) / fx, ry = (int64_t(1) << 32) / fy;
    for (int64_t j = 0; j < dh; ++j)
        for (int64_t i = 0; i < dw; ++i) {
            int64_t X = x + i, Y = y + j;
            if (X < 0 || Y < 0 || X >= dst->width || Y >= dst->height) continue;
            uint8_t v = at(src, int((i * rx) >> 16), int((j * ry) >> 16));
            if (src->pixelType == PIXEL_PAL8_KEY && v == 0) continue;
            dst->pixels[Y * dst->rowBytes + X] = v;
        }
}

// The general path, written from its rule with a bounds test per pixel.
void referenceGeneral(bitmap_tag* dst, int x, int y, const bitmap_tag* src, int32_t fx, int32_t fy,
                      const uint8_t* cmap) {
    auto box = [](int64_t at, int64_t size, int64_t f, int64_t& lo, int64_t& hi) {
        int64_t span = ((size - 1) * (f < 0 ? -f : f)) >> 16;
        lo = f > 0 ? at : at - span;
        hi = f > 0 ? at + span : at;
    };
    int64_t left, right, top, bottom;
    box(x, src->width, fx, left, right);
    box(y, src->height, fy, top, bottom);
    int64_t rx = (int64_t(1) << 32) / fx, ry = (int64_t(1) << 32) / fy;
    for (int64_t Y = top; Y <= bottom; ++Y)
        for (int64_t X = left; X <= right; ++X) {
            if (X < 0 || Y < 0 || X >= dst->width || Y >= dst->height) continue;
            int64_t sx = (((X - left) * rx) >> 16) + (rx < 0 ? src->width - 1 : 0);
            int64_t sy = (((Y - top) * ry) >> 16) + (ry < 0 ? src->height - 1 : 0);
            uint8_t v = at(src, int(sx), int(sy));
            if (isKeyed(src->pixelType) && v == 0) continue;
            uint8_t index = isIndexed4(src->pixelType) ? cmap[v & 15] : v;
            uint8_t* d = dst->pixels + Y * dst->rowBytes;
            if (dst->pixelType == PIXEL_RGB565 || dst->pixelType == PIXEL_ARGB1555) {
                uint16_t p = dst->pixelType == PIXEL_RGB565 ? screenPalette565[index]
                                                            : screenPalette555[index];
                d[2 * X] = uint8_t(p);
                d[2 * X + 1] = uint8_t(p >> 8);
            } else {
                d[X] = index; // one byte at byte X, whatever the layout
            }
        }
}

int32_t randomFactor(Rng& rng) {
    switch (rng.range(0, 5)) {
    case 0: return rng.range(3, 0x4000);
    case 1: return rng.range(0x4000, 0x40000);
    case 2: return -rng.range(3, 0x40000);
    case 3: return int32_t(0x10000) * rng.range(-3, 3);
    case 4: return rng.range(0x10000 - 40, 0x10000 + 40);
    default: return rng.range(3, 0x80000);
    }
}

TEST(BitmapScale, BothPathsMatchTheirReferencesOverRandomCases) {
    uint32_t* palette = swtest::randomPalette(9);
    paletteSetCurrent(palette, 0, 256);
    uint8_t ownColormap[16], currentColormap[16];
    for (int i = 0; i < 16; ++i) {
        ownColormap[i] = uint8_t(17 * i + 3);
        currentColormap[i] = uint8_t(200 + i);
    }
    Rng rng(41);
    for (int round = 0; round < 3000; ++round) {
        uint8_t st = uint8_t(rng.range(0, 3)), dt = uint8_t(rng.range(0, PIXEL_ALPHA8));
        int sw = rng.range(1, 13), sh = rng.range(1, 11), dw = rng.range(1, 30),
            dh = rng.range(1, 25);
        bitmap_tag* src = swtest::randomBitmap(st, sw, sh, rng.next());
        for (int i = 0; i < sw * sh; ++i) // some transparent pixels
            if (rng.range(0, 3) == 0) src->pixels[(i / sw) * src->rowBytes + i % sw] = 0;
        bool own = isIndexed4(st) && rng.range(0, 1);
        if (own) src->map = ownColormap;
        colormapSetCurrent(rng.range(0, 1) ? currentColormap : nullptr);
        const uint8_t* cmap = own                    ? ownColormap
                              : colormapGetCurrent() ? currentColormap
                                                     : identityColormap;
        bitmap_tag* dst = swtest::randomBitmap(dt, dw, dh, rng.next());
        bitmap_tag* ref = swtest::randomBitmap(dt, dw, dh, 0);
        std::memcpy(ref->pixels, dst->pixels, size_t(dh + 1) * dst->rowBytes + 1);
        int32_t fx = randomFactor(rng), fy = randomFactor(rng);
        int x = rng.range(-2 * sw - 4, dw + 2), y = rng.range(-2 * sh - 4, dh + 2);
        bitmapScale(dst, x, y, src, fx, fy);
        bool fast = isIndexed8(st) && isIndexed8(dt);
        if (fast)
            referenceFast(ref, x, y, src, fx, fy);
        else if (fx == 0x10000 && fy == 0x10000)
            bitmapCopy(ref, x, y, src);
        else if (std::abs(fx) >= 3 && std::abs(fy) >= 3)
            referenceGeneral(ref, x, y, src, fx, fy, cmap);
        ASSERT_EQ(buffer(ref), buffer(dst))
            << "types " << int(st) << "->" << int(dt) << " size " << sw << "x" << sh << " at " << x
            << "," << y << " factors " << fx << "," << fy;
        src->map = nullptr;
        bitmapFree(src);
        bitmapFree(dst);
        bitmapFree(ref);
    }
    colormapSetCurrent(nullptr);
    paletteCurrent = nullptr;
    paletteFree(palette);
}

// Factors and positions at the 32-bit limits: nothing is read or written
// outside the bitmaps (the sanitizer build checks every access).
TEST(BitmapScale, ExtremeFactorsStayInside) {
    uint32_t* palette = swtest::randomPalette(10);
    paletteSetCurrent(palette, 0, 256);
    const int32_t factors[] = {INT32_MIN, -0x7FFFFFFF, -3, 3, 0x7FFFFFFF, 0x10001};
    const int32_t positions[] = {INT32_MIN, -70000, -5, 0, 7, INT32_MAX};
    for (uint8_t st : {PIXEL_CMAP4, PIXEL_PAL8_KEY})
        for (uint8_t dt : {PIXEL_PAL8, PIXEL_RGB565}) {
            bitmap_tag* src = numbered(st, 9, 7);
            bitmap_tag* dst = filled(dt, 11, 6, 0xEE);
            for (int32_t fx : factors)
                for (int32_t fy : factors)
                    for (int32_t p : positions) {
                        bitmapScale(dst, p, 2, src, fx, fy);
                        bitmapScale(dst, 1, p, src, fx, fy);
                    }
            for (int y = 0; y <= 6; ++y)
                for (int b = (y < 6 ? 11 * pixelBitDepthLog2(dt) : 0); b < dst->rowBytes; ++b)
                    EXPECT_EQ(dst->pixels[y * dst->rowBytes + b], 0xEE) << "outside written";
            bitmapFree(src);
            bitmapFree(dst);
        }
    paletteCurrent = nullptr;
    paletteFree(palette);
}

// The fast 8-bit path against the plain one: seeded random sources (a
// third of the pixels 0), destinations, factors (magnifying, shrinking,
// near 1), positions cut by every edge, keyed and opaque. Every byte of
// the destination buffer must agree.
TEST(BitmapScale, FastPalettePathEqualsThePlainOne) {
    Rng rng(4242);
    int drawn = 0;
    for (int round = 0; round < 600; ++round) {
        const bool keyed = round % 2;
        const int sw = rng.range(1, 40), sh = rng.range(1, 30);
        const int dw = rng.range(1, 70), dh = rng.range(1, 50);
        bitmap_tag* src =
            swtest::randomBitmap(keyed ? PIXEL_PAL8_KEY : PIXEL_PAL8, sw, sh, rng.next());
        for (int i = 0; i < sw * sh; ++i)
            if (rng.range(0, 2) == 0) src->pixels[(i / sw) * src->rowBytes + i % sw] = 0;
        const uint32_t seed = rng.next();
        bitmap_tag* a = swtest::randomBitmap(PIXEL_PAL8, dw, dh, seed);
        bitmap_tag* b = swtest::randomBitmap(PIXEL_PAL8, dw, dh, seed);
        const int32_t factors[] = {3, 0x8000, 0xFFFF, 0x10000, 0x10001, 0x18000, 0x20000, 0x53219};
        int32_t fx = rng.range(0, 2) ? factors[rng.range(0, 7)] : rng.range(3, 0x60000);
        int32_t fy = rng.range(0, 2) ? factors[rng.range(0, 7)] : rng.range(3, 0x60000);
        int32_t x = rng.range(-2 * sw, dw), y = rng.range(-2 * sh, dh);
        const std::vector<uint8_t> before = buffer(a);
        {
            swtest::RoutineChoice routines(false);
            bitmapScale(a, x, y, src, fx, fy);
        }
        {
            swtest::RoutineChoice routines(true);
            bitmapScale(b, x, y, src, fx, fy);
        }
        ASSERT_EQ(buffer(a), buffer(b)) << "round " << round;
        drawn += buffer(a) != before;
        bitmapFree(src);
        bitmapFree(a);
        bitmapFree(b);
    }
    EXPECT_GT(drawn, 300);
}

} // namespace
