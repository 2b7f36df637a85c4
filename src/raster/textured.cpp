// Perspective-correct textured polygons: the polygon is cut into a fan of
// triangles; each gets the screen gradients of 1/z, u/z and v/z, is walked
// down its long edge and its two short edges with the exact stepper of the
// flat fill, and is filled row by row by the span routine chosen for the
// target's and the texture's pixel types.
//
// All interpolation is in 32-bit floats in a fixed order of operations (the
// build forbids contraction and reassociation), so a polygon draws the same
// pixels on every build and machine.
//
// What is drawn as nothing: a textured mode with no current mip or a chain
// without levels; a texture the spans cannot address (see texSetTexture);
// a target/texture pair without a span routine; the colormapped routines
// with no current colormap; a triangle whose determinant is 0 in floats.
// A vertex with z <= 0 is the host's error: it is drawn without harm (all
// arithmetic stays defined and every texel read is masked into the
// texture), but what it shows is meaningless.
#include "raster/raster.h"

#include "bitmap/bitmap.h"
#include "mip/mip.h"
#include "raster/fixed.h"

#include <algorithm>
#include <utility>

#if defined(__SSE2__)
#include <xmmintrin.h>
#else
#include <cmath>
#endif

int32_t texMaskU = 0;
int32_t texMaskV = 0;
int32_t texShift = 0;
uint32_t texMask = 0;
const uint8_t* texPixels = nullptr;
TexVertex texVerts[polyMaxVertices];
vertex_tag** texVertexList = nullptr;
float dOowDx, dOowDy, dUozDx, dUozDy, dVozDx, dVozDy;
float dOowDx8, dUozDx8, dVozDx8;
int32_t spanClipLeft = 0, spanClipRight = 0;

int32_t roundToInt(float value) {
#if defined(__SSE2__)
    return _mm_cvtss_si32(_mm_set_ss(value));
#else
    if (!(value >= -2147483648.0f && value < 2147483648.0f)) return INT32_MIN;
    return int32_t(std::nearbyint(value));
#endif
}

