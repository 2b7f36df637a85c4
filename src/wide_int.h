// Exact signed 128-bit integers for the few products that outgrow 64 bits
// (the line clipper multiplies two 33-bit lengths by a step count). Only
// what those callers need: 64 x 64 -> 128 products, sums and differences,
// comparison, and a floor division by a positive 64-bit value whose
// quotient fits in 64 bits. Plain 64-bit arithmetic throughout, so it is
// the same on every target, 32-bit ones included.
#pragma once

#include <bit>
#include <compare>
#include <cstdint>

// Two's complement in two halves. The high half comes first, so that the
// defaulted comparison (high signed, then low unsigned) orders by value.
struct Int128 {
    int64_t high;
    uint64_t low;
    friend constexpr auto operator<=>(const Int128&, const Int128&) = default;
};

constexpr Int128 wide(int64_t value) {
    return Int128{value < 0 ? -1 : 0, uint64_t(value)};
}

constexpr Int128 operator+(Int128 a, Int128 b) {
    uint64_t low = a.low + b.low;
    return Int128{int64_t(uint64_t(a.high) + uint64_t(b.high) + (low < a.low)), low};
}

constexpr Int128 operator-(Int128 a) {
    uint64_t low = ~a.low + 1;
    return Int128{int64_t(~uint64_t(a.high) + (low == 0)), low};
}

constexpr Int128 operator-(Int128 a, Int128 b) {
    return a + -b;
}

// The low 64 bits, as a signed value: the value itself when it fits.
constexpr int64_t narrow(Int128 a) {
    return int64_t(a.low);
}

// The full product a * b.
constexpr Int128 mulWide(int64_t a, int64_t b) {
    // The unsigned product of the two bit patterns, from 32-bit halves...
    uint64_t ua = uint64_t(a), ub = uint64_t(b);
    uint64_t aLow = ua & 0xFFFFFFFFu, aHigh = ua >> 32;
    uint64_t bLow = ub & 0xFFFFFFFFu, bHigh = ub >> 32;
    uint64_t lowLow = aLow * bLow;
    uint64_t middle1 = aHigh * bLow + (lowLow >> 32);
    uint64_t middle2 = aLow * bHigh + (middle1 & 0xFFFFFFFFu);
    uint64_t high = aHigh * bHigh + (middle1 >> 32) + (middle2 >> 32);
    uint64_t low = (middle2 << 32) | (lowLow & 0xFFFFFFFFu);
    // ...less 2^64 b for a negative a and 2^64 a for a negative b.
    high -= a < 0 ? ub : 0;
    high -= b < 0 ? ua : 0;
    return Int128{int64_t(high), low};
}

namespace wideInt {

// (high * 2^64 + low) / divisor for high < divisor, which keeps the
// quotient within 64 bits; the remainder goes to *rem. Long division in
// 32-bit digits on the normalised divisor, each digit estimated from the
// divisor's top half and corrected at most twice.
constexpr uint64_t divide(uint64_t high, uint64_t low, uint64_t divisor, uint64_t* rem) {
    const uint64_t base = uint64_t(1) << 32;
    const int shift = std::countl_zero(divisor);
    divisor <<= shift;
    const uint64_t dHigh = divisor >> 32, dLow = divisor & 0xFFFFFFFFu;
    const uint64_t top = shift == 0 ? high : (high << shift) | (low >> (64 - shift));
    const uint64_t rest = low << shift;
    const uint64_t restHigh = rest >> 32, restLow = rest & 0xFFFFFFFFu;

    uint64_t q1 = top / dHigh, r = top - q1 * dHigh;
    while (q1 >= base || q1 * dLow > (r << 32) + restHigh) {
        --q1;
        r += dHigh;
        if (r >= base) break;
    }
    const uint64_t middle = (top << 32) + restHigh - q1 * divisor;
    uint64_t q0 = middle / dHigh;
    r = middle - q0 * dHigh;
    while (q0 >= base || q0 * dLow > (r << 32) + restLow) {
        --q0;
        r += dHigh;
        if (r >= base) break;
    }
    *rem = ((middle << 32) + restLow - q0 * divisor) >> shift;
    return (q1 << 32) + q0;
}

} // namespace wideInt

// a / divisor rounded towards minus infinity, for divisor > 0 and a
// quotient that fits in 64 bits.
constexpr int64_t floorDiv(Int128 a, int64_t divisor) {
    const bool negative = a.high < 0;
    const Int128 magnitude = negative ? -a : a;
    uint64_t rem = 0;
    const uint64_t q =
        wideInt::divide(uint64_t(magnitude.high), magnitude.low, uint64_t(divisor), &rem);
    // -q - 1 for a negative dividend with a remainder, in unsigned arithmetic
    // so that the most negative quotient does not overflow on the way.
    return negative ? int64_t(~q + (rem == 0)) : int64_t(q);
}
