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
// a target/texture pair without a span routine (see spantex.h); the
// colormapped routines with no current colormap; a triangle whose
// determinant is 0 in floats.
// A vertex with z <= 0 is the host's error: it is drawn without harm (all
// arithmetic stays defined and every texel read is masked into the
// texture), but what it shows is meaningless.
#include "raster/raster.h"

#include "bitmap/bitmap.h"
#include "mip/mip.h"
#include "raster/fixed.h"

#include <algorithm>
#include <utility>

namespace {

constexpr int32_t maxTextureSide = 2048;

bool sideOk(int64_t n) {
    return n > 0 && n <= maxTextureSide && (n & (n - 1)) == 0;
}

} // namespace

bool texSetTexture(TexSpanSetup* setup, const bitmap_tag* texture) {
    int bytes = bytesPerPixel(texture->pixelType);
    if (!texture->pixels || bytes == 0 || texture->rowBytes % bytes != 0) return false;
    int64_t rowTexels = texture->rowBytes / bytes;
    // A row shorter than the texture would let the wrap mask reach past the
    // last row.
    if (!sideOk(texture->width) || !sideOk(texture->height) || !sideOk(rowTexels) ||
        rowTexels < texture->width)
        return false;
    setup->texShift = log2Ceil(int32_t(rowTexels));
    setup->texMask =
        uint32_t(texture->height - 1) << setup->texShift | uint32_t(texture->width - 1);
    setup->texPixels = texture->pixels;
    return true;
}

void texSetVertices(TexPolygon* poly, const bitmap_tag* texture, int count, vertex_tag** verts) {
    float w = float(texture->width), h = float(texture->height);
    poly->verts = verts;
    for (int i = 0; i < count; ++i) {
        const vertex_tag* v = verts[i];
        TexVertex& t = poly->tex[i];
        t.oow = 1.0f / float(v->z);
        t.uoz = float(v->u) * 0x1p-16f * t.oow * w;
        t.voz = float(v->v) * 0x1p-16f * t.oow * h;
        t.sx = float(v->x) * 0x1p-16f;
        t.sy = float(v->y) * 0x1p-16f;
    }
}

bool triGradients(TexGradients* g, const TexPolygon& poly, int a, int b, int c) {
    const TexVertex& p = poly.tex[a];
    const TexVertex& q = poly.tex[b];
    const TexVertex& r = poly.tex[c];
    float dxQR = q.sx - r.sx, dyPR = p.sy - r.sy;
    float dyQR = q.sy - r.sy, dxPR = p.sx - r.sx;
    float d = dxQR * dyPR - dyQR * dxPR;
    if (d == 0.0f) return false;
    float rd = 1.0f / d;
    auto gradient = [&](float pf, float qf, float rf, float& ddx, float& ddy) {
        ddx = ((qf - rf) * dyPR - (pf - rf) * dyQR) * rd;
        ddy = ((pf - rf) * dxQR - (qf - rf) * dxPR) * rd;
    };
    gradient(p.oow, q.oow, r.oow, g->dOowDx, g->dOowDy);
    gradient(p.uoz, q.uoz, r.uoz, g->dUozDx, g->dUozDy);
    gradient(p.voz, q.voz, r.voz, g->dVozDx, g->dVozDy);
    g->dOowDx8 = 8.0f * g->dOowDx;
    g->dUozDx8 = 8.0f * g->dUozDx;
    g->dVozDx8 = 8.0f * g->dVozDx;
    return true;
}

void edgeSetupTex(texEdge_tag* edge, const TexPolygon& poly, const TexGradients& g, int top,
                  int bottom) {
    const vertex_tag* a = poly.verts[top];
    edgeSetup(&edge->edge, a, poly.verts[bottom]);
    if (edge->edge.rows <= 0) return;
    // Offsets from the top vertex to the centre of the edge's first pixel.
    float ax = float((edge->edge.x << 16) - a->x + 0x8000) * 0x1p-16f;
    float ay = float((int64_t(edge->edge.yStart) << 16) + 0x8000 - a->y) * 0x1p-16f;
    float xStep = float(edge->edge.xStep);
    const TexVertex& t = poly.tex[top];
    edge->oow = t.oow + g.dOowDy * ay + g.dOowDx * ax;
    edge->oowStep = xStep * g.dOowDx + g.dOowDy;
    edge->oowCarry = g.dOowDx;
    edge->uoz = t.uoz + g.dUozDy * ay + g.dUozDx * ax;
    edge->uozStep = xStep * g.dUozDx + g.dUozDy;
    edge->uozCarry = g.dUozDx;
    edge->voz = t.voz + g.dVozDy * ay + g.dVozDx * ax;
    edge->vozStep = xStep * g.dVozDx + g.dVozDy;
    edge->vozCarry = g.dVozDx;
}

void triTexturedRows(bitmap_tag* target, TexSpanSetup& setup, const TexPolygon& poly, int i0,
                     int i1, int i2, TexRowsRoutine rows) {
    auto y = [&poly](int i) { return poly.verts[i]->y; };
    if (y(i0) > y(i1)) std::swap(i0, i1);
    if (y(i0) > y(i2)) std::swap(i0, i2);
    if (y(i1) > y(i2)) std::swap(i1, i2);
    if (!triGradients(&setup.gradients, poly, i0, i1, i2)) return;
    texEdge_tag longEdge, upper, lower;
    edgeSetupTex(&longEdge, poly, setup.gradients, i0, i2);
    edgeSetupTex(&upper, poly, setup.gradients, i0, i1);
    edgeSetupTex(&lower, poly, setup.gradients, i1, i2);
    rows(target, setup, longEdge, upper, lower);
}

void polyTexturedClip(bitmap_tag* target, int count, vertex_tag** verts, const ClipRect& clip,
                      bool cmap) {
    if (!target || !target->pixels || count < 3 || !verts) return;
    count = std::min(count, polyMaxVertices);
    if (!mipCurrent || mipCurrent->levels == 0) return;
    bitmap_tag* texture = &mipCurrent->level[0];
    int spanCase = texSpanCaseFor(target->pixelType, texture->pixelType, cmap);
    TexSpanSetup setup;
    if (spanCase < 0 || (cmap && !colormapCurrent) || !texSetTexture(&setup, texture)) return;
    if (clip.left >= clip.right) return;
    setup.clip = clip;
    setup.colormap = colormapCurrent;
    setup.screenTable = screenTableOf(target->pixelType);
    if (cmap && setup.screenTable)
        for (int i = 0; i < 16; ++i)
            setup.colormapScreen[i] = setup.screenTable[setup.colormap[i]];
    TexPolygon poly;
    texSetVertices(&poly, texture, count, verts);
    int64_t firstRow, lastRow;
    TexRowsRoutines routines = texRowsRoutines(spanCase);
    TexRowsRoutine fill =
        pickRoutine(polygonInside(count, verts, clip, &firstRow, &lastRow) ? routines.inside
                                                                           : routines.clipped);
    for (int i = 1; i + 1 < count; ++i)
        triTexturedRows(target, setup, poly, 0, i, i + 1, fill);
}

void polyTextured(bitmap_tag* target, int count, vertex_tag** verts) {
    if (targetDrawable(target)) polyTexturedClip(target, count, verts, targetClip(target), false);
}

void polyTexturedCmap(bitmap_tag* target, int count, vertex_tag** verts) {
    if (targetDrawable(target)) polyTexturedClip(target, count, verts, targetClip(target), true);
}
