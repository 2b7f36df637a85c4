// The texture span routines: one perspective-correct row of a textured
// triangle. Written once as a template over the routine's kind (target and
// texel size, colormap, colour key) and instantiated for every row of the
// span table below, as a per-pixel plain routine (here) and a fast one
// (spantex_sse2.cpp) that agree bit for bit.
//
// The row runs from the edge with the smaller x to the other; pixels
// L.x .. R.x - 1 are drawn. The texture coordinates U and V (texels in 24.8
// fixed point) are divided out exactly once per 8-pixel block and stepped
// linearly inside it: dU = (U1 - U0) >> 3, its low 8 bits a fraction
// counter whose overflow carries one texel. A texel is read at the combined
// offset (u + (v << texShift)) & texMask, one number, so a wrap of u
// carries into v. The 0..7 pixels after the last block take the whole part
// of the block-boundary value for the first pixel and a division per pixel,
// rounded to the nearest texel, for the others.
//
// Clipping keeps the block phase of the unclipped row: blocks left of the
// clip only advance the running float values by their 8-pixel step (the
// same additions the unclipped loop makes, so the values stay bit-exact);
// divisions are made only where a visible pixel needs them.
#pragma once

#include "bitmap/pixeltype.h"
#include "raster/raster.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

// ---------------------------------------------------------------- the table

// What a span routine does: the pixel size of its target and of its
// texels, whether 4-bit texels go through the colormap, and whether texel 0
// leaves the target pixel unchanged. 8-bit texels on a 16-bit target
// become pixels through the target's screen table (every 16-bit span
// target is a screen type); 16-bit texels are written as they are.
struct TexSpanKind {
    uint8_t targetBytes;
    uint8_t texelBytes;
    bool colormap;
    bool keyed;
};

// One row of the span table: the routine that fills a target type from a
// texture type, in polyTextured's table or (cmap) polyTexturedCmap's.
struct TexSpanCase {
    const char* name;
    uint8_t target; // PIXEL_PAL8: every target of one byte per pixel
    uint8_t texture;
    bool cmap;
    bool keyed;
    // Read from the type table's rows directly: the helpers' checks for a
    // missing row are no constant expressions in sanitizer builds.
    constexpr TexSpanKind kind() const {
        return TexSpanKind{pixelTypes[target].bytes, pixelTypes[texture].bytes, cmap, keyed};
    }
};

// A pair without a row draws nothing: 16-bit textures go only onto their
// own type, and the 4444 and 32-bit types are no span targets.
inline constexpr TexSpanCase texSpanCases[] = {
    // polyTextured: 8-bit texels are palette indexes; keyed texture types
    // skip texel 0.
    {"spanTex8", PIXEL_PAL8, PIXEL_CMAP4, false, false},
    {"spanTex8", PIXEL_PAL8, PIXEL_PAL8, false, false},
    {"spanTex8Key", PIXEL_PAL8, PIXEL_CMAP4_KEY, false, true},
    {"spanTex8Key", PIXEL_PAL8, PIXEL_PAL8_KEY, false, true},
    {"spanTex8To565", PIXEL_RGB565, PIXEL_CMAP4, false, false},
    {"spanTex8To565", PIXEL_RGB565, PIXEL_PAL8, false, false},
    {"spanTex8To565Key", PIXEL_RGB565, PIXEL_CMAP4_KEY, false, true},
    {"spanTex8To565Key", PIXEL_RGB565, PIXEL_PAL8_KEY, false, true},
    {"spanTex8To1555", PIXEL_ARGB1555, PIXEL_CMAP4, false, false},
    {"spanTex8To1555", PIXEL_ARGB1555, PIXEL_PAL8, false, false},
    {"spanTex8To1555Key", PIXEL_ARGB1555, PIXEL_CMAP4_KEY, false, true},
    {"spanTex8To1555Key", PIXEL_ARGB1555, PIXEL_PAL8_KEY, false, true},
    {"spanTex565", PIXEL_RGB565, PIXEL_RGB565, false, false},
    {"spanTex1555Key", PIXEL_ARGB1555, PIXEL_ARGB1555, false, true},
    // polyTexturedCmap: 4-bit texels through the current colormap.
    {"spanTexCmap8", PIXEL_PAL8, PIXEL_CMAP4, true, false},
    {"spanTexCmap8Key", PIXEL_PAL8, PIXEL_CMAP4_KEY, true, true},
    {"spanTexCmapTo565", PIXEL_RGB565, PIXEL_CMAP4, true, false},
    {"spanTexCmapTo565Key", PIXEL_RGB565, PIXEL_CMAP4_KEY, true, true},
    {"spanTexCmapTo1555", PIXEL_ARGB1555, PIXEL_CMAP4, true, false},
    {"spanTexCmapTo1555Key", PIXEL_ARGB1555, PIXEL_CMAP4_KEY, true, true},
};
constexpr int texSpanCaseCount = int(sizeof texSpanCases / sizeof texSpanCases[0]);

