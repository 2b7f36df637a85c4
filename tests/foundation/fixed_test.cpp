// The ceiling log2 table the textured fill and the mip code size levels with.
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

} // namespace
