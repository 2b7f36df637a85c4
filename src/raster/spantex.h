// The texture span routines: one perspective-correct row of a textured
// triangle. Written once as a template over a policy (texel size, how a
// texel becomes a target pixel, target pixel size, colour key) and
// instantiated fourteen times, each in a fast and a per-pixel reference
// version that agree bit for bit.
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
//
// This header holds the family as templates; spantex.cpp instantiates the
// fourteen routines (and the benchmarks an unclipped variant, to measure
// what clipping costs).
#pragma once

#include "bitmap/bitmap.h"
#include "raster/raster.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <utility>

#if defined(__SSE2__) && !defined(SPANWRIGHT_GENERIC_ONLY)
#include <emmintrin.h>
#define SW_SPAN_SSE2 1
#endif

namespace spantex {

// ------------------------------------------------------------------ policies

// The colour tables a span reads; for the colormapped 16-bit routines the
// 16 pixels of the colormap's entries, looked up once per call.
struct SpanTables {
    const uint16_t* palette;
    const uint8_t* colormap;
    const uint16_t* colormapPixels;
};

struct ByteTexel {
    static uint32_t read(const uint8_t* texels, uint32_t offset) { return texels[offset]; }
};
struct WordTexel {
    static uint32_t read(const uint8_t* texels, uint32_t offset) {
        uint16_t texel;
        std::memcpy(&texel, texels + size_t(offset) * 2, 2);
        return texel;
    }
};

struct AsIs {
    static uint32_t convert(uint32_t texel, const SpanTables&) { return texel; }
};
struct ThroughPalette {
    static uint32_t convert(uint32_t texel, const SpanTables& t) { return t.palette[texel]; }
};
// Colormapped texels are 4-bit; the mask keeps a stray larger value inside
// the 16-entry colormap.
struct ThroughColormap {
    static uint32_t convert(uint32_t texel, const SpanTables& t) { return t.colormap[texel & 15]; }
};
struct ThroughColormapPalette {
    static uint32_t convert(uint32_t texel, const SpanTables& t) {
        return t.colormapPixels[texel & 15];
    }
};

struct Target8 {
    static constexpr int bytes = 1;
    static void store(uint8_t* row, int64_t x, uint32_t value) { row[x] = uint8_t(value); }
    static uint32_t load(const uint8_t* row, int64_t x) { return row[x]; }
};
struct Target16 {
    static constexpr int bytes = 2;
    static void store(uint8_t* row, int64_t x, uint32_t value) {
        uint16_t pixel = uint16_t(value);
        std::memcpy(row + x * 2, &pixel, 2);
    }
    static uint32_t load(const uint8_t* row, int64_t x) {
        uint16_t pixel;
        std::memcpy(&pixel, row + x * 2, 2);
        return pixel;
    }
};

enum class Palette { none, rgb565, rgb555 };

template <class TexelT, class ConvertT, class TargetT, Palette palette, bool keyedV>
struct SpanPolicy {
    using Texel = TexelT;
    using Convert = ConvertT;
    using Target = TargetT;
    static constexpr bool keyed = keyedV;
    // `colormapPixels` is storage for 16 entries that lives as long as
    // the tables are used.
    static SpanTables tables(uint16_t* colormapPixels) {
        const uint16_t* p = palette == Palette::rgb565   ? screenPalette565
                            : palette == Palette::rgb555 ? screenPalette555
                                                         : nullptr;
        if (std::is_same_v<Convert, ThroughColormapPalette>)
            for (int i = 0; i < 16; ++i)
                colormapPixels[i] = p[colormapCurrent[i]];
        return SpanTables{p, colormapCurrent, colormapPixels};
    }
};

// Writes one texel, skipping texel 0 in keyed routines.
template <class P>
inline void putTexel(uint8_t* row, int64_t x, uint32_t texel, const SpanTables& tables) {
    if (P::keyed && texel == 0) return;
    P::Target::store(row, x, P::Convert::convert(texel, tables));
}

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

// --------------------------------------------------- per-pixel reference

template <class P>
void spanTexPlain(uint8_t* row, const texEdge_tag* ea, const texEdge_tag* eb) {
    const texEdge_tag* l = ea;
    const texEdge_tag* r = eb;
    SpanExtent e;
    if (!spanExtent(l, r, spanClipLeft, spanClipRight, e)) return;
    uint16_t colormapPixels[16];
    const SpanTables tables = P::tables(colormapPixels);
    const uint8_t* texels = texPixels;
    const int32_t shift = texShift;
    const uint32_t mask = texMask;
    float o = l->oow, s = l->uoz, t = l->voz;
    const int32_t blocks = e.n >> 3;
    for (int32_t j = 0; j < blocks; ++j) {
        const int32_t start = 8 * j;
        if (start >= e.b) return;
        if (start + 8 <= e.a) {
            o += dOowDx8;
            s += dUozDx8;
            t += dVozDx8;
            continue;
        }
        float rcp = 1.0f / o;
        int32_t u0 = roundToInt(s * rcp * 256.0f), v0 = roundToInt(t * rcp * 256.0f);
        o += dOowDx8;
        s += dUozDx8;
        t += dVozDx8;
        rcp = 1.0f / o;
        int32_t u1 = roundToInt(s * rcp * 256.0f), v1 = roundToInt(t * rcp * 256.0f);
        BlockSteps steps = blockSteps(u0, v0, u1, v1, shift);
        uint32_t offset = steps.offset;
        for (int32_t k = 0; k < 8; ++k) {
            offset &= mask;
            if (start + k >= e.a && start + k < e.b)
                putTexel<P>(row, e.first + start + k, P::Texel::read(texels, offset), tables);
            if (k < 7) offset = stepOffset(steps, offset);
        }
    }
    const int32_t start = 8 * blocks;
    if (start >= e.b) return;
    // o, s, t are at the block boundary; the unclipped loop has gone one
    // block further and comes back by a block less a pixel.
    float rcp = 1.0f / o;
    int32_t u = roundToInt(s * rcp * 256.0f) >> 8, v = roundToInt(t * rcp * 256.0f) >> 8;
    o += dOowDx8;
    s += dUozDx8;
    t += dVozDx8;
    o -= dOowDx8;
    s -= dUozDx8;
    t -= dVozDx8;
    o += dOowDx;
    s += dUozDx;
    t += dVozDx;
    for (int32_t i = start; i < e.b; ++i) {
        if (i >= e.a) {
            uint32_t offset = (uint32_t(u) + (uint32_t(v) << shift)) & mask;
            putTexel<P>(row, e.first + i, P::Texel::read(texels, offset), tables);
        }
        rcp = 1.0f / o;
        u = roundToInt(s * rcp);
        v = roundToInt(t * rcp);
        o += dOowDx;
        s += dUozDx;
        t += dVozDx;
    }
}

#if defined(SW_SPAN_SSE2)

// ------------------------------------------------------------- fast version
//
// The running values live in one vector [u/z, 1/z, v/z, 0], so a block's
// advance is one addition and its U and V one multiply pair and one
// conversion (lane by lane the same float operations as the reference).
//
// Inside a block the fraction counters are replaced by their closed form:
// after k steps the counters have carried exactly floor((f0 + k d) / 256)
// times, so the offset is ((U0 + k dU) >> 8) + (((V0 + k dV) >> 8) << shift).
// With W = V << shift this is ((U + (W & ~(2^(shift+8) - 1))) >> 8) modulo
// 2^24, which a contiguous mask (width = row length, or one row) keeps
// exactly. The 8 offsets then come from a few vector operations with no
// dependency from pixel to pixel. A mask with a hole (a row longer than the
// texture is wide) is ANDed at every step, which the closed form does not
// reproduce; those textures step the counters as the reference does.

inline __m128 rcpBroadcast(__m128 values) {
    return _mm_div_ps(_mm_set1_ps(1.0f), _mm_shuffle_ps(values, values, _MM_SHUFFLE(1, 1, 1, 1)));
}

// Lanes 0 and 2: round(u/z / (1/z) * scale) and round(v/z / (1/z) * scale).
inline __m128i roundUV(__m128 values, __m128 rcp, __m128 scale) {
    return _mm_cvtps_epi32(_mm_mul_ps(_mm_mul_ps(values, rcp), scale));
}

// Everything a span reads besides its edges, gathered once per call of a
// span routine or once per triangle for the rows routines.
struct FastSetup {
    uint16_t colormapPixels[16];
    SpanTables tables;
    const uint8_t* texels;
    int32_t shift;
    uint32_t mask;
    int32_t clipLeft, clipRight;
    bool closedForm;
    __m128 step8, step1;
    __m128i shiftMul;   // [1, -, 2^shift, -]: turns V into W in lane 2
    __m128i highMask;   // clears W's fraction and its low shift bits
    __m128i maskLanes;  // texMask in every lane
    __m128i shiftCount; // shift, for the vector shifts
};

// Fills `f` in place (its tables point into it).
template <class P>
inline void fastSetup(FastSetup& f) {
    f.tables = P::tables(f.colormapPixels);
    f.texels = texPixels;
    f.shift = texShift;
    f.mask = texMask;
    f.clipLeft = spanClipLeft;
    f.clipRight = spanClipRight;
    f.closedForm = (texMask & (texMask + 1)) == 0;
    f.step8 = _mm_set_ps(0.0f, dVozDx8, dOowDx8, dUozDx8);
    f.step1 = _mm_set_ps(0.0f, dVozDx, dOowDx, dUozDx);
    f.shiftMul = _mm_set_epi32(0, int32_t(1u << f.shift), 0, 1);
    f.highMask = _mm_set1_epi32(int32_t(~0u << (f.shift + 8)));
    f.maskLanes = _mm_set1_epi32(int32_t(f.mask));
    f.shiftCount = _mm_cvtsi32_si128(f.shift);
}

// The vector constants of the closed form, held in registers by the loop.
struct ClosedForm {
    __m128i shiftMul, highMask, maskLanes;
};

[[gnu::always_inline]] inline void blockOffsetsClosed(__m128i uv0, __m128i uv1, ClosedForm c,
                                                      uint32_t* out) {
    __m128i d = _mm_srai_epi32(_mm_sub_epi32(uv1, uv0), 3);
    __m128i uw0 = _mm_mul_epu32(uv0, c.shiftMul);
    __m128i duw = _mm_mul_epu32(d, c.shiftMul);
    __m128i uw1 = _mm_add_epi32(uw0, duw);
    __m128i u01 = _mm_unpacklo_epi32(uw0, uw1); // [U0, U0 + dU, -, -]
    __m128i w01 = _mm_unpackhi_epi32(uw0, uw1); // [W0, W0 + dW, -, -]
    __m128i d2 = _mm_add_epi32(duw, duw);
    __m128i d2u = _mm_shuffle_epi32(d2, 0x00);
    __m128i d2w = _mm_shuffle_epi32(d2, 0xAA);
    __m128i ua = _mm_unpacklo_epi64(u01, _mm_add_epi32(u01, d2u));
    __m128i wa = _mm_unpacklo_epi64(w01, _mm_add_epi32(w01, d2w));
    __m128i ub = _mm_add_epi32(ua, _mm_add_epi32(d2u, d2u));
    __m128i wb = _mm_add_epi32(wa, _mm_add_epi32(d2w, d2w));
    __m128i oa = _mm_srli_epi32(_mm_add_epi32(ua, _mm_and_si128(wa, c.highMask)), 8);
    __m128i ob = _mm_srli_epi32(_mm_add_epi32(ub, _mm_and_si128(wb, c.highMask)), 8);
    _mm_store_si128(reinterpret_cast<__m128i*>(out), _mm_and_si128(oa, c.maskLanes));
    _mm_store_si128(reinterpret_cast<__m128i*>(out + 4), _mm_and_si128(ob, c.maskLanes));
}

inline void blockOffsetsStepped(__m128i uv0, __m128i uv1, int32_t shift, uint32_t mask,
                                uint32_t* out) {
    BlockSteps steps =
        blockSteps(_mm_cvtsi128_si32(uv0), _mm_cvtsi128_si32(_mm_shuffle_epi32(uv0, 0xAA)),
                   _mm_cvtsi128_si32(uv1), _mm_cvtsi128_si32(_mm_shuffle_epi32(uv1, 0xAA)), shift);
    uint32_t offset = steps.offset;
    for (int k = 0; k < 8; ++k) {
        offset &= mask;
        out[k] = offset;
        if (k < 7) offset = stepOffset(steps, offset);
    }
}

// Writes pixels from .. to - 1 of the 8 at x with the texels at `offsets`.
// Target stores may alias anything, so everything the loop needs arrives
// in arguments, not through memory. The offsets are read back from memory:
// one load each is cheaper than moving them out of the vector registers.
template <class P>
[[gnu::always_inline]] inline void writeTexels(uint8_t* row, int64_t x, const uint32_t* offsets,
                                               int32_t from, int32_t to, const uint8_t* texels,
                                               SpanTables tables) {
    for (int32_t k = from; k < to; ++k)
        putTexel<P>(row, x + k, P::Texel::read(texels, offsets[k]), tables);
}

// Lane k of `texelLanes` and `values` gets texel k of a block and its
// target pixel (16-bit targets).
template <class P, int... k>
[[gnu::always_inline]] inline void
gatherLanes(__m128i& texelLanes, __m128i& values, const uint32_t* offsets, const uint8_t* texels,
            SpanTables tables, std::integer_sequence<int, k...>) {
    (
        [&] {
            uint32_t texel = P::Texel::read(texels, offsets[k]);
            texelLanes = _mm_insert_epi16(texelLanes, int(texel), k);
            values = _mm_insert_epi16(values, int(P::Convert::convert(texel, tables)), k);
        }(),
        ...);
}

// All 8 pixels of a block, unrolled, without a branch per pixel. Keyed
// blocks gather texels and pixels into a vector and blend them with what
// the target holds (texel 0 keeps the target pixel), one load and one store
// for the 8.
template <class P>
[[gnu::always_inline]] inline void writeBlock(uint8_t* row, int64_t x, const uint32_t* offsets,
                                              const uint8_t* texels, SpanTables tables) {
    if constexpr (!P::keyed) {
#pragma GCC unroll 8
        for (int k = 0; k < 8; ++k)
            P::Target::store(row, x + k,
                             P::Convert::convert(P::Texel::read(texels, offsets[k]), tables));
    } else if constexpr (P::Target::bytes == 1) {
        uint64_t texelBytes = 0, valueBytes = 0;
#pragma GCC unroll 8
        for (int k = 0; k < 8; ++k) {
            uint32_t texel = P::Texel::read(texels, offsets[k]);
            texelBytes |= uint64_t(texel & 0xFF) << (8 * k);
            valueBytes |= uint64_t(P::Convert::convert(texel, tables) & 0xFF) << (8 * k);
        }
        __m128i keep = _mm_cmpeq_epi8(_mm_cvtsi64_si128(int64_t(texelBytes)), _mm_setzero_si128());
        __m128i* target = reinterpret_cast<__m128i*>(row + x);
        __m128i blended =
            _mm_or_si128(_mm_andnot_si128(keep, _mm_cvtsi64_si128(int64_t(valueBytes))),
                         _mm_and_si128(keep, _mm_loadl_epi64(target)));
        _mm_storel_epi64(target, blended);
    } else {
        // Each texel goes straight into its lane, so that few are alive at
        // once (packing them in general registers spills).
        __m128i texelLanes = _mm_setzero_si128(), values = _mm_setzero_si128();
        gatherLanes<P>(texelLanes, values, offsets, texels, tables,
                       std::make_integer_sequence<int, 8>());
        __m128i keep = _mm_cmpeq_epi16(texelLanes, _mm_setzero_si128());
        __m128i* target = reinterpret_cast<__m128i*>(row + 2 * x);
        __m128i blended = _mm_or_si128(_mm_andnot_si128(keep, values),
                                       _mm_and_si128(keep, _mm_loadu_si128(target)));
        _mm_storeu_si128(target, blended);
    }
}

template <class P, bool closedForm, bool clipped = true>
[[gnu::always_inline]] inline void spanFast(const FastSetup& f, uint8_t* row, const texEdge_tag* l,
                                            const texEdge_tag* r) {
    SpanExtent e;
    if (!spanExtent<clipped>(l, r, f.clipLeft, f.clipRight, e)) return;
    const uint8_t* const texels = f.texels;
    const SpanTables tables = f.tables;
    const __m128 step8 = f.step8;
    const __m128 scale = _mm_set1_ps(256.0f);
    alignas(16) uint32_t offsets[8];

    __m128 values = _mm_set_ps(0.0f, l->voz, l->oow, l->uoz);
    const int32_t blocks = e.n >> 3;
    int32_t j = std::min(e.a >> 3, blocks);
    for (int32_t i = 0; i < j; ++i)
        values = _mm_add_ps(values, step8);
    __m128i uv0 = _mm_setzero_si128();
    if (j < blocks || 8 * blocks >= e.a) uv0 = roundUV(values, rcpBroadcast(values), scale);
    values = _mm_add_ps(values, step8);
    __m128 rcp = rcpBroadcast(values);

    // Blocks: the first may be cut by the left clip, the last by the right
    // one; those write their visible pixels only.
    // Every block with a visible pixel; only the first and the last may be
    // cut by the clip. The next block's division starts before this block's
    // pixels are written, well before its result is needed.
    const ClosedForm closed{f.shiftMul, f.highMask, f.maskLanes};
    const int32_t shift = f.shift;
    const uint32_t mask = f.mask;
    const int32_t visibleBlocks = std::min(blocks, (e.b + 7) >> 3);
    for (; j < visibleBlocks; ++j) {
        __m128i uv1 = roundUV(values, rcp, scale);
        values = _mm_add_ps(values, step8);
        rcp = rcpBroadcast(values);
        if (closedForm)
            blockOffsetsClosed(uv0, uv1, closed, offsets);
        else
            blockOffsetsStepped(uv0, uv1, shift, mask, offsets);
        uv0 = uv1;
        __asm__("" : "+m"(offsets));
        const int32_t start = 8 * j;
        if (start >= e.a && start + 8 <= e.b)
            writeBlock<P>(row, e.first + start, offsets, texels, tables);
        else
            writeTexels<P>(row, e.first + start, offsets, std::max(e.a - start, 0),
                           std::min(e.b - start, 8), texels, tables);
    }
    if (j < blocks) return;
    const int32_t start = 8 * blocks;
    if (start >= e.b) return;

    // The remainder: the first pixel takes the whole parts of the block
    // boundary value, the others their own division. The running values of
    // four pixels at a time are formed by the same one-pixel additions as
    // the reference makes, turned into columns and divided in one go.
    const __m128 step1 = f.step1;
    values = _mm_add_ps(_mm_sub_ps(values, step8), step1);
    alignas(16) uint32_t remainder[12];
    remainder[0] = uint32_t(_mm_cvtsi128_si32(_mm_and_si128(
        _mm_add_epi32(_mm_srai_epi32(uv0, 8),
                      _mm_sll_epi32(_mm_srai_epi32(_mm_shuffle_epi32(uv0, 0xAA), 8), f.shiftCount)),
        f.maskLanes)));
    for (int32_t group = 0; start + 1 + 4 * group < e.b; ++group) {
        __m128 p0 = values;
        __m128 p1 = _mm_add_ps(p0, step1);
        __m128 p2 = _mm_add_ps(p1, step1);
        __m128 p3 = _mm_add_ps(p2, step1);
        values = _mm_add_ps(p3, step1);
        _MM_TRANSPOSE4_PS(p0, p1, p2, p3); // p0: u/z, p1: 1/z, p2: v/z of the four
        __m128 rcp4 = _mm_div_ps(_mm_set1_ps(1.0f), p1);
        __m128i u = _mm_cvtps_epi32(_mm_mul_ps(p0, rcp4));
        __m128i v = _mm_cvtps_epi32(_mm_mul_ps(p2, rcp4));
        __m128i offset = _mm_add_epi32(u, _mm_sll_epi32(v, f.shiftCount));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(remainder + 1 + 4 * group),
                         _mm_and_si128(offset, f.maskLanes));
    }
    __asm__("" : "+m"(remainder));
    writeTexels<P>(row, e.first + start, remainder, std::max(e.a - start, 0), e.b - start, texels,
                   tables);
}

