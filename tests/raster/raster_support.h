// Shared pieces of the rasterizer tests: a drawing target with guard bands
// all around it, an exact coverage oracle of the fill convention, random
// polygons, and a straightforward per-pixel textured fill written from the
// rules (no blocks skipped cleverly, no vector code) to compare against.
#pragma once

#include <spanwright/spanwright.h>

#include "raster/spantex.h"
#include "support.h"
#include "wide_int.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace rastertest {

using swtest::Rng;
using swtest::withPlainAndFast;

constexpr int32_t fx(double pixels) {
    return int32_t(pixels * 65536.0);
}

// A target of width x height pixels inside a buffer with `guard` pixels of
// canary bytes on every side. bm addresses the inner target; the guard is
// real memory, so a fill may be told to draw "unclipped" into it.
struct Canvas {
    int width, height, guard, bpp;
    std::vector<uint8_t> memory;
    bitmap_tag bm{};
    static constexpr uint8_t canary = 0xA5;

    // The target starts filled with `fill`.
    Canvas(uint8_t type, int w, int h, int g = 16, uint32_t fill = 0);
    // Pixel (x, y) of the target; x and y may reach into the guard.
    uint32_t at(int x, int y) const { return swtest::pixelAt(&bm, x, y); }
    void put(int x, int y, uint32_t value) { swtest::setPixelAt(&bm, x, y, value); }
    // True when no byte outside the target changed.
    bool guardIntact() const;
    // The target's pixels, row by row.
    std::vector<uint32_t> target() const;
    ClipRect wholeWithGuard() const {
        return ClipRect{-guard, -guard, width + guard, height + guard};
    }
};

// A one-level mip chain made current (and the current palette, colormap
// and mip put back when it dies), its texel at (u, v) given by `texel`.
struct CurrentTexture {
    swtest::SelectionGuard guard;
    mip_tag* mip;
    CurrentTexture(uint8_t type, int w, int h, int rowBytes,
                   const std::function<uint32_t(int u, int v)>& texel);
    ~CurrentTexture();
};

// ----------------------------------------------------------------- oracles

// The row rule, exact for any polygon: in row r the span runs between the
// x of the last edge (in polygon order) that runs down across the row
// centre and the last that runs up across it, each x being the first
// column whose centre is strictly right of the edge, each row computed on
// its own by one exact division. As an image of a w x h target: `value`
// where it fills, 0 elsewhere.
std::vector<uint32_t> rowRuleImage(const std::vector<vertex_tag>& poly, int w, int h,
                                   uint32_t value);

// Random convex polygon: the strict convex hull of random points (3..20
// vertices), started at a random vertex, in either winding. Coordinates
// within [lo, hi] pixels, snapped to `grid` (16.16 units; 1 = any).
std::vector<vertex_tag> randomConvex(swtest::Rng& rng, double lo, double hi, int32_t grid,
                                     int maxPoints = 12);

// Twice the area of a polygon, in 16.16 squared units, without its sign.
Int128 doubledArea(const std::vector<vertex_tag>& poly);

// Draws `poly` through polyBegin / polyVertex / polyEnd in mode `mode`.
void drawPolygon(bitmap_tag* target, int mode, std::vector<vertex_tag> poly);

std::string describe(const std::vector<vertex_tag>& poly);

// ----------------------------------------------------------- textured fill

// What the reference needs of a texture and how a texel becomes a pixel.
struct RefTexture {
    const uint8_t* pixels;
    int texelBytes; // 1 or 2
    int width, height, shift;
    uint32_t mask;
    bool keyed;
    std::function<uint32_t(uint32_t)> convert;
};

// `texture` as span table row `c` draws it, from the rules rather than the
// row's flags: 16-bit texels as they are, 4-bit ones of colormapped rows
// through `colormap`, and 8-bit ones on 16-bit targets through the
// target's screen table.
RefTexture refTextureOf(const bitmap_tag& texture, const TexSpanCase& c, const uint8_t* colormap);

// The textured fill of a convex polygon (fan from vertex 0), every pixel
// per the rules: per-triangle gradients in floats, the exact edge stepper,
// per span one division per block of 8 with the fraction counters stepped
// pixel by pixel, the remainder divided per pixel. Only pixels within
// `clip` are written to `canvas`; rows above it and blocks left of it are
// stepped without drawing.
void referenceTextured(Canvas& canvas, const ClipRect& clip, const std::vector<vertex_tag>& poly,
                       const RefTexture& texture);

// The rounding of the reference: nearest, ties to even, INT32_MIN outside
// the 32-bit range and for NaN.
int32_t refRound(float value);

// One span of the reference (exposed for the span tests): row `row` of
// `canvas`, edges `a`, `b` as the rasterizer hands them, x gradients and
// texture as given, columns clipLeft .. clipRight - 1 written.
void referenceSpan(Canvas& canvas, int row, const texEdge_tag& a, const texEdge_tag& b,
                   const TexGradients& g, const RefTexture& texture, int32_t clipLeft,
                   int32_t clipRight);

} // namespace rastertest
