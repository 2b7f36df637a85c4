// Fixed-point helpers shared by the edge set-up, the scaler and the mip
// code: exact 64-bit products and quotients for 16.16 values, and a
// table-driven ceiling log2 for power-of-two sizes.
#pragma once

#include <array>
#include <cstdint>

// A signed 64-bit value as two words, high first. Native int64_t stands in
// for it wherever the pair is not shared with other code.
struct int64_pair {
    int32_t high;
    uint32_t low;
};

// Entry n (1..2048) is the smallest k with 2^k >= n; entry 0 is 0.
extern const std::array<int8_t, 2049> log2Table;

// log2Table[n] for n in 0..2048.
inline int32_t log2Ceil(int32_t n) {
    return log2Table[n];
}

// Bits n..n+31 of the 64-bit product a * b.
inline int32_t mulShift(int32_t a, int32_t b, int n) {
    return int32_t((int64_t(a) * b) >> n);
}

// a / b truncated towards zero; the remainder (sign of a) goes to *rem.
inline int32_t divMod(int32_t a, int32_t b, int32_t* rem) {
    int32_t q = int32_t(int64_t(a) / b);
    *rem = int32_t(int64_t(a) - int64_t(q) * b);
    return q;
}

// 2^32 / a truncated towards zero: the 16.16 reciprocal of a 16.16 value.
inline int32_t recip32(int32_t a) {
    return int32_t((int64_t(1) << 32) / a);
}

inline int64_t pairValue(const int64_pair* p) {
    return int64_t((uint64_t(uint32_t(p->high)) << 32) | p->low);
}
inline void pairStore(int64_pair* p, int64_t v) {
    p->high = int32_t(uint64_t(v) >> 32);
    p->low = uint32_t(v);
}

inline int64_pair* mul64(int32_t a, int32_t b, int64_pair* out) {
    pairStore(out, int64_t(a) * b);
    return out;
}

inline int64_pair* add64(int64_pair* acc, const int64_pair* b) {
    pairStore(acc, int64_t(uint64_t(pairValue(acc)) + uint64_t(pairValue(b))));
    return acc;
}

inline int64_pair* sar64(int64_pair* acc, int n) {
    pairStore(acc, pairValue(acc) >> n);
    return acc;
}

inline int32_t divMod64(const int64_pair* a, int32_t b, int32_t* rem) {
    int64_t v = pairValue(a);
    int64_t q = v / b;
    *rem = int32_t(v - q * b);
    return int32_t(q);
}
