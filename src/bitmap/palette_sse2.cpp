// The nearest-colour search, four palette entries at a time.
#include "bitmap/bitmap.h"
#include "isa/sse2.h"

#include <climits>

namespace {

// Each of the four lanes keeps the nearest entry of its own quarter (i,
// i + 4, i + 8, ...) with a strict comparison, so it holds the lowest index
// of its nearest entries; the lanes are then merged by distance and, on
// equal distance, by index. The result is the lowest index of all nearest
// entries, exactly as the plain search finds it. Distances are at most
// 3 * 255^2, so 32-bit lanes never overflow, and a lane left out by the
// subset mask carries INT32_MAX.
template <bool Subset>
int nearestColorLanes(const uint32_t* table, int n, uint32_t target, const uint32_t* mask) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i rgbOnly = _mm_set1_epi32(0x00FFFFFF);
    const __m128i target16 = _mm_unpacklo_epi8(_mm_set1_epi32(int(target & 0x00FFFFFF)), zero);
    const __m128i far = _mm_set1_epi32(INT32_MAX);
    __m128i best = far, bestIndex = zero;
    __m128i index = _mm_setr_epi32(0, 1, 2, 3);
    const __m128i four = _mm_set1_epi32(4);
    const __m128i laneBits = _mm_setr_epi32(1, 2, 4, 8);
    for (int i = 0; i < n; i += 4) {
        __m128i entries =
            _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table + i)), rgbOnly);
        __m128i low = _mm_sub_epi16(_mm_unpacklo_epi8(entries, zero), target16);
        __m128i high = _mm_sub_epi16(_mm_unpackhi_epi8(entries, zero), target16);
        // Per entry: (blue^2 + green^2, red^2 + 0) in two 32-bit halves.
        __m128 lowSums = _mm_castsi128_ps(_mm_madd_epi16(low, low));
        __m128 highSums = _mm_castsi128_ps(_mm_madd_epi16(high, high));
        __m128i d = _mm_add_epi32(
            _mm_castps_si128(_mm_shuffle_ps(lowSums, highSums, _MM_SHUFFLE(2, 0, 2, 0))),
            _mm_castps_si128(_mm_shuffle_ps(lowSums, highSums, _MM_SHUFFLE(3, 1, 3, 1))));
        if constexpr (Subset) {
            __m128i bits = _mm_set1_epi32(int((mask[i >> 5] >> (i & 31)) & 15));
            __m128i allowed = _mm_cmpeq_epi32(_mm_and_si128(bits, laneBits), laneBits);
            d = _mm_or_si128(_mm_and_si128(allowed, d), _mm_andnot_si128(allowed, far));
        }
        __m128i nearer = _mm_cmplt_epi32(d, best);
        best = _mm_or_si128(_mm_and_si128(nearer, d), _mm_andnot_si128(nearer, best));
        bestIndex = _mm_or_si128(_mm_and_si128(nearer, index), _mm_andnot_si128(nearer, bestIndex));
        index = _mm_add_epi32(index, four);
    }
    alignas(16) int32_t distances[4], indexes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(distances), best);
    _mm_store_si128(reinterpret_cast<__m128i*>(indexes), bestIndex);
    int lane = 0;
    for (int l = 1; l < 4; ++l)
        if (distances[l] < distances[lane] ||
            (distances[l] == distances[lane] && indexes[l] < indexes[lane]))
            lane = l;
    return distances[lane] == INT32_MAX ? 0 : indexes[lane];
}

} // namespace

int nearestColorSse2(const uint32_t* table, int n, uint32_t target, const uint32_t* mask) {
    // Tables the lanes cannot cover evenly (a colormap's 16 entries can)
    // take the plain search.
    if (n < 4 || n % 4 != 0) return nearestColorPlain(table, n, target, mask);
    return mask ? nearestColorLanes<true>(table, n, target, mask)
                : nearestColorLanes<false>(table, n, target, nullptr);
}
