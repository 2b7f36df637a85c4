// Fixed-point helpers shared by the textured fill, the scaler and the mip
// code: a table-driven ceiling log2 for power-of-two sizes and the 16.16
// reciprocal.
#pragma once

#include <array>
#include <cstdint>

// Entry n (1..2048) is the smallest k with 2^k >= n; entry 0 is 0.
extern const std::array<int8_t, 2049> log2Table;

// log2Table[n] for n in 0..2048.
inline int32_t log2Ceil(int32_t n) {
    return log2Table[n];
}

// 2^32 / a truncated towards zero: the 16.16 reciprocal of a 16.16 value.
inline int32_t recip32(int32_t a) {
    return int32_t((int64_t(1) << 32) / a);
}
