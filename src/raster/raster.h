// Internal interface of the polygon rasterizer: the polygon state, the
// exact edge stepper shared by the flat and the textured fill, the row
// writers of the flat fill, and the set-up the texture spans read.
//
// Coordinates are 16.16 fixed point; pixel c covers c .. c + 1 and its
// centre is c + 0.5. A pixel is filled when its centre lies strictly below
// the top boundary and on or above the bottom one, strictly right of the
// left boundary and on or left of the right one, so polygons sharing an
// edge never both fill a pixel along it and leave no gap.
//
// Clipping: every fill writes only the pixels of a clip rectangle (the
// whole target when called through polyEnd), and those pixels are exactly
// what the fill would draw without the rectangle. Edges skip rows above the
// rectangle in one step (flat) or by stepping their interpolated values
// row by row (textured, where the float sums must be replayed to stay
// exact); spans are cut once per row. Nothing costs per clipped pixel
// except the block-by-block advance of a textured span that starts left of
// the rectangle.
#pragma once

#include <spanwright/spanwright.h>

#include "fastpath.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>

// ------------------------------------------------------------ polygon state

constexpr int polyMaxVertices = 20;

using PolyRoutine = void (*)(bitmap_tag* target, int count, vertex_tag** verts);
using TriRoutine = void (*)(bitmap_tag* target, vertex_tag* v0, vertex_tag* v1, vertex_tag* v2);

extern uint8_t polyMode;
extern bitmap_tag* polyTarget;
extern int32_t polyCount;
extern vertex_tag* polyVerts[polyMaxVertices];
extern uint8_t polyEnabled;
extern PolyRoutine polyRoutine;
extern TriRoutine triRoutine;

// The triangle routine of modes 1..3: draws nothing.
void triNone(bitmap_tag* target, vertex_tag* v0, vertex_tag* v1, vertex_tag* v2);

// The rectangle of target pixels a fill may write: columns left .. right - 1
// and rows top .. bottom - 1, in the target's own coordinates. It may reach
// outside the target only when the caller guarantees the memory (tests draw
// "unclipped" that way into a larger buffer around the target).
struct ClipRect {
    int32_t left, top, right, bottom;
};

// True for a bitmap a fill can draw into: non-null, with pixels, width and
// height above 0.
bool targetDrawable(const bitmap_tag* target);
// The whole target as a clip rectangle.
ClipRect targetClip(const bitmap_tag* target);

// The rows and columns a polygon's edges can produce lie within the box its
// vertices span (by the same rounding rules): true when that box lies in
// `clip`, so that the polygon can be filled without clipping. `firstRow`
// and `lastRow` get the rows of the box.
inline bool polygonInside(int count, vertex_tag** verts, const ClipRect& clip, int64_t* firstRow,
                          int64_t* lastRow) {
    int32_t minX = verts[0]->x, maxX = minX, minY = verts[0]->y, maxY = minY;
    for (int i = 1; i < count; ++i) {
        const vertex_tag* v = verts[i];
        minX = v->x < minX ? v->x : minX;
        maxX = v->x > maxX ? v->x : maxX;
        minY = v->y < minY ? v->y : minY;
        maxY = v->y > maxY ? v->y : maxY;
    }
    *firstRow = (int64_t(minY) + 0x8000) >> 16;
    *lastRow = (int64_t(maxY) - 0x8000) >> 16;
    int64_t firstCol = (int64_t(minX) + 0x8000) >> 16, lastCol = (int64_t(maxX) + 0x8000) >> 16;
    return *firstRow >= clip.top && *lastRow < clip.bottom && firstCol >= clip.left &&
           lastCol <= clip.right;
}

// ------------------------------------------------------------- edge stepper

// One edge being stepped down the screen, one row at a time. At every row
// x is the first column whose centre lies strictly right of the edge, that
// is floor(edge x at the row centre + 0.5) computed exactly, with err / dy
// the fraction dropped. The fields are 64-bit so that vertices anywhere in
// the 16.16 range step without overflow; for on-target polygons they hold
// what a 32-bit stepper would.
struct edge_tag {
    int64_t stepRem; // remainder of the per-row x step, 0 <= stepRem < dy
    int64_t dy;      // edge height in 16.16, > 0
    int64_t err;     // running remainder of x; reaching dy carries 1 into x
    int32_t yStart;  // first row the edge covers (the current row while walking)
    int32_t rows;    // rows covered from yStart on; 0 or less means none
    int64_t x;       // pixel x for the current row
    int64_t xStep;   // whole part of the per-row step, rounded down
};

// Sets up the edge from `top` down to `bottom` (top.y <= bottom.y). An edge
// covers the rows whose centre lies in (top.y, bottom.y]. x is rounded down
// (also left of the target, so a whole-pixel move of a polygon moves its
// pixels by the same amount).
void edgeSetup(edge_tag* edge, const vertex_tag* top, const vertex_tag* bottom);

inline void edgeStep(edge_tag* e) {
    e->x += e->xStep;
    e->err += e->stepRem;
    if (e->err >= e->dy) {
        e->x += 1;
        e->err -= e->dy;
    }
}

