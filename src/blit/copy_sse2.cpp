// The SSE2 copy routines: the keyed byte copy 32 pixels per step, and
// the ARGB4444 and ALPHA8 blends onto the screen types eight pixels per
// step (16-bit lanes). Each writes exactly the bytes of its plain routine:
// every product and sum of the blend stays below 2^16.
#include "bitmap/bitmap.h"
#include "blit/blend.h"
#include "blit/blit.h"
#include "blit/pixels.h"
#include "isa/sse2.h"

namespace {

// ------------------------------------------------------------ keyed copy

// True when none of the four bytes of w is 0.
inline bool noZeroByte(uint32_t w) {
    return ((w - 0x01010101u) & ~w & 0x80808080u) == 0;
}

// Stores the non-zero bytes among the first n (1..4) of w.
inline void storeNonZeroBytes(uint8_t* d, uint32_t w, int n) {
    for (int k = 0; k < n; ++k, w >>= 8)
        if (w & 0xFF) d[k] = uint8_t(w);
}

// One row of the keyed byte copy: single pixels up to a 4-byte boundary
// of the source, 32-pixel steps of two blocks (all-transparent steps
// skipped, opaque ones stored whole, others merged with the destination
// block by block), a last 16-pixel block, 32-bit words (all-zero words
// skipped with one test), and the last 1-3 pixels, read as one word when
// `tailWord` allows reading up to 3 bytes further.
void keyedByteRow(uint8_t* d, const uint8_t* s, int32_t n, bool tailWord) {
    int32_t i = 0;
    for (; i < n && (uintptr_t(s + i) & 3); ++i)
        if (s[i]) d[i] = s[i];
    const __m128i zero = _mm_setzero_si128();
    // Two blocks per step: one test skips 32 transparent pixels or stores
    // 32 opaque ones; mixed blocks are merged with the destination.
    auto merge = [](__m128i* out, __m128i v, __m128i transparent) {
        __m128i old = _mm_loadu_si128(out);
        _mm_storeu_si128(
            out, _mm_or_si128(_mm_and_si128(transparent, old), _mm_andnot_si128(transparent, v)));
    };
    for (; i + 32 <= n; i += 32) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 16));
        __m128i ta = _mm_cmpeq_epi8(a, zero), tb = _mm_cmpeq_epi8(b, zero);
        uint32_t mask = uint32_t(_mm_movemask_epi8(ta)) | uint32_t(_mm_movemask_epi8(tb)) << 16;
        if (mask == 0xFFFFFFFFu) continue;
        __m128i* out = reinterpret_cast<__m128i*>(d + i);
        if (mask == 0) {
            _mm_storeu_si128(out, a);
            _mm_storeu_si128(out + 1, b);
            continue;
        }
        merge(out, a, ta);
        merge(out + 1, b, tb);
    }
    if (i + 16 <= n) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        __m128i transparent = _mm_cmpeq_epi8(v, zero);
        if (_mm_movemask_epi8(transparent) != 0xFFFF)
            merge(reinterpret_cast<__m128i*>(d + i), v, transparent);
        i += 16;
    }
    for (; i + 4 <= n; i += 4) {
        uint32_t w = load32(s + i);
        if (w == 0) continue;
        if (noZeroByte(w))
            store32(d + i, w);
        else
            storeNonZeroBytes(d + i, w, 4);
    }
    if (i == n) return;
    if (tailWord) {
        uint32_t w = load32(s + i);
        if (w) storeNonZeroBytes(d + i, w, n - i);
        return;
    }
    for (; i < n; ++i)
        if (s[i]) d[i] = s[i];
}

// ---------------------------------------------------------------- blends

