// The comparison textured fill shared by the raster benchmarks and the peer
// suite: the same triangles and edge walk as the library's fill, but every
// pixel divides for its own u and v (rounded to the nearest texel), the
// plain way to map a texture with perspective.
#pragma once

#include "raster/raster.h"

#include <cstdint>
#include <emmintrin.h>
#include <utility>

inline void spanDividePerPixel(const TexSpanSetup& setup, uint8_t* row, const texEdge_tag* a,
                               const texEdge_tag* b) {
    if (a->edge.x > b->edge.x) std::swap(a, b);
    int64_t n = b->edge.x - a->edge.x;
    float o = a->oow, s = a->uoz, t = a->voz;
    uint8_t* dst = row + a->edge.x;
    const uint8_t* texels = setup.texPixels;
    const uint32_t mask = setup.texMask;
    const int32_t shift = setup.texShift;
    const float dO = setup.gradients.dOowDx, dU = setup.gradients.dUozDx,
                dV = setup.gradients.dVozDx;
    for (int64_t i = 0; i < n; ++i) {
        float rcp = 1.0f / o;
        uint32_t u = uint32_t(_mm_cvtss_si32(_mm_set_ss(s * rcp)));
        uint32_t v = uint32_t(_mm_cvtss_si32(_mm_set_ss(t * rcp)));
        dst[i] = texels[(u + (v << shift)) & mask];
        o += dO;
        s += dU;
        t += dV;
    }
}

// The rows routine of the comparison fill, for triTexturedRows.
inline void rowsDividePerPixel(bitmap_tag* target, const TexSpanSetup& setup,
                               const texEdge_tag& longEdge, const texEdge_tag& upper,
                               const texEdge_tag& lower) {
    texWalkTriangle(target, setup.clip, longEdge, upper, lower,
                    [&setup](uint8_t* row, const texEdge_tag* a, const texEdge_tag* b) {
                        spanDividePerPixel(setup, row, a, b);
                    });
}