template <class P>
void spanTexFast(uint8_t* row, const texEdge_tag* a, const texEdge_tag* b) {
    FastSetup f;
    fastSetup<P>(f);
    if (f.closedForm)
        spanFast<P, true>(f, row, a, b);
    else
        spanFast<P, false>(f, row, a, b);
}

template <class P, bool closedForm, bool clipped>
void rowsTexFastWith(const FastSetup& f, bitmap_tag* target, const ClipRect& clip,
                     texEdge_tag* longEdge, texEdge_tag* upper, texEdge_tag* lower) {
    texWalkTriangle<clipped>(target, clip, *longEdge, *upper, *lower,
                             [&f](uint8_t* row, const texEdge_tag* a, const texEdge_tag* b) {
                                 spanFast<P, closedForm, clipped>(f, row, a, b);
                             });
}

template <class P, bool clipped = true>
void rowsTexFast(bitmap_tag* target, const ClipRect& clip, texEdge_tag* longEdge,
                 texEdge_tag* upper, texEdge_tag* lower) {
    FastSetup f;
    fastSetup<P>(f);
    if (f.closedForm)
        rowsTexFastWith<P, true, clipped>(f, target, clip, longEdge, upper, lower);
    else
        rowsTexFastWith<P, false, clipped>(f, target, clip, longEdge, upper, lower);
}

