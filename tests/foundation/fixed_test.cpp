// Fixed-point helpers against plain 64-bit arithmetic.
#include "support.h"

#include "raster/fixed.h"

#include <gtest/gtest.h>

namespace {

TEST(Fixed, Log2CeilTable) {
    const int32_t cases[][2] = {{0, 0},   {1, 0},   {2, 1},     {3, 2},     {4, 2},    {5, 3},
                                {256, 8}, {257, 9}, {1024, 10}, {1025, 11}, {2048, 11}};
    for (const auto& c : cases)
        EXPECT_EQ(log2Ceil(c[0]), c[1]) << c[0];
    for (int32_t n = 1; n <= 2048; ++n) {
        int32_t k = log2Ceil(n);
        ASSERT_GE(1 << k, n) << n;
        if (k > 0) {
            ASSERT_LT(1 << (k - 1), n) << n;
        }
    }
}

TEST(Fixed, QuotientsAndRemainders) {
    int32_t rem = 0;
    EXPECT_EQ(divMod(-7, 2, &rem), -3);
    EXPECT_EQ(rem, -1);
    EXPECT_EQ(divMod(7, -2, &rem), -3);
    EXPECT_EQ(rem, 1);
    EXPECT_EQ(divMod(INT32_MIN, 1, &rem), INT32_MIN);
    EXPECT_EQ(rem, 0);

    EXPECT_EQ(mulShift(0x30000, 0x20000, 16), 0x60000);
    EXPECT_EQ(mulShift(-0x30000, 0x8000, 16), -0x18000);
    EXPECT_EQ(mulShift(0x7FFFFFFF, 0x7FFFFFFF, 31), 0x7FFFFFFE) << "the full 64-bit product";
    EXPECT_EQ(recip32(0x40000), 0x4000);
    EXPECT_EQ(recip32(-0x20000), -0x8000);
    EXPECT_EQ(recip32(3), 1431655765);
}

TEST(Fixed, PairArithmetic) {
    int64_pair p;
    mul64(0x10000, 0x10000, &p);
    EXPECT_EQ(p.high, 1);
    EXPECT_EQ(p.low, 0u);
    sar64(&p, 16);
    EXPECT_EQ(p.high, 0);
    EXPECT_EQ(p.low, 0x10000u);

    int64_pair minusNine;
    mul64(-9, 1, &minusNine);
    EXPECT_EQ(minusNine.high, -1);
    int32_t rem = 0;
    EXPECT_EQ(divMod64(&minusNine, 2, &rem), -4);
    EXPECT_EQ(rem, -1);

    // Carries between the words, and arithmetic shifts of negative values.
    swtest::Rng rng(11);
    for (int i = 0; i < 2000; ++i) {
        int32_t a = int32_t(rng.next()), b = int32_t(rng.next()), c = int32_t(rng.next()),
                d = int32_t(rng.next());
        int n = rng.range(0, 31);
        int32_t divisor = int32_t(rng.next() | 1);
        int64_pair x, y;
        mul64(a, b, &x);
        mul64(c, d, &y);
        add64(&x, &y);
        int64_t expected = int64_t(uint64_t(int64_t(a) * b) + uint64_t(int64_t(c) * d));
        ASSERT_EQ(pairValue(&x), expected);
        sar64(&x, n);
        expected >>= n;
        ASSERT_EQ(pairValue(&x), expected);
        int64_t q = expected / divisor;
        if (q < INT32_MIN || q > INT32_MAX) continue;
        ASSERT_EQ(divMod64(&x, divisor, &rem), int32_t(q));
        ASSERT_EQ(rem, int32_t(expected - q * divisor));
    }
}

} // namespace
