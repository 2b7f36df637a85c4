// Pixels, rectangles and lines in palette indexes.
//
// Every entry point chooses the pixel layout once (through the screen
// table of a screen type, else one byte per pixel), clips once, and then
// runs a tight loop with no test of the bitmap bounds. Clipping never
// changes a pixel inside the bitmap: a clipped line sets exactly the
// pixels of the whole line that fall inside. Bottom-up bitmaps (negative
// rowBytes) draw like any other: rows are stepped by the signed stride.
#include "draw/draw.h"

#include "bitmap/bitmap.h"
#include "blit/pixels.h"
#include "wide_int.h"

#include <algorithm>

namespace {

// A Bresenham walk: the first pixel at p, then `count` steps, each one
// pixel along the major axis and, when the error term d is positive
// before the step, one along the minor axis.
struct LineWalk {
    uint8_t* p;
    ptrdiff_t majorStep, minorStep;
    int64_t d, twoMajor, twoMinor, count;
};

template <class Layout>
void walkLine(const Layout& layout, const LineWalk& w) {
    uint8_t* p = w.p;
    int64_t d = w.d;
    layout.put(p);
    for (int64_t i = 0; i < w.count; ++i) {
        if (d > 0) {
            d -= w.twoMajor;
            p += w.minorStep;
        }
        p += w.majorStep;
        d += w.twoMinor;
        layout.put(p);
    }
}

// Narrows [lo, hi] to the steps j at which start + s * j lies in 0..n - 1.
void clipAxis(int64_t start, int s, int64_t n, int64_t& lo, int64_t& hi) {
    if (s > 0) {
        lo = std::max(lo, -start);
        hi = std::min(hi, n - 1 - start);
    } else {
        lo = std::max(lo, start - (n - 1));
        hi = std::min(hi, start);
    }
}

// One line, its end points ordered as given, along a major axis of
// length A (pixels 0..A) with B minor steps in all (B <= A). Pixel j has
// taken k(j) = max(0, ceil((2Bj - A) / 2A)) minor steps: the error term
// before step j is 2Bj - A - 2A k(j - 1), and a step is taken exactly when
// that is positive, which keeps k(j) the smallest k with 2Bj - A <= 2Ak.
struct LineAxes {
    int64_t A, B;
    int64_t m0, n0; // start on the major and minor axis
    int sm, sn;     // directions
    int64_t M, N;   // bitmap extent along each axis
};

int64_t minorStepsAt(const LineAxes& l, int64_t j) {
    Int128 num = mulWide(2 * l.B, j) - wide(l.A);
    if (num <= wide(0)) return 0;
    return floorDiv(num + wide(2 * l.A - 1), 2 * l.A);
}

// The steps j0..j1 of the line that lie inside the bitmap, and the minor
// steps taken by j0. The pixels inside form one unbroken stretch because
// both coordinates move monotonically.
bool clipLine(const LineAxes& l, int64_t& j0, int64_t& j1, int64_t& k0) {
    j0 = 0;
    j1 = l.A;
    clipAxis(l.m0, l.sm, l.M, j0, j1);
    int64_t kLo = 0, kHi = l.B;
    clipAxis(l.n0, l.sn, l.N, kLo, kHi);
    if (j0 > j1 || kLo > kHi) return false;
    // k(j) >= kLo from j = floor((2A kLo - A) / 2B) + 1; k(j) <= kHi up to
    // j = floor((2A kHi + A) / 2B). Both only when B > 0, which holds here.
    if (kLo > 0) {
        int64_t first = floorDiv(mulWide(2 * l.A, kLo) - wide(l.A), 2 * l.B) + 1;
        if (first > j0) j0 = first > j1 ? j1 + 1 : first;
    }
    if (kHi < l.B) {
        int64_t last = floorDiv(mulWide(2 * l.A, kHi) + wide(l.A), 2 * l.B);
        if (last < j1) j1 = last;
    }
    if (j0 > j1) return false;
    k0 = minorStepsAt(l, j0);
    return true;
}

// Draws the line from (x0, y0) to (x1, y1); with `clip` only its pixels
// inside the bitmap, without it the caller guarantees all are inside.
template <class Layout>
void line(const Layout& layout, const bitmap_tag* bm, int64_t x0, int64_t y0, int64_t x1,
          int64_t y1, bool clip) {
    if (y0 == y1) {
        int64_t left = std::min(x0, x1), right = std::max(x0, x1);
        if (clip) {
            if (y0 < 0 || y0 >= bm->height) return;
            left = std::max<int64_t>(left, 0);
            right = std::min<int64_t>(right, bm->width - 1);
            if (left > right) return;
        }
        fillRectIndexed(layout, primitivePixel(bm, left, y0), 0, right - left + 1, 1);
        return;
    }
    // A line with both ends inside lies wholly inside: no clip arithmetic.
    if (clip && x0 >= 0 && x1 >= 0 && y0 >= 0 && y1 >= 0 && x0 < bm->width && x1 < bm->width &&
        y0 < bm->height && y1 < bm->height)
        clip = false;
    int64_t dx = x1 - x0, dy = y1 - y0;
    int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    ptrdiff_t xStep = sx * Layout::bytes, yStep = sy * primitiveStride(bm);
    bool xMajor = adx >= ady;
    LineAxes axes = xMajor ? LineAxes{adx, ady, x0, y0, sx, sy, bm->width, bm->height}
                           : LineAxes{ady, adx, y0, x0, sy, sx, bm->height, bm->width};
    int64_t j0 = 0, j1 = axes.A, k0 = 0;
    if (clip && !clipLine(axes, j0, j1, k0)) return;
    int64_t m = axes.m0 + axes.sm * j0, n = axes.n0 + axes.sn * k0;
    LineWalk walk;
    walk.p = xMajor ? primitivePixel(bm, m, n) : primitivePixel(bm, n, m);
    walk.majorStep = xMajor ? xStep : yStep;
    walk.minorStep = xMajor ? yStep : xStep;
    walk.twoMajor = 2 * axes.A;
    walk.twoMinor = 2 * axes.B;
    walk.d = narrow(mulWide(2 * axes.B, j0 + 1) - wide(axes.A) - mulWide(2 * axes.A, k0));
    walk.count = j1 - j0;
    walkLine(layout, walk);
}

} // namespace