// The fast rows routines of each row of the table (spantex_sse2.cpp).
struct TexRowsFast {
    TexRowsRoutine clipped, inside;
};
extern const std::array<TexRowsFast, texSpanCaseCount> texRowsSse2;

namespace spantex {

// ----------------------------------------------------------------- pixels

// The colour tables of a span, handed around by value: a store to the
// target may alias anything in memory, so a table pointer read through the
// set-up would be read again after every pixel.
struct SpanColours {
    const uint16_t* screenTable;
    const uint8_t* colormap;
    const uint16_t* colormapScreen;
};

inline SpanColours spanColours(const TexSpanSetup& s) {
    return SpanColours{s.screenTable, s.colormap, s.colormapScreen};
}

template <TexSpanKind kind>
struct Pixels {
    static constexpr int targetBytes = kind.targetBytes;
    static constexpr bool throughScreen = kind.targetBytes == 2 && kind.texelBytes == 1;
    static constexpr bool keyed = kind.keyed;

    static uint32_t texel(const uint8_t* texels, uint32_t offset) {
        if constexpr (kind.texelBytes == 1) {
            return texels[offset];
        } else {
            uint16_t value;
            std::memcpy(&value, texels + size_t(offset) * 2, 2);
            return value;
        }
    }
    // The target pixel of a texel. Colormapped texels are 4-bit; the mask
    // keeps a stray larger value inside the 16-entry colormap.
    static uint32_t pixel(uint32_t texel, SpanColours s) {
        if constexpr (kind.colormap)
            return throughScreen ? s.colormapScreen[texel & 15] : s.colormap[texel & 15];
        else
            return throughScreen ? s.screenTable[texel] : texel;
    }
    static void store(uint8_t* row, int64_t x, uint32_t value) {
        if constexpr (targetBytes == 1) {
            row[x] = uint8_t(value);
        } else {
            uint16_t pixel = uint16_t(value);
            std::memcpy(row + x * 2, &pixel, 2);
        }
    }
    // Writes one texel, skipping texel 0 in keyed routines.
    static void put(uint8_t* row, int64_t x, uint32_t texel, SpanColours s) {
        if (keyed && texel == 0) return;
        store(row, x, pixel(texel, s));
    }
};

// ------------------------------------------------------------ shared pieces

// The visible part of a row: pixels first + a .. first + b - 1 of the n
// pixels first .. first + n - 1.
struct SpanExtent {
    int64_t first;
    int32_t n, a, b;
};

template <bool clipped = true>
[[gnu::always_inline]] inline bool spanExtent(const texEdge_tag*& l, const texEdge_tag*& r,
                                              int32_t clipLeft, int32_t clipRight, SpanExtent& e) {
    if (l->edge.x > r->edge.x) std::swap(l, r);
    int64_t n = r->edge.x - l->edge.x;
    if (n <= 0) return false;
    int64_t a = clipped ? std::max<int64_t>(int64_t(clipLeft) - l->edge.x, 0) : 0;
    int64_t b = clipped ? std::min<int64_t>(int64_t(clipRight) - l->edge.x, n) : n;
    if (a >= b) return false;
    e = SpanExtent{l->edge.x, int32_t(n), int32_t(a), int32_t(b)};
    return true;
}

// The 24.8 steps of one block and the combined-offset steps they make.
struct BlockSteps {
    uint32_t du, dv;   // fraction steps, 0..255
    uint32_t plain;    // offset step without a V carry
    uint32_t rowCarry; // offset step with a V carry
    uint32_t offset;   // offset of the block's first pixel, unmasked
    uint32_t fu, fv;   // fractions of the block's first pixel
};

inline BlockSteps blockSteps(int32_t u0, int32_t v0, int32_t u1, int32_t v1, int32_t shift) {
    // 32-bit wrapping differences, as a 32-bit machine makes them.
    int32_t dU = int32_t(uint32_t(u1) - uint32_t(u0)) >> 3;
    int32_t dV = int32_t(uint32_t(v1) - uint32_t(v0)) >> 3;
    BlockSteps s;
    s.du = uint32_t(dU) & 0xFF;
    s.dv = uint32_t(dV) & 0xFF;
    s.plain = uint32_t(dU >> 8) + (uint32_t(dV >> 8) << shift);
    s.rowCarry = s.plain + (1u << shift);
    s.offset = uint32_t(u0 >> 8) + (uint32_t(v0 >> 8) << shift);
    s.fu = uint32_t(u0) & 0xFF;
    s.fv = uint32_t(v0) & 0xFF;
    return s;
}

// One step of the fraction counters: the next pixel's offset.
inline uint32_t stepOffset(BlockSteps& s, uint32_t offset) {
    s.fv += s.dv;
    s.fu += s.du;
    offset += (s.fv > 0xFF ? s.rowCarry : s.plain) + (s.fu >> 8);
    s.fv &= 0xFF;
    s.fu &= 0xFF;
    return offset;
}

// --------------------------------------------------------- plain routines

template <TexSpanKind kind>
void spanTexPlain(const TexSpanSetup& setup, uint8_t* row, const texEdge_tag* l,
                  const texEdge_tag* r) {
    using P = Pixels<kind>;
    SpanExtent e;
    if (!spanExtent(l, r, setup.clip.left, setup.clip.right, e)) return;
    const TexGradients& g = setup.gradients;
    const SpanColours colours = spanColours(setup);
    const uint8_t* texels = setup.texPixels;
    const int32_t shift = setup.texShift;
    const uint32_t mask = setup.texMask;
    float o = l->oow, s = l->uoz, t = l->voz;
    const int32_t blocks = e.n >> 3;
    for (int32_t j = 0; j < blocks; ++j) {
        const int32_t start = 8 * j;
        if (start >= e.b) return;
        if (start + 8 <= e.a) {
            o += g.dOowDx8;
            s += g.dUozDx8;
            t += g.dVozDx8;
            continue;
        }
        float rcp = 1.0f / o;
        int32_t u0 = roundToInt(s * rcp * 256.0f), v0 = roundToInt(t * rcp * 256.0f);
        o += g.dOowDx8;
        s += g.dUozDx8;
        t += g.dVozDx8;
        rcp = 1.0f / o;
        int32_t u1 = roundToInt(s * rcp * 256.0f), v1 = roundToInt(t * rcp * 256.0f);
        BlockSteps steps = blockSteps(u0, v0, u1, v1, shift);
        uint32_t offset = steps.offset;
        for (int32_t k = 0; k < 8; ++k) {
            offset &= mask;
            if (start + k >= e.a && start + k < e.b)
                P::put(row, e.first + start + k, P::texel(texels, offset), colours);
            if (k < 7) offset = stepOffset(steps, offset);
        }
    }
    const int32_t start = 8 * blocks;
    if (start >= e.b) return;
    // o, s, t are at the block boundary; the unclipped loop has gone one
    // block further and comes back by a block less a pixel.
    float rcp = 1.0f / o;
    int32_t u = roundToInt(s * rcp * 256.0f) >> 8, v = roundToInt(t * rcp * 256.0f) >> 8;
    o += g.dOowDx8;
    s += g.dUozDx8;
    t += g.dVozDx8;
    o -= g.dOowDx8;
    s -= g.dUozDx8;
    t -= g.dVozDx8;
    o += g.dOowDx;
    s += g.dUozDx;
    t += g.dVozDx;
    for (int32_t i = start; i < e.b; ++i) {
        if (i >= e.a) {
            uint32_t offset = (uint32_t(u) + (uint32_t(v) << shift)) & mask;
            P::put(row, e.first + i, P::texel(texels, offset), colours);
        }
        rcp = 1.0f / o;
        u = roundToInt(s * rcp);
        v = roundToInt(t * rcp);
        o += g.dOowDx;
        s += g.dUozDx;
        t += g.dVozDx;
    }
}

template <TexSpanKind kind>
void rowsTexPlain(bitmap_tag* target, const TexSpanSetup& setup, const texEdge_tag& longEdge,
                  const texEdge_tag& upper, const texEdge_tag& lower) {
    texWalkTriangle(target, setup.clip, longEdge, upper, lower,
                    [&setup](uint8_t* row, const texEdge_tag* a, const texEdge_tag* b) {
                        spanTexPlain<kind>(setup, row, a, b);
                    });
}

} // namespace spantex