// Advances the edge by k rows (0 <= k < rows) at the cost of one division.
void edgeSkip(edge_tag* e, int32_t k);

// ---------------------------------------------------------------- flat fill

// The row tables cover this many rows of a polygon at once; taller polygons
// are filled in bands of this height.
constexpr int rowTableSize = 4096;
extern int32_t edgeTableDown[rowTableSize];
extern int32_t edgeTableUp[rowTableSize];

// The polygon routine of mode 0: a polygon in the colour of vertex 0 (low
// 8 bits), clipped to the target.
void polyFlat(bitmap_tag* target, int count, vertex_tag** verts);
// As polyFlat within `clip`.
void polyFlatClip(bitmap_tag* target, int count, vertex_tag** verts, const ClipRect& clip);

// Fills rows first .. last of the target, each between its entries of the
// two row tables (from index entry on), with the low 8 or 16 bits of
// `fill`; a span runs from the smaller x to the larger, that pixel
// excluded.
using FlatRowsRoutine = void (*)(const bitmap_tag* target, int64_t first, int64_t last,
                                 int64_t entry, uint32_t fill);
// The flat fill's rows routines for a target type: 16-bit pixels for the
// screen types, one byte for every other type.
RoutinePair<FlatRowsRoutine> flatRowsFor(uint8_t targetType);

// The rows loop around a span writer (row address, xa, xb, fill), which it
// inlines.
template <void (*span)(uint8_t* row, int32_t xa, int32_t xb, uint32_t fill)>
inline void fillFlatRows(const bitmap_tag* target, int64_t first, int64_t last, int64_t entry,
                         uint32_t fill) {
    uint8_t* row = target->pixels + first * target->rowBytes;
    const int32_t rowBytes = target->rowBytes;
    const int32_t* down = edgeTableDown + entry;
    const int32_t* up = edgeTableUp + entry;
    for (int64_t r = 0; r <= last - first; ++r) {
        span(row, down[r], up[r], fill);
        row += rowBytes;
    }
}

// ------------------------------------------------------------ textured fill

// One vertex as the textured fill sees it.
struct TexVertex {
    float oow; // 1 / z
    float uoz; // u in texels / z
    float voz; // v in texels / z
    float sx;  // screen x in pixels
    float sy;  // screen y in pixels
};

// The polygon being drawn: the host's vertices (whose integer x and y the
// edge stepper reads) and their values for the textured fill.
struct TexPolygon {
    vertex_tag** verts;
    TexVertex tex[polyMaxVertices];
};

// Plane gradients of a triangle, per pixel and per block of 8 pixels.
struct TexGradients {
    float dOowDx, dOowDy, dUozDx, dUozDy, dVozDx, dVozDy;
    float dOowDx8, dUozDx8, dVozDx8;
};

// Everything the texture spans of a triangle read besides its edges. The
// polygon routine sets the texture, clip and colour tables once; the
// triangle set-up sets the gradients.
struct TexSpanSetup {
    const uint8_t* texPixels;
    int32_t texShift; // log2 of the row length in texels
    uint32_t texMask; // wrap mask of a combined offset u + (v << texShift)
    TexGradients gradients;
    ClipRect clip; // the pixels the spans may write
    // The current colormap (colormapped spans); the target's screen table
    // (16-bit targets of 8-bit texels); and for colormapped spans onto
    // such a target, the screen pixel of each colormap entry.
    const uint8_t* colormap;
    const uint16_t* screenTable;
    uint16_t colormapScreen[16];
};

// An edge of a textured triangle: the integer stepper and the values of
// 1/z, u/z and v/z at the centre of pixel (x, current row), with their
// change per row step and per x carry.
struct texEdge_tag {
    edge_tag edge;
    float oow, oowStep, oowCarry;
    float uoz, uozStep, uozCarry;
    float voz, vozStep, vozCarry;
};

// Without a branch: whether an edge carries changes from row to row in no
// pattern a predictor learns. The sums with the carry step are formed on
// every row and kept only on a carry (the same additions as a branch would
// make).
inline void texEdgeStep(texEdge_tag* e) {
    e->edge.x += e->edge.xStep;
    float oow = e->oow + e->oowStep;
    float uoz = e->uoz + e->uozStep;
    float voz = e->voz + e->vozStep;
    const float oowCarried = oow + e->oowCarry;
    const float uozCarried = uoz + e->uozCarry;
    const float vozCarried = voz + e->vozCarry;
    e->edge.err += e->edge.stepRem;
    const bool carry = e->edge.err >= e->edge.dy;
    e->edge.x += carry;
    e->edge.err -= carry ? e->edge.dy : 0;
    e->oow = carry ? oowCarried : oow;
    e->uoz = carry ? uozCarried : uoz;
    e->voz = carry ? vozCarried : voz;
}

// Polygon routines of modes 4..7 (texture: level 0 of the current mip).
void polyTextured(bitmap_tag* target, int count, vertex_tag** verts);
void polyTexturedCmap(bitmap_tag* target, int count, vertex_tag** verts);
// As the two above within `clip`; `cmap` picks the colormapped table.
void polyTexturedClip(bitmap_tag* target, int count, vertex_tag** verts, const ClipRect& clip,
                      bool cmap);