namespace {

constexpr int32_t maxTextureSide = 2048;

bool sideOk(int64_t n) {
    return n > 0 && n <= maxTextureSide && (n & (n - 1)) == 0;
}

// One row per routine: target type, texture type, colormapped table, the
// fast routine and its per-pixel reference, and the rows routines built on
// them. 8-bit targets are listed as PIXEL_PAL8 (see spanTargetClass). A pair
// without a row draws nothing.
struct SpanTableRow {
    uint8_t target;
    uint8_t texture;
    bool cmap;
    TexSpanRoutine fast;
    TexSpanRoutine plain;
    TexRowsRoutine fastRows;
    TexRowsRoutine fastRowsInside;
    TexRowsRoutine plainRows;
};

#define SW_SPAN_ROW(target, texture, cmap, name)                                                   \
    { target, texture, cmap, name, name##Plain, name##Rows, name##RowsInside, name##RowsPlain }
constexpr SpanTableRow spanTable[] = {
    // triTextured: 8-bit texels as palette indexes; 16-bit texels only onto
    // their own type. Odd (keyed) texture types skip texel 0.
    SW_SPAN_ROW(PIXEL_PAL8, PIXEL_CMAP4, false, spanTex8),
    SW_SPAN_ROW(PIXEL_PAL8, PIXEL_PAL8, false, spanTex8),
    SW_SPAN_ROW(PIXEL_PAL8, PIXEL_CMAP4_KEY, false, spanTex8Key),
    SW_SPAN_ROW(PIXEL_PAL8, PIXEL_PAL8_KEY, false, spanTex8Key),
    SW_SPAN_ROW(PIXEL_RGB565, PIXEL_CMAP4, false, spanTex8To565),
    SW_SPAN_ROW(PIXEL_RGB565, PIXEL_PAL8, false, spanTex8To565),
    SW_SPAN_ROW(PIXEL_RGB565, PIXEL_CMAP4_KEY, false, spanTex8To565Key),
    SW_SPAN_ROW(PIXEL_RGB565, PIXEL_PAL8_KEY, false, spanTex8To565Key),
    SW_SPAN_ROW(PIXEL_ARGB1555, PIXEL_CMAP4, false, spanTex8To1555),
    SW_SPAN_ROW(PIXEL_ARGB1555, PIXEL_PAL8, false, spanTex8To1555),
    SW_SPAN_ROW(PIXEL_ARGB1555, PIXEL_CMAP4_KEY, false, spanTex8To1555Key),
    SW_SPAN_ROW(PIXEL_ARGB1555, PIXEL_PAL8_KEY, false, spanTex8To1555Key),
    SW_SPAN_ROW(PIXEL_RGB565, PIXEL_RGB565, false, spanTex565),
    SW_SPAN_ROW(PIXEL_ARGB1555, PIXEL_ARGB1555, false, spanTex1555Key),
    // triTexturedCmap: 4-bit texels through the current colormap.
    SW_SPAN_ROW(PIXEL_PAL8, PIXEL_CMAP4, true, spanTexCmap8),
    SW_SPAN_ROW(PIXEL_PAL8, PIXEL_CMAP4_KEY, true, spanTexCmap8Key),
    SW_SPAN_ROW(PIXEL_RGB565, PIXEL_CMAP4, true, spanTexCmapTo565),
    SW_SPAN_ROW(PIXEL_RGB565, PIXEL_CMAP4_KEY, true, spanTexCmapTo565Key),
    SW_SPAN_ROW(PIXEL_ARGB1555, PIXEL_CMAP4, true, spanTexCmapTo1555),
    SW_SPAN_ROW(PIXEL_ARGB1555, PIXEL_CMAP4_KEY, true, spanTexCmapTo1555Key),
};
#undef SW_SPAN_ROW

// Targets of one byte per pixel take the 8-bit spans; 565 and 1555 their
// own; the 16-bit 444 types and the 32-bit types have none.
int spanTargetClass(uint8_t type) {
    switch (type) {
    case PIXEL_CMAP4:
    case PIXEL_CMAP4_KEY:
    case PIXEL_PAL8:
    case PIXEL_PAL8_KEY:
    case PIXEL_ALPHA8: return PIXEL_PAL8;
    case PIXEL_RGB565:
    case PIXEL_ARGB1555: return type;
    default: return -1;
    }
}

const SpanTableRow* spanTableRow(uint8_t targetType, uint8_t textureType, bool cmap) {
    int target = spanTargetClass(targetType);
    for (const SpanTableRow& row : spanTable)
        if (row.target == target && row.texture == textureType && row.cmap == cmap) return &row;
    return nullptr;
}

} // namespace

TexSpanRoutine texSpanFor(uint8_t targetType, uint8_t textureType, bool cmap) {
    const SpanTableRow* row = spanTableRow(targetType, textureType, cmap);
#if defined(SPANWRIGHT_GENERIC_ONLY)
    return row ? row->plain : nullptr;
#else
    return row ? row->fast : nullptr;
#endif
}

TexRows texRowsFor(uint8_t targetType, uint8_t textureType, bool cmap) {
    const SpanTableRow* row = spanTableRow(targetType, textureType, cmap);
    if (!row) return TexRows{nullptr, nullptr};
#if defined(SPANWRIGHT_GENERIC_ONLY)
    return TexRows{row->plainRows, row->plainRows};
#else
    return TexRows{row->fastRows, row->fastRowsInside};
#endif
}

bool texSetTexture(const bitmap_tag* texture) {
    int bytes = bytesPerPixel(texture->pixelType);
    if (!texture->pixels || bytes == 0 || texture->rowBytes % bytes != 0) return false;
    int64_t rowTexels = texture->rowBytes / bytes;
    // A row shorter than the texture would let the wrap mask reach past the
    // last row.
    if (!sideOk(texture->width) || !sideOk(texture->height) || !sideOk(rowTexels) ||
        rowTexels < texture->width)
        return false;
    texMaskU = texture->width - 1;
    texMaskV = texture->height - 1;
    texShift = log2Ceil(int32_t(rowTexels));
    texMask = uint32_t(texMaskV) << texShift | uint32_t(texMaskU);
    texPixels = texture->pixels;
    return true;
}

void texSetVertices(const bitmap_tag* texture, int count, vertex_tag** verts) {
    float w = float(texture->width), h = float(texture->height);
    texVertexList = verts;
    for (int i = 0; i < count; ++i) {
        const vertex_tag* v = verts[i];
        TexVertex& t = texVerts[i];
        t.oow = 1.0f / float(v->z);
        t.uoz = float(v->u) * 0x1p-16f * t.oow * w;
        t.voz = float(v->v) * 0x1p-16f * t.oow * h;
        t.sx = float(v->x) * 0x1p-16f;
        t.sy = float(v->y) * 0x1p-16f;
    }
}

bool triGradients(int a, int b, int c) {
    const TexVertex& p = texVerts[a];
    const TexVertex& q = texVerts[b];
    const TexVertex& r = texVerts[c];
    float dxQR = q.sx - r.sx, dyPR = p.sy - r.sy;
    float dyQR = q.sy - r.sy, dxPR = p.sx - r.sx;
    float d = dxQR * dyPR - dyQR * dxPR;
    if (d == 0.0f) return false;
    float rd = 1.0f / d;
    auto gradient = [&](float pf, float qf, float rf, float& ddx, float& ddy) {
        ddx = ((qf - rf) * dyPR - (pf - rf) * dyQR) * rd;
        ddy = ((pf - rf) * dxQR - (qf - rf) * dxPR) * rd;
    };
    gradient(p.oow, q.oow, r.oow, dOowDx, dOowDy);
    gradient(p.uoz, q.uoz, r.uoz, dUozDx, dUozDy);
    gradient(p.voz, q.voz, r.voz, dVozDx, dVozDy);
    dOowDx8 = 8.0f * dOowDx;
    dUozDx8 = 8.0f * dUozDx;
    dVozDx8 = 8.0f * dVozDx;
    return true;
}

void edgeSetupTex(texEdge_tag* edge, int top, int bottom) {
    const vertex_tag* a = texVertexList[top];
    edgeSetup(&edge->edge, a, texVertexList[bottom]);
    if (edge->edge.rows <= 0) return;
    // Offsets from the top vertex to the centre of the edge's first pixel.
    float ax = float((edge->edge.x << 16) - a->x + 0x8000) * 0x1p-16f;
    float ay = float((int64_t(edge->edge.yStart) << 16) + 0x8000 - a->y) * 0x1p-16f;
    float xStep = float(edge->edge.xStep);
    const TexVertex& t = texVerts[top];
    edge->oow = t.oow + dOowDy * ay + dOowDx * ax;
    edge->oowStep = xStep * dOowDx + dOowDy;
    edge->oowCarry = dOowDx;
    edge->uoz = t.uoz + dUozDy * ay + dUozDx * ax;
    edge->uozStep = xStep * dUozDx + dUozDy;
    edge->uozCarry = dUozDx;
    edge->voz = t.voz + dVozDy * ay + dVozDx * ax;
    edge->vozStep = xStep * dVozDx + dVozDy;
    edge->vozCarry = dVozDx;
}

namespace {

// Sorts the triangle top to bottom, sets its gradients and its three edges;
// false when it has no area.
bool triSetup(int i0, int i1, int i2, texEdge_tag* longEdge, texEdge_tag* upper,
              texEdge_tag* lower) {
    auto y = [](int i) { return texVertexList[i]->y; };
    if (y(i0) > y(i1)) std::swap(i0, i1);
    if (y(i0) > y(i2)) std::swap(i0, i2);
    if (y(i1) > y(i2)) std::swap(i1, i2);
    if (!triGradients(i0, i1, i2)) return false;
    edgeSetupTex(longEdge, i0, i2);
    edgeSetupTex(upper, i0, i1);
    edgeSetupTex(lower, i1, i2);
    return true;
}

} // namespace

void triTexturedSpan(bitmap_tag* target, const ClipRect& clip, int i0, int i1, int i2,
                     TexSpanRoutine span) {
    texEdge_tag longEdge, upper, lower;
    if (clip.left >= clip.right || !triSetup(i0, i1, i2, &longEdge, &upper, &lower)) return;
    spanClipLeft = clip.left;
    spanClipRight = clip.right;
    texWalkTriangle(
        target, clip, longEdge, upper, lower,
        [span](uint8_t* row, const texEdge_tag* a, const texEdge_tag* b) { span(row, a, b); });
}

void triTexturedRows(bitmap_tag* target, const ClipRect& clip, int i0, int i1, int i2,
                     TexRowsRoutine rows) {
    texEdge_tag longEdge, upper, lower;
    if (clip.left >= clip.right || !triSetup(i0, i1, i2, &longEdge, &upper, &lower)) return;
    spanClipLeft = clip.left;
    spanClipRight = clip.right;
    rows(target, clip, &longEdge, &upper, &lower);
}

namespace {

void triTexturedTable(bitmap_tag* target, bitmap_tag* texture, int i0, int i1, int i2, bool cmap) {
    if (!targetDrawable(target) || !texture) return;
    TexSpanRoutine span = texSpanFor(target->pixelType, texture->pixelType, cmap);
    if (!span || (cmap && !colormapCurrent)) return;
    triTexturedSpan(target, targetClip(target), i0, i1, i2, span);
}

} // namespace

void triTextured(bitmap_tag* target, bitmap_tag* texture, int i0, int i1, int i2) {
    triTexturedTable(target, texture, i0, i1, i2, false);
}

void triTexturedCmap(bitmap_tag* target, bitmap_tag* texture, int i0, int i1, int i2) {
    triTexturedTable(target, texture, i0, i1, i2, true);
}

void polyTexturedClip(bitmap_tag* target, int count, vertex_tag** verts, const ClipRect& clip,
                      bool cmap) {
    if (!target || !target->pixels || count < 3 || !verts) return;
    count = std::min(count, polyMaxVertices);
    if (!mipCurrent || mipCurrent->levels == 0) return;
    bitmap_tag* texture = &mipCurrent->level[0];
    TexRows routines = texRowsFor(target->pixelType, texture->pixelType, cmap);
    if (!routines.clipped || (cmap && !colormapCurrent) || !texSetTexture(texture)) return;
    texSetVertices(texture, count, verts);
    int64_t firstRow, lastRow;
    TexRowsRoutine fill =
        polygonInside(count, verts, clip, &firstRow, &lastRow) ? routines.inside : routines.clipped;
    for (int i = 1; i + 1 < count; ++i)
        triTexturedRows(target, clip, 0, i, i + 1, fill);
}

void polyTextured(bitmap_tag* target, int count, vertex_tag** verts) {
    if (targetDrawable(target)) polyTexturedClip(target, count, verts, targetClip(target), false);
}

void polyTexturedCmap(bitmap_tag* target, int count, vertex_tag** verts) {
    if (targetDrawable(target)) polyTexturedClip(target, count, verts, targetClip(target), true);
}
