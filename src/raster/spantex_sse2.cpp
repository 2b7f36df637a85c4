// The fast texture spans. The running values live in one vector
// [u/z, 1/z, v/z, 0], so a block's advance is one addition and its U and V
// one multiply pair and one conversion (lane by lane the same float
// operations as the plain routine).
//
// Inside a block the fraction counters are replaced by their closed form:
// after k steps the counters have carried exactly floor((f0 + k d) / 256)
// times, so the offset is ((U0 + k dU) >> 8) + (((V0 + k dV) >> 8) << shift).
// With W = V << shift this is ((U + (W & ~(2^(shift+8) - 1))) >> 8) modulo
// 2^24, which a contiguous mask (width = row length, or one row) keeps
// exactly. The 8 offsets then come from a few vector operations with no
// dependency from pixel to pixel. A mask with a hole (a row longer than the
// texture is wide) is ANDed at every step, which the closed form does not
// reproduce; those textures step the counters as the plain routine does.
#include "isa/sse2.h"
#include "raster/spantex.h"

#include <array>
#include <utility>

namespace spantex {

namespace {

inline __m128 rcpBroadcast(__m128 values) {
    return _mm_div_ps(_mm_set1_ps(1.0f), _mm_shuffle_ps(values, values, _MM_SHUFFLE(1, 1, 1, 1)));
}

// Lanes 0 and 2: round(u/z / (1/z) * scale) and round(v/z / (1/z) * scale).
inline __m128i roundUV(__m128 values, __m128 rcp, __m128 scale) {
    return _mm_cvtps_epi32(_mm_mul_ps(_mm_mul_ps(values, rcp), scale));
}

// Everything a span reads besides its edges, gathered once per triangle.
struct FastSetup {
    SpanColours colours;
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

inline FastSetup fastSetup(const TexSpanSetup& s) {
    FastSetup f;
    const TexGradients& g = s.gradients;
    f.colours = spanColours(s);
    f.texels = s.texPixels;
    f.shift = s.texShift;
    f.mask = s.texMask;
    f.clipLeft = s.clip.left;
    f.clipRight = s.clip.right;
    f.closedForm = (f.mask & (f.mask + 1)) == 0;
    f.step8 = _mm_set_ps(0.0f, g.dVozDx8, g.dOowDx8, g.dUozDx8);
    f.step1 = _mm_set_ps(0.0f, g.dVozDx, g.dOowDx, g.dUozDx);
    f.shiftMul = _mm_set_epi32(0, int32_t(1u << f.shift), 0, 1);
    f.highMask = _mm_set1_epi32(int32_t(~0u << (f.shift + 8)));
    f.maskLanes = _mm_set1_epi32(int32_t(f.mask));
    f.shiftCount = _mm_cvtsi32_si128(f.shift);
    return f;
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
                                               SpanColours colours) {
    for (int32_t k = from; k < to; ++k)
        P::put(row, x + k, P::texel(texels, offsets[k]), colours);
}

// Lane k of `texelLanes` and `values` gets texel k of a block and its
// target pixel (16-bit targets).
template <class P, int... k>
[[gnu::always_inline]] inline void
gatherLanes(__m128i& texelLanes, __m128i& values, const uint32_t* offsets, const uint8_t* texels,
            SpanColours colours, std::integer_sequence<int, k...>) {
    (
        [&] {
            uint32_t texel = P::texel(texels, offsets[k]);
            texelLanes = _mm_insert_epi16(texelLanes, int(texel), k);
            values = _mm_insert_epi16(values, int(P::pixel(texel, colours)), k);
        }(),
        ...);
}

// All 8 pixels of a block, unrolled, without a branch per pixel. Keyed
// blocks gather texels and pixels into a vector and blend them with what
// the target holds (texel 0 keeps the target pixel), one load and one store
// for the 8.
template <class P>
[[gnu::always_inline]] inline void writeBlock(uint8_t* row, int64_t x, const uint32_t* offsets,
                                              const uint8_t* texels, SpanColours colours) {
    if constexpr (!P::keyed) {
#pragma GCC unroll 8
        for (int k = 0; k < 8; ++k)
            P::store(row, x + k, P::pixel(P::texel(texels, offsets[k]), colours));
    } else if constexpr (P::targetBytes == 1) {
        uint64_t texelBytes = 0, valueBytes = 0;
#pragma GCC unroll 8
        for (int k = 0; k < 8; ++k) {
            uint32_t texel = P::texel(texels, offsets[k]);
            texelBytes |= uint64_t(texel & 0xFF) << (8 * k);
            valueBytes |= uint64_t(P::pixel(texel, colours) & 0xFF) << (8 * k);
        }
        __m128i keep = _mm_cmpeq_epi8(_mm_set_epi64x(0, int64_t(texelBytes)), _mm_setzero_si128());
        __m128i* target = reinterpret_cast<__m128i*>(row + x);
        __m128i blended =
            _mm_or_si128(_mm_andnot_si128(keep, _mm_set_epi64x(0, int64_t(valueBytes))),
                         _mm_and_si128(keep, _mm_loadl_epi64(target)));
        _mm_storel_epi64(target, blended);
    } else {
        // Each texel goes straight into its lane, so that few are alive at
        // once (packing them in general registers spills).
        __m128i texelLanes = _mm_setzero_si128(), values = _mm_setzero_si128();
        gatherLanes<P>(texelLanes, values, offsets, texels, colours,
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
    const SpanColours colours = f.colours;
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
            writeBlock<P>(row, e.first + start, offsets, texels, colours);
        else
            writeTexels<P>(row, e.first + start, offsets, std::max(e.a - start, 0),
                           std::min(e.b - start, 8), texels, colours);
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
                   colours);
}

template <class P, bool closedForm, bool clipped>
void rowsWith(const FastSetup& f, bitmap_tag* target, const ClipRect& clip,
              const texEdge_tag& longEdge, const texEdge_tag& upper, const texEdge_tag& lower) {
    texWalkTriangle<clipped>(target, clip, longEdge, upper, lower,
                             [&f](uint8_t* row, const texEdge_tag* a, const texEdge_tag* b) {
                                 spanFast<P, closedForm, clipped>(f, row, a, b);
                             });
}

template <TexSpanKind kind, bool clipped>
void rowsTexSse2(bitmap_tag* target, const TexSpanSetup& setup, const texEdge_tag& longEdge,
                 const texEdge_tag& upper, const texEdge_tag& lower) {
    using P = Pixels<kind>;
    const FastSetup f = fastSetup(setup);
    if (f.closedForm)
        rowsWith<P, true, clipped>(f, target, setup.clip, longEdge, upper, lower);
    else
        rowsWith<P, false, clipped>(f, target, setup.clip, longEdge, upper, lower);
}

template <size_t... row>
constexpr std::array<TexRowsFast, texSpanCaseCount> fastColumn(std::index_sequence<row...>) {
    return {TexRowsFast{&rowsTexSse2<texSpanCases[row].kind(), true>,
                        &rowsTexSse2<texSpanCases[row].kind(), false>}...};
}

} // namespace

} // namespace spantex

constinit const std::array<TexRowsFast, texSpanCaseCount> texRowsSse2 =
    spantex::fastColumn(std::make_index_sequence<texSpanCaseCount>());
