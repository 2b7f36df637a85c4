// bitmapScale: both paths (the 8-bit one with its plain and its fast
// rows) against per-pixel references of their formulas over random types,
// sizes, factors (too small to draw among them) and positions, and factors
// at the limits.
#include "bitmap/bitmap.h"
#include "support.h"

#include <gtest/gtest.h>

#include <vector>

using namespace swtest;

namespace {

// Both paths from their rules: the image covers destination columns
// lo..hi (rows likewise), column X showing source column
// ((X - lo) x r) >> 16, r = 2^32 / factor, counted from the far end when
// the factor is negative. The 8-bit path covers (size x f) >> 16 pixels
// from the position and draws nothing for f < 3; the general path the
// inclusive box of ((size - 1) x |f|) >> 16 + 1 pixels, mirrored for
// f < 0, putting the screen types' table pixel or one byte at byte X.
void reference(bitmap_tag* dst, int x, int y, const bitmap_tag* src, int32_t fx, int32_t fy,
               const uint8_t* cmap) {
    const bool eightBit = isIndexed8(src->pixelType) && isIndexed8(dst->pixelType);
    if (eightBit ? fx < 3 || fy < 3 : std::abs(fx) < 3 || std::abs(fy) < 3) return;
    const int64_t at[2] = {x, y}, size[2] = {src->width, src->height}, f[2] = {fx, fy},
                  r[2] = {(int64_t(1) << 32) / fx, (int64_t(1) << 32) / fy},
                  limit[2] = {dst->width - 1, dst->height - 1};
    int64_t lo[2], first[2], last[2];
    for (int k = 0; k < 2; ++k) {
        int64_t span =
            eightBit ? ((size[k] * f[k]) >> 16) - 1 : ((size[k] - 1) * std::abs(f[k])) >> 16;
        lo[k] = f[k] > 0 ? at[k] : at[k] - span;
        first[k] = std::max<int64_t>(lo[k], 0);
        last[k] = std::min(lo[k] + span, limit[k]);
    }
    auto source = [&](int k, int64_t p) {
        return int((((p - lo[k]) * r[k]) >> 16) + (r[k] < 0 ? size[k] - 1 : 0));
    };
    for (int64_t Y = first[1]; Y <= last[1]; ++Y)
        for (int64_t X = first[0]; X <= last[0]; ++X) {
            uint32_t v = pixelAt(src, source(0, X), source(1, Y));
            if (isKeyed(src->pixelType) && v == 0) continue;
            uint8_t index = isIndexed4(src->pixelType) ? cmap[v & 15] : uint8_t(v);
            if (const uint16_t* table = screenTableOf(dst->pixelType))
                setPixelAt(dst, int(X), int(Y), table[index]);
            else
                dst->pixels[Y * dst->rowBytes + X] = index;
        }
}

int32_t randomFactor(Rng& rng) {
    switch (rng.range(0, 6)) {
    case 0: return rng.range(3, 0x4000);
    case 1: return rng.range(0x4000, 0x40000);
    case 2: return -rng.range(3, 0x40000);
    case 3: return int32_t(0x10000) * rng.range(-3, 3);
    case 4: return rng.range(0x10000 - 40, 0x10000 + 40);
    case 5: return rng.range(-2, 2); // too small to draw anything
    default: return rng.range(3, 0x80000);
    }
}

TEST(BitmapScale, BothPathsMatchTheirReferencesOverRandomCases) {
    DrawScene scene(9);
    uint8_t ownColormap[16], currentColormap[16];
    for (int i = 0; i < 16; ++i) {
        ownColormap[i] = uint8_t(17 * i + 3);
        currentColormap[i] = uint8_t(200 + i);
    }
    Rng rng(41);
    int drawn8 = 0;
    for (int round = 0; round < 12000; ++round) {
        RoutineChoice routines(round % 2);
        // Mostly indexed sources (the others only copy, at unit factors),
        // half the destinations 8-bit.
        uint8_t st = uint8_t(rng.range(0, 4) ? rng.range(0, 3) : rng.range(0, PIXEL_ALPHA8));
        uint8_t dt = uint8_t(rng.range(0, 1) ? rng.range(2, 3) : rng.range(0, PIXEL_ALPHA8));
        int sw = rng.range(1, 13), sh = rng.range(1, 11), dw = rng.range(1, 30),
            dh = rng.range(1, 25);
        Owned src = randomBitmap(st, sw, sh, rng.next());
        for (int i = 0; i < sw * sh; ++i) // some transparent pixels
            if (rng.range(0, 3) == 0) src->pixels[(i / sw) * src->rowBytes + i % sw] = 0;
        bool own = isIndexed4(st) && rng.range(0, 1);
        if (own) src->map = ownColormap;
        colormapSetCurrent(rng.range(0, 1) ? currentColormap : nullptr);
        const uint8_t* cmap = own                    ? ownColormap
                              : colormapGetCurrent() ? currentColormap
                                                     : identityColormap;
        const uint32_t seed = rng.next();
        Owned dst = randomBitmap(dt, dw, dh, seed);
        Owned ref = randomBitmap(dt, dw, dh, seed);
        int32_t fx = randomFactor(rng), fy = randomFactor(rng);
        if (round % 8 == 0) fx = fy = 0x10000; // a copy, whatever the types
        int x = rng.range(-2 * sw - 4, dw + 2), y = rng.range(-2 * sh - 4, dh + 2);
        bitmapScale(dst, x, y, src, fx, fy);
        drawn8 += isIndexed8(st) && isIndexed8(dt) && bufferOf(ref) != bufferOf(dst);
        src->map = nullptr; // not the library's to free
        if (fx == 0x10000 && fy == 0x10000 && !(isIndexed8(st) && isIndexed8(dt)))
            bitmapCopy(ref, x, y, src);
        else if (hasMap(st))
            reference(ref, x, y, src, fx, fy, cmap);
        ASSERT_EQ(bufferOf(ref), bufferOf(dst))
            << "types " << int(st) << "->" << int(dt) << " size " << sw << "x" << sh << " at " << x
            << "," << y << " factors " << fx << "," << fy;
    }
    EXPECT_GT(drawn8, 300) << "8-bit rounds that drew";
}

// Factors and positions at the 32-bit limits: nothing is read or written
// outside the bitmaps (the sanitizer build checks every access).
TEST(BitmapScale, ExtremeFactorsStayInside) {
    DrawScene scene(10);
    const int32_t factors[] = {INT32_MIN, -0x7FFFFFFF, -3, 3, 0x7FFFFFFF, 0x10001};
    const int32_t positions[] = {INT32_MIN, -70000, -5, 0, 7, INT32_MAX};
    for (uint8_t st : {PIXEL_CMAP4, PIXEL_PAL8_KEY})
        for (uint8_t dt : {PIXEL_PAL8, PIXEL_RGB565}) {
            Owned src = randomBitmap(st, 9, 7, 4);
            Owned dst = filledBitmap(dt, 11, 6, 0xEE);
            for (int32_t fx : factors)
                for (int32_t fy : factors)
                    for (int32_t p : positions) {
                        bitmapScale(dst, p, 2, src, fx, fy);
                        bitmapScale(dst, 1, p, src, fx, fy);
                    }
            EXPECT_TRUE(outsideHolds(dst, 0xEE)) << "outside written";
        }
}

} // namespace
