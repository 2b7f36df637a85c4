// The fixed-point helpers the textured fill, the scaler and the mip code use.
#include "raster/fixed.h"

#include <gtest/gtest.h>

namespace {

TEST(Fixed, Log2CeilIsTheSmallestPowerAtLeastN) {
    EXPECT_EQ(log2Ceil(0), 0);
    for (int32_t n = 1; n <= 2048; ++n) {
        int32_t k = log2Ceil(n);
        ASSERT_GE(1 << k, n) << n;
        if (k > 0) {
            ASSERT_LT(1 << (k - 1), n) << n;
        }
    }
}

TEST(Fixed, Recip32TruncatesTowardsZero) {
    EXPECT_EQ(recip32(0x40000), 0x4000);
    EXPECT_EQ(recip32(-0x20000), -0x8000);
    EXPECT_EQ(recip32(3), 1431655765);
    EXPECT_EQ(recip32(-3), -1431655765);
}

} // namespace
