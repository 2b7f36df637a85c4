// Blending onto 16-bit screen pixels, shared by the ARGB4444 and ALPHA8
// copies and the character copy. Each layout has a one-pixel form and an
// eight-pixel SSE2 form (16-bit lanes) that computes exactly the same
// values: every product and sum of the blend stays below 2^16.
#pragma once

#include <cstdint>

#include <emmintrin.h>

namespace blend8 {
inline __m128i splat(int v) {
    return _mm_set1_epi16(int16_t(v));
}
// mask ? a : b, lane by lane.
inline __m128i select(__m128i mask, __m128i a, __m128i b) {
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}
} // namespace blend8

// The channels of a 16-bit screen pixel for blending: each field in the
// top bits of a byte with ones below it; and a blended colour packed back
// keeping the top bits of each channel.
struct Blend565 {
    static void widen(uint32_t d, uint32_t& r, uint32_t& g, uint32_t& b) {
        r = ((d >> 8) | 7) & 0xFF;
        g = ((d >> 3) | 3) & 0xFF;
        b = ((d << 3) | 7) & 0xFF;
    }
    static uint16_t pack(uint32_t r, uint32_t g, uint32_t b) {
        return uint16_t((r & 0xF8) << 8 | (g & 0xFC) << 3 | b >> 3);
    }
    // A 4444 colour of full alpha: 4-bit channels at the top of each field.
    static uint16_t solid4444(uint32_t v) {
        return uint16_t(((v >> 8) & 15) * 2 << 11 | ((v >> 4) & 15) * 4 << 5 | (v & 15) * 2);
    }
    static void widen(__m128i d, __m128i& r, __m128i& g, __m128i& b) {
        using namespace blend8;
        r = _mm_or_si128(_mm_srli_epi16(d, 8), splat(7));
        g = _mm_and_si128(_mm_or_si128(_mm_srli_epi16(d, 3), splat(3)), splat(0xFF));
        b = _mm_and_si128(_mm_or_si128(_mm_slli_epi16(d, 3), splat(7)), splat(0xFF));
    }
    static __m128i pack(__m128i r, __m128i g, __m128i b) {
        using namespace blend8;
        return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_and_si128(r, splat(0xF8)), 8),
                                         _mm_slli_epi16(_mm_and_si128(g, splat(0xFC)), 3)),
                            _mm_srli_epi16(b, 3));
    }
    static __m128i solid4444(__m128i v) {
        using namespace blend8;
        return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_and_si128(v, splat(0xF00)), 4),
                                         _mm_slli_epi16(_mm_and_si128(v, splat(0xF0)), 3)),
                            _mm_slli_epi16(_mm_and_si128(v, splat(0xF)), 1));
    }
};
struct Blend555 {
    static void widen(uint32_t d, uint32_t& r, uint32_t& g, uint32_t& b) {
        r = ((d >> 7) | 7) & 0xFF;
        g = ((d >> 2) | 7) & 0xFF;
        b = ((d << 3) | 7) & 0xFF;
    }
    // Bit 15 is set: a blended pixel is opaque.
    static uint16_t pack(uint32_t r, uint32_t g, uint32_t b) {
        return uint16_t(0x8000 | (r & 0xF8) << 7 | (g & 0xF8) << 2 | b >> 3);
    }
    static uint16_t solid4444(uint32_t v) {
        return uint16_t(0x8000 | ((v >> 8) & 15) * 2 << 10 | ((v >> 4) & 15) * 2 << 5 |
                        (v & 15) * 2);
    }
    static void widen(__m128i d, __m128i& r, __m128i& g, __m128i& b) {
        using namespace blend8;
        r = _mm_and_si128(_mm_or_si128(_mm_srli_epi16(d, 7), splat(7)), splat(0xFF));
        g = _mm_and_si128(_mm_or_si128(_mm_srli_epi16(d, 2), splat(7)), splat(0xFF));
        b = _mm_and_si128(_mm_or_si128(_mm_slli_epi16(d, 3), splat(7)), splat(0xFF));
    }
    static __m128i pack(__m128i r, __m128i g, __m128i b) {
        using namespace blend8;
        __m128i rg = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(r, splat(0xF8)), 7),
                                  _mm_slli_epi16(_mm_and_si128(g, splat(0xF8)), 2));
        return _mm_or_si128(_mm_or_si128(rg, _mm_srli_epi16(b, 3)), splat(0x8000));
    }
    static __m128i solid4444(__m128i v) {
        using namespace blend8;
        __m128i rg = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(v, splat(0xF00)), 3),
                                  _mm_slli_epi16(_mm_and_si128(v, splat(0xF0)), 2));
        return _mm_or_si128(_mm_or_si128(rg, _mm_slli_epi16(_mm_and_si128(v, splat(0xF)), 1)),
                            splat(0x8000));
    }
};

// Colour (r, g, b) over destination pixel d with weight a (0..255).
template <class To>
uint16_t blendOver(uint32_t d, uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    uint32_t dr, dg, db;
    To::widen(d, dr, dg, db);
    uint32_t ia = 255 - a;
    return To::pack((r * a + dr * ia) >> 8, (g * a + dg * ia) >> 8, (b * a + db * ia) >> 8);
}

// Eight pixels: colour (r, g, b) over d with weights a (each lane 0..255).
template <class To>
__m128i blendOver(__m128i d, __m128i a, __m128i r, __m128i g, __m128i b) {
    __m128i dr, dg, db;
    To::widen(d, dr, dg, db);
    __m128i ia = _mm_sub_epi16(blend8::splat(255), a);
    auto mix = [&](__m128i c, __m128i dc) {
        return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(c, a), _mm_mullo_epi16(dc, ia)), 8);
    };
    return To::pack(mix(r, dr), mix(g, dg), mix(b, db));
}