// Fills the rows of one triangle within setup.clip: the long edge beside
// the upper short edge, then beside the lower one. A span routine with the
// walk around it, so that what the span needs is set up once per triangle.
using TexRowsRoutine = void (*)(bitmap_tag* target, const TexSpanSetup& setup,
                                const texEdge_tag& longEdge, const texEdge_tag& upper,
                                const texEdge_tag& lower);
// The rows routines of one span routine: clipping, and for triangles
// inside the clip with the clip compiled out (the same pixels, less work
// per row).
struct TexRowsRoutines {
    RoutinePair<TexRowsRoutine> clipped, inside;
};
// The row of the span table serving a target and a texture (colormapped
// or not); -1 when none does.
int texSpanCaseFor(uint8_t targetType, uint8_t textureType, bool cmap);
TexRowsRoutines texRowsRoutines(int spanCase);

// Walks the rows of a triangle and calls span(row address, long edge, short
// edge) for each row within the clip. Rows above the clip are stepped
// without drawing: the float sums must see every step to stay exact. The
// edges are copies, so that the compiler may keep them in registers while
// the span writes pixels. clipped = false leaves the clip out altogether,
// for triangles that lie inside it.
template <bool clipped = true, class Span>
inline void texWalkTriangle(bitmap_tag* target, const ClipRect& clip, texEdge_tag longCopy,
                            texEdge_tag upperCopy, texEdge_tag lowerCopy, Span&& span) {
    texEdge_tag* longEdge = &longCopy;
    for (texEdge_tag* shortEdge : {&upperCopy, &lowerCopy}) {
        int32_t rows = shortEdge->edge.rows;
        if (rows <= 0) continue;
        int64_t row = shortEdge->edge.yStart;
        if (clipped) {
            int64_t hidden = int64_t(clip.top) - row;
            hidden = hidden < 0 ? 0 : hidden > rows ? rows : hidden;
            for (int64_t i = 0; i < hidden; ++i) {
                texEdgeStep(longEdge);
                texEdgeStep(shortEdge);
            }
            row += hidden;
            rows -= int32_t(hidden);
        }
        uint8_t* address = target->pixels + row * target->rowBytes;
        for (; rows > 0; --rows, ++row) {
            if (clipped && row >= clip.bottom) return;
            span(address, longEdge, shortEdge);
            texEdgeStep(longEdge);
            texEdgeStep(shortEdge);
            address += target->rowBytes;
        }
    }
}

// Sets the texture fields of `setup` from `texture`; false (and nothing
// set) when the texture cannot be drawn: no pixels, an unknown pixel type,
// a width, height or row length in texels that is not a power of two in
// 1..2048, or a row shorter than the width (the wrap mask would reach past
// the last row).
bool texSetTexture(TexSpanSetup* setup, const bitmap_tag* texture);
// Fills `poly` for the vertices of `verts` with `texture`'s size.
void texSetVertices(TexPolygon* poly, const bitmap_tag* texture, int count, vertex_tag** verts);
// Sets the gradients of the triangle a, b, c of `poly`; false when its
// determinant is 0 (no area), and then nothing is drawn.
bool triGradients(TexGradients* g, const TexPolygon& poly, int a, int b, int c);
// Sets up the edge from vertex index `top` down to `bottom`.
void edgeSetupTex(texEdge_tag* edge, const TexPolygon& poly, const TexGradients& g, int top,
                  int bottom);
// Fills the triangle i0, i1, i2 of `poly` with `rows`, after setting the
// gradients of `setup` for it.
void triTexturedRows(bitmap_tag* target, TexSpanSetup& setup, const TexPolygon& poly, int i0,
                     int i1, int i2, TexRowsRoutine rows);

// The textured fill is exact to the bit only if every float operation
// rounds to float, as SSE does; x87 extended precision would change pixels.
static_assert(FLT_EVAL_METHOD == 0, "float arithmetic must round to float");

// Rounds to the nearest integer, ties to even (what the processor's
// conversion does in its default rounding mode); values outside the 32-bit
// range and NaN give INT32_MIN.
inline int32_t roundToInt(float value) {
    // Below 2^21 in size, value + 1.5 * 2^23 lies well inside 2^23 .. 2^24,
    // where floats are whole numbers: the addition rounds value to a whole
    // number (nearest, ties to even), found in the low 23 bits as 2^22 more.
    if (std::fabs(value) < 0x1p21f) {
        const float shifted = value + 0x1.8p23f;
        uint32_t bits;
        std::memcpy(&bits, &shifted, 4);
        return int32_t(bits & 0x7FFFFF) - 0x400000;
    }
    if (!(value >= -2147483648.0f && value < 2147483648.0f)) return INT32_MIN;
    // From 2^23 on every float is whole; below, the same rounding by 2^23.
    const float magnitude = std::fabs(value);
    if (magnitude < 0x1p23f) value = std::copysign((magnitude + 0x1p23f) - 0x1p23f, value);
    return int32_t(value);
}