#define SW_SPAN_FAST(P) spanTexFast<P>
#define SW_ROWS_FAST(P) rowsTexFast<P>
#define SW_ROWS_INSIDE(P) rowsTexFast<P, false>
#else
#define SW_SPAN_FAST(P) spanTexPlain<P>
#define SW_ROWS_FAST(P) rowsTexPlain<P>
#define SW_ROWS_INSIDE(P) rowsTexPlain<P>
#endif

template <class P>
void rowsTexPlain(bitmap_tag* target, const ClipRect& clip, texEdge_tag* longEdge,
                  texEdge_tag* upper, texEdge_tag* lower) {
    texWalkTriangle(target, clip, *longEdge, *upper, *lower, spanTexPlain<P>);
}

// --------------------------------------------------------------- the family

using Tex8 = SpanPolicy<ByteTexel, AsIs, Target8, Palette::none, false>;
using Tex8Key = SpanPolicy<ByteTexel, AsIs, Target8, Palette::none, true>;
using Tex8To565 = SpanPolicy<ByteTexel, ThroughPalette, Target16, Palette::rgb565, false>;
using Tex8To565Key = SpanPolicy<ByteTexel, ThroughPalette, Target16, Palette::rgb565, true>;
using Tex8To1555 = SpanPolicy<ByteTexel, ThroughPalette, Target16, Palette::rgb555, false>;
using Tex8To1555Key = SpanPolicy<ByteTexel, ThroughPalette, Target16, Palette::rgb555, true>;
using Tex565 = SpanPolicy<WordTexel, AsIs, Target16, Palette::none, false>;
using Tex1555Key = SpanPolicy<WordTexel, AsIs, Target16, Palette::none, true>;
using TexCmap8 = SpanPolicy<ByteTexel, ThroughColormap, Target8, Palette::none, false>;
using TexCmap8Key = SpanPolicy<ByteTexel, ThroughColormap, Target8, Palette::none, true>;
using TexCmapTo565 =
    SpanPolicy<ByteTexel, ThroughColormapPalette, Target16, Palette::rgb565, false>;
using TexCmapTo565Key =
    SpanPolicy<ByteTexel, ThroughColormapPalette, Target16, Palette::rgb565, true>;
using TexCmapTo1555 =
    SpanPolicy<ByteTexel, ThroughColormapPalette, Target16, Palette::rgb555, false>;
using TexCmapTo1555Key =
    SpanPolicy<ByteTexel, ThroughColormapPalette, Target16, Palette::rgb555, true>;

} // namespace spantex