inline __m128i splat(int v) {
    return _mm_set1_epi16(int16_t(v));
}
// mask ? a : b, lane by lane.
inline __m128i select(__m128i mask, __m128i a, __m128i b) {
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// Blend565 and Blend555 on eight pixels.
struct Lanes565 {
    static void widen(__m128i d, __m128i& r, __m128i& g, __m128i& b) {
        r = _mm_or_si128(_mm_srli_epi16(d, 8), splat(7));
        g = _mm_and_si128(_mm_or_si128(_mm_srli_epi16(d, 3), splat(3)), splat(0xFF));
        b = _mm_and_si128(_mm_or_si128(_mm_slli_epi16(d, 3), splat(7)), splat(0xFF));
    }
    static __m128i pack(__m128i r, __m128i g, __m128i b) {
        return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_and_si128(r, splat(0xF8)), 8),
                                         _mm_slli_epi16(_mm_and_si128(g, splat(0xFC)), 3)),
                            _mm_srli_epi16(b, 3));
    }
    static __m128i solid4444(__m128i v) {
        return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_and_si128(v, splat(0xF00)), 4),
                                         _mm_slli_epi16(_mm_and_si128(v, splat(0xF0)), 3)),
                            _mm_slli_epi16(_mm_and_si128(v, splat(0xF)), 1));
    }
};
struct Lanes555 {
    static void widen(__m128i d, __m128i& r, __m128i& g, __m128i& b) {
        r = _mm_and_si128(_mm_or_si128(_mm_srli_epi16(d, 7), splat(7)), splat(0xFF));
        g = _mm_and_si128(_mm_or_si128(_mm_srli_epi16(d, 2), splat(7)), splat(0xFF));
        b = _mm_and_si128(_mm_or_si128(_mm_slli_epi16(d, 3), splat(7)), splat(0xFF));
    }
    static __m128i pack(__m128i r, __m128i g, __m128i b) {
        __m128i rg = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(r, splat(0xF8)), 7),
                                  _mm_slli_epi16(_mm_and_si128(g, splat(0xF8)), 2));
        return _mm_or_si128(_mm_or_si128(rg, _mm_srli_epi16(b, 3)), splat(0x8000));
    }
    static __m128i solid4444(__m128i v) {
        __m128i rg = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(v, splat(0xF00)), 3),
                                  _mm_slli_epi16(_mm_and_si128(v, splat(0xF0)), 2));
        return _mm_or_si128(_mm_or_si128(rg, _mm_slli_epi16(_mm_and_si128(v, splat(0xF)), 1)),
                            splat(0x8000));
    }
};

// Colour (r, g, b) over d with weights a (each lane 0..255).
template <class Lanes>
__m128i blendOver8(__m128i d, __m128i a, __m128i r, __m128i g, __m128i b) {
    __m128i dr, dg, db;
    Lanes::widen(d, dr, dg, db);
    __m128i ia = _mm_sub_epi16(splat(255), a);
    auto mix = [&](__m128i c, __m128i dc) {
        return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(c, a), _mm_mullo_epi16(dc, ia)), 8);
    };
    return Lanes::pack(mix(r, dr), mix(g, dg), mix(b, db));
}

// BlendArgb4444 on eight pixels: the destination pixels `old` and 8 source
// pixels from s.
template <class Lanes>
struct Argb4444Lanes {
    __m128i apply8(__m128i old, const uint8_t* s) const {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        __m128i alpha = _mm_srli_epi16(v, 12);
        __m128i r = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(v, 4), splat(0xF0)), splat(0x0F));
        __m128i g = _mm_or_si128(_mm_and_si128(v, splat(0xF0)), splat(0x0F));
        __m128i b = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(v, 4), splat(0xF0)), splat(0x0F));
        __m128i weight = _mm_add_epi16(_mm_slli_epi16(alpha, 4), alpha); // alpha x 17
        __m128i out = blendOver8<Lanes>(old, weight, r, g, b);
        out = select(_mm_cmpeq_epi16(alpha, splat(15)), Lanes::solid4444(v), out);
        return select(_mm_cmpeq_epi16(alpha, _mm_setzero_si128()), old, out);
    }
};

// BlendAlpha8 on eight pixels, in the font colour of `pixel`.
template <class Lanes, class To>
struct Alpha8Lanes {
    BlendAlpha8<To> pixel;
    __m128i apply8(__m128i old, const uint8_t* s) const {
        __m128i a = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s)),
                                      _mm_setzero_si128());
        __m128i out = blendOver8<Lanes>(old, a, splat(int(pixel.r)), splat(int(pixel.g)),
                                        splat(int(pixel.b)));
        out = select(_mm_cmpeq_epi16(a, splat(240)), splat(pixel.solid), out);
        return select(_mm_cmpeq_epi16(a, _mm_setzero_si128()), old, out);
    }
};

