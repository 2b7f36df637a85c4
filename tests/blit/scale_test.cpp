// bitmapScale: the documented shapes, both paths against per-pixel
// references of their formulas over random types, sizes, factors (too
// small to draw among them) and positions,
// the fast 8-bit path against the plain one, and factors at the limits.
#include "bitmap/bitmap.h"
#include "support.h"

#include <gtest/gtest.h>

#include <vector>

using swtest::bufferOf;
using swtest::filledBitmap;
using swtest::pixelAt;
using swtest::Rng;

namespace {

// Source pixel (x, y) = 16 y + x + 1: never 0, so keyed sources draw it.
bitmap_tag* numbered(uint8_t type, int w, int h) {
    bitmap_tag* bm = filledBitmap(type, w, h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            swtest::setPixelAt(bm, x, y, uint32_t(16 * y + x + 1));
    return bm;
}

// Which source column (row) each destination column (row) shows: from
// `first` on, the listed ones; elsewhere nothing is drawn.
struct Shows {
    int first;
    std::vector<int> sources;
    int at(int p) const {
        return p >= first && p - first < int(sources.size()) ? sources[p - first] : -1;
    }
};

struct Shape {
    const char* name;
    uint8_t st, dt;
    int sw, sh, dw, dh, x, y;
    int32_t fx, fy;
    Shows columns, rows;
};

// The documented shapes; pixels not drawn keep their 0xEE bytes.
TEST(BitmapScale, DocumentedShapes) {
    swtest::DrawScene scene(4);
    colormapSetCurrent(nullptr);
    const Shape shapes[] = {
        // Column i of the unclipped image shows source column (i x recip) >> 16
        // (recip = 2^32 / factor, truncated: 43690 for 1.5).
        Shape{"fast path clipped left", PIXEL_PAL8, PIXEL_PAL8, 8, 2, 20, 4, -5, 0, 0x18000,
              0x10000, Shows{0, {3, 3, 4, 5, 5, 6, 7}}, Shows{0, {0, 1}}},
        // At 1.5 a 10-pixel row is 15 columns on the fast path, and
        // ((10 - 1) * 1.5) >> 16 + 1 = 14 on the general one.
        Shape{"fast path size", PIXEL_PAL8, PIXEL_PAL8, 10, 1, 30, 3, 0, 0, 0x18000, 0x10000,
              Shows{0, {0, 0, 1, 1, 2, 3, 3, 4, 5, 5, 6, 7, 7, 8, 9}}, Shows{0, {0}}},
        Shape{"general path size", PIXEL_CMAP4, PIXEL_PAL8, 10, 1, 30, 3, 0, 0, 0x18000, 0x10000,
              Shows{0, {0, 0, 1, 1, 2, 3, 3, 4, 5, 5, 6, 7, 7, 8}}, Shows{0, {0}}},
        // Every destination type but the screen types takes the index as one
        // byte: the inclusive box of ((4 - 1) x 2) + 1 = 7 x 7 pixels.
        Shape{"general path onto ALPHA8", PIXEL_PAL8, PIXEL_ALPHA8, 4, 4, 8, 8, 0, 0, 0x20000,
              0x20000, Shows{0, {0, 0, 1, 1, 2, 2, 3}}, Shows{0, {0, 0, 1, 1, 2, 2, 3}}},
    };
    for (const Shape& c : shapes) {
        swtest::Owned src = numbered(c.st, c.sw, c.sh);
        swtest::Owned dst = filledBitmap(c.dt, c.dw, c.dh, 0xEE);
        bitmapScale(dst, c.x, c.y, src, c.fx, c.fy);
        for (int y = 0; y < c.dh; ++y)
            for (int x = 0; x < c.dw; ++x) {
                int sx = c.columns.at(x), sy = c.rows.at(y);
                EXPECT_EQ(pixelAt(dst, x, y), sx >= 0 && sy >= 0 ? pixelAt(src, sx, sy) : 0xEE)
                    << c.name << " at " << x << "," << y;
            }
    }
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
            uint32_t v = pixelAt(src, int((i * rx) >> 16), int((j * ry) >> 16));
            if (!(isKeyed(src->pixelType) && v == 0)) swtest::setPixelAt(dst, int(X), int(Y), v);
        }
}

// The general path, written from its rule with a bounds test per pixel:
// the screen types take the table pixel, every other type one byte at
// byte X of the row.
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
    for (int64_t Y = std::max<int64_t>(top, 0); Y <= std::min<int64_t>(bottom, dst->height - 1);
         ++Y)
        for (int64_t X = std::max<int64_t>(left, 0); X <= std::min<int64_t>(right, dst->width - 1);
             ++X) {
            int64_t sx = (((X - left) * rx) >> 16) + (rx < 0 ? src->width - 1 : 0);
            int64_t sy = (((Y - top) * ry) >> 16) + (ry < 0 ? src->height - 1 : 0);
            uint32_t v = pixelAt(src, int(sx), int(sy));
            if (isKeyed(src->pixelType) && v == 0) continue;
            uint8_t index = isIndexed4(src->pixelType) ? cmap[v & 15] : uint8_t(v);
            if (const uint16_t* table = screenTableOf(dst->pixelType))
                swtest::setPixelAt(dst, int(X), int(Y), table[index]);
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
    swtest::DrawScene scene(9);
    uint8_t ownColormap[16], currentColormap[16];
    for (int i = 0; i < 16; ++i) {
        ownColormap[i] = uint8_t(17 * i + 3);
        currentColormap[i] = uint8_t(200 + i);
    }
    Rng rng(41);
    for (int round = 0; round < 3000; ++round) {
        // Mostly indexed sources; the others only copy, at unit factors.
        uint8_t st = uint8_t(rng.range(0, 4) ? rng.range(0, 3) : rng.range(0, PIXEL_ALPHA8));
        uint8_t dt = uint8_t(rng.range(0, PIXEL_ALPHA8));
        int sw = rng.range(1, 13), sh = rng.range(1, 11), dw = rng.range(1, 30),
            dh = rng.range(1, 25);
        swtest::Owned src = swtest::randomBitmap(st, sw, sh, rng.next());
        for (int i = 0; i < sw * sh; ++i) // some transparent pixels
            if (rng.range(0, 3) == 0) src->pixels[(i / sw) * src->rowBytes + i % sw] = 0;
        bool own = isIndexed4(st) && rng.range(0, 1);
        if (own) src->map = ownColormap;
        colormapSetCurrent(rng.range(0, 1) ? currentColormap : nullptr);
        const uint8_t* cmap = own                    ? ownColormap
                              : colormapGetCurrent() ? currentColormap
                                                     : identityColormap;
        const uint32_t seed = rng.next();
        swtest::Owned dst = swtest::randomBitmap(dt, dw, dh, seed);
        swtest::Owned ref = swtest::randomBitmap(dt, dw, dh, seed);
        int32_t fx = randomFactor(rng), fy = randomFactor(rng);
        if (round % 8 == 0) fx = fy = 0x10000; // a copy, whatever the types
        int x = rng.range(-2 * sw - 4, dw + 2), y = rng.range(-2 * sh - 4, dh + 2);
        bitmapScale(dst, x, y, src, fx, fy);
        src->map = nullptr; // not the library's to free
        if (isIndexed8(st) && isIndexed8(dt))
            referenceFast(ref, x, y, src, fx, fy);
        else if (fx == 0x10000 && fy == 0x10000)
            bitmapCopy(ref, x, y, src);
        else if (hasMap(st) && std::abs(fx) >= 3 && std::abs(fy) >= 3)
            referenceGeneral(ref, x, y, src, fx, fy, cmap);
        ASSERT_EQ(bufferOf(ref), bufferOf(dst))
            << "types " << int(st) << "->" << int(dt) << " size " << sw << "x" << sh << " at " << x
            << "," << y << " factors " << fx << "," << fy;
    }
}

// The fast 8-bit path against the plain one: seeded random sources (a
// third of the pixels 0), destinations, factors (magnifying, shrinking,
// near 1), positions cut by every edge, keyed and opaque. Every byte of
// the destination buffer must agree.
TEST(BitmapScale, FastPalettePathEqualsThePlainOne) {
    Rng rng(4242);
    int drawn = 0;
    for (int round = 0; round < 600; ++round) {
        const int sw = rng.range(1, 40), sh = rng.range(1, 30);
        const int dw = rng.range(1, 70), dh = rng.range(1, 50);
        swtest::Owned src =
            swtest::randomBitmap(round % 2 ? PIXEL_PAL8_KEY : PIXEL_PAL8, sw, sh, rng.next());
        for (int i = 0; i < sw * sh; ++i)
            if (rng.range(0, 2) == 0) src->pixels[(i / sw) * src->rowBytes + i % sw] = 0;
        const uint32_t seed = rng.next();
        swtest::Owned fast = swtest::randomBitmap(PIXEL_PAL8, dw, dh, seed);
        swtest::Owned plain = swtest::randomBitmap(PIXEL_PAL8, dw, dh, seed);
        const int32_t factors[] = {3, 0x8000, 0xFFFF, 0x10000, 0x10001, 0x18000, 0x20000, 0x53219};
        int32_t fx = rng.range(0, 2) ? factors[rng.range(0, 7)] : rng.range(3, 0x60000);
        int32_t fy = rng.range(0, 2) ? factors[rng.range(0, 7)] : rng.range(3, 0x60000);
        int32_t x = rng.range(-2 * sw, dw), y = rng.range(-2 * sh, dh);
        const std::vector<uint8_t> before = bufferOf(fast);
        for (bitmap_tag* dst : {(bitmap_tag*)fast, (bitmap_tag*)plain}) {
            swtest::RoutineChoice routines(dst == plain);
            bitmapScale(dst, x, y, src, fx, fy);
        }
        ASSERT_EQ(bufferOf(fast), bufferOf(plain)) << "round " << round;
        drawn += bufferOf(fast) != before;
    }
    EXPECT_GT(drawn, 300);
}

// Factors and positions at the 32-bit limits: nothing is read or written
// outside the bitmaps (the sanitizer build checks every access).
TEST(BitmapScale, ExtremeFactorsStayInside) {
    swtest::DrawScene scene(10);
    const int32_t factors[] = {INT32_MIN, -0x7FFFFFFF, -3, 3, 0x7FFFFFFF, 0x10001};
    const int32_t positions[] = {INT32_MIN, -70000, -5, 0, 7, INT32_MAX};
    for (uint8_t st : {PIXEL_CMAP4, PIXEL_PAL8_KEY})
        for (uint8_t dt : {PIXEL_PAL8, PIXEL_RGB565}) {
            swtest::Owned src = numbered(st, 9, 7);
            swtest::Owned dst = filledBitmap(dt, 11, 6, 0xEE);
            for (int32_t fx : factors)
                for (int32_t fy : factors)
                    for (int32_t p : positions) {
                        bitmapScale(dst, p, 2, src, fx, fy);
                        bitmapScale(dst, 1, p, src, fx, fy);
                    }
            for (int y = 0; y <= 6; ++y)
                for (int b = (y < 6 ? 11 * pixelBitDepthLog2(dt) : 0); b < dst->rowBytes; ++b)
                    EXPECT_EQ(dst->pixels[y * dst->rowBytes + b], 0xEE) << "outside written";
        }
}

} // namespace