void drawLineUnclipped(bitmap_tag* bm, int32_t color, int32_t x0, int32_t y0, int32_t x1,
                       int32_t y1) {
    withIndexLayout(bm->pixelType, uint32_t(color),
                    [&](const auto& layout) { line(layout, bm, x0, y0, x1, y1, false); });
}

extern "C" {

void drawPixel(bitmap_tag* bm, int32_t color, int32_t x, int32_t y) {
    if (!primitiveUsable(bm) || x < 0 || y < 0 || x >= bm->width || y >= bm->height) return;
    withIndexLayout(bm->pixelType, uint32_t(color),
                    [&](const auto& layout) { layout.put(primitivePixel(bm, x, y)); });
}

void fillRect(bitmap_tag* bm, int32_t color, int32_t x, int32_t y, uint32_t width,
              uint32_t height) {
    if (!primitiveUsable(bm)) return;
    int64_t left = std::max<int64_t>(x, 0), top = std::max<int64_t>(y, 0);
    int64_t right = std::min<int64_t>(int64_t(x) + width, bm->width);
    int64_t bottom = std::min<int64_t>(int64_t(y) + height, bm->height);
    if (left >= right || top >= bottom) return;
    withIndexLayout(bm->pixelType, uint32_t(color), [&](const auto& layout) {
        fillRectIndexed(layout, primitivePixel(bm, left, top), primitiveStride(bm), right - left,
                        bottom - top);
    });
}

void drawLine(bitmap_tag* bm, int32_t color, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    if (!primitiveUsable(bm) || bm->width == 0 || bm->height == 0) return;
    withIndexLayout(bm->pixelType, uint32_t(color),
                    [&](const auto& layout) { line(layout, bm, x0, y0, x1, y1, true); });
}

// The integer parts (toward minus infinity) of 16.16 end points.
void aaLine(bitmap_tag* bm, int32_t color, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    drawLine(bm, color, x0 >> 16, y0 >> 16, x1 >> 16, y1 >> 16);
}

// The colour index at (x, y): the byte, or on the screen types the first
// index whose screen-table pixel equals the stored one (0 when none does).
// Outside the bitmap, or on a record that is not drawable: 0.
int32_t readPixel(const bitmap_tag* bm, int32_t x, int32_t y) {
    if (!primitiveUsable(bm) || x < 0 || y < 0 || x >= bm->width || y >= bm->height) return 0;
    const uint8_t* p = primitivePixel(bm, x, y);
    const uint16_t* table = screenTableOf(bm->pixelType);
    if (!table) return *p;
    uint16_t v = load16(p);
    for (int32_t i = 0; i < 256; ++i)
        if (table[i] == v) return i;
    return 0;
}

// Screen-type pixels give their fields in the top bits of each byte (not
// widened); other types give colorR/G/B of the stored byte. Outside the
// bitmap every component is 0. Null outputs are skipped.
void readPixelRGB(const bitmap_tag* bm, int32_t x, int32_t y, int32_t* r, int32_t* g, int32_t* b) {
    int32_t red = 0, green = 0, blue = 0;
    if (primitiveUsable(bm) && x >= 0 && y >= 0 && x < bm->width && y < bm->height) {
        const uint8_t* p = primitivePixel(bm, x, y);
        if (isScreen16(bm->pixelType)) {
            const PixelTypeInfo& t = *pixelTypeInfo(bm->pixelType);
            uint32_t v = load16(p);
            auto topBits = [v](const PixelChannel& c) { return int32_t(c.get(v) << (8 - c.bits)); };
            red = topBits(t.red);
            green = topBits(t.green);
            blue = topBits(t.blue);
        } else {
            red = colorR(bm, *p);
            green = colorG(bm, *p);
            blue = colorB(bm, *p);
        }
    }
    if (r) *r = red;
    if (g) *g = green;
    if (b) *b = blue;
}

} // extern "C"