// Eight pixels per step (Wide::apply8), the last 0-7 pixels of a row one by
// one (Op::apply). A pixel the plain routine leaves alone is written back
// with the value it had.
template <class Op, class Wide>
void copyBlend(uint8_t* dstRow, int32_t dstX, int32_t dstRowBytes, const uint8_t* srcRow,
               int32_t srcX, int32_t srcRowBytes, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return;
    const Op op{};
    const Wide wide{};
    for (int64_t y = 0; y < height; ++y) {
        uint8_t* d = rowAt(dstRow, dstRowBytes, y) + int64_t(dstX) * 2;
        const uint8_t* s = rowAt(srcRow, srcRowBytes, y) + int64_t(srcX) * Op::srcBytes;
        int32_t i = 0;
        for (; i + 8 <= width; i += 8) {
            __m128i* out = reinterpret_cast<__m128i*>(d + 2 * i);
            _mm_storeu_si128(out, wide.apply8(_mm_loadu_si128(out), s + i * Op::srcBytes));
        }
        for (; i < width; ++i)
            op.apply(d + 2 * i, s + i * Op::srcBytes);
    }
}

} // namespace

// The last 1-3 pixels of a row are read as one word only where the next
// row in memory belongs to the copy too (below for top-down sources, above
// for bottom-up ones), so that the up to 3 bytes read past the row are its
// own padding or that row's pixels and no read leaves the source rows.
void copyKeyedBytesSse2(uint8_t* dstRow, int32_t dstX, int32_t dstRowBytes, const uint8_t* srcRow,
                        int32_t srcX, int32_t srcRowBytes, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return;
    const bool stepsWide = srcRowBytes >= 4 || srcRowBytes <= -4;
    for (int64_t y = 0; y < height; ++y) {
        bool nextRowCopied = srcRowBytes > 0 ? y + 1 < height : y > 0;
        keyedByteRow(rowAt(dstRow, dstRowBytes, y) + dstX, rowAt(srcRow, srcRowBytes, y) + srcX,
                     width, stepsWide && nextRowCopied);
    }
}

void copyArgb4444To565Sse2(uint8_t* dstRow, int32_t dstX, int32_t dstRowBytes,
                           const uint8_t* srcRow, int32_t srcX, int32_t srcRowBytes, int32_t width,
                           int32_t height) {
    copyBlend<BlendArgb4444<Blend565>, Argb4444Lanes<Lanes565>>(dstRow, dstX, dstRowBytes, srcRow,
                                                                srcX, srcRowBytes, width, height);
}

void copyArgb4444To555Sse2(uint8_t* dstRow, int32_t dstX, int32_t dstRowBytes,
                           const uint8_t* srcRow, int32_t srcX, int32_t srcRowBytes, int32_t width,
                           int32_t height) {
    copyBlend<BlendArgb4444<Blend555>, Argb4444Lanes<Lanes555>>(dstRow, dstX, dstRowBytes, srcRow,
                                                                srcX, srcRowBytes, width, height);
}

void copyAlpha8To565Sse2(uint8_t* dstRow, int32_t dstX, int32_t dstRowBytes, const uint8_t* srcRow,
                         int32_t srcX, int32_t srcRowBytes, int32_t width, int32_t height) {
    copyBlend<BlendAlpha8<Blend565>, Alpha8Lanes<Lanes565, Blend565>>(
        dstRow, dstX, dstRowBytes, srcRow, srcX, srcRowBytes, width, height);
}

void copyAlpha8To555Sse2(uint8_t* dstRow, int32_t dstX, int32_t dstRowBytes, const uint8_t* srcRow,
                         int32_t srcX, int32_t srcRowBytes, int32_t width, int32_t height) {
    copyBlend<BlendAlpha8<Blend555>, Alpha8Lanes<Lanes555, Blend555>>(
        dstRow, dstX, dstRowBytes, srcRow, srcX, srcRowBytes, width, height);
}
