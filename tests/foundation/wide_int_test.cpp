// The 128-bit helper (the only one on 32-bit targets): a quotient undoes
// its product whatever the signs and sizes.
#include "support.h"
#include "wide_int.h"

#include <gtest/gtest.h>

namespace {

// Any 64-bit value, its magnitude spread over all bit lengths.
int64_t anyValue(swtest::Rng& rng) {
    uint64_t bits = uint64_t(rng.next()) << 32 | rng.next();
    return int64_t(bits) >> (rng.next() % 64);
}

TEST(WideInt, FloorDivisionUndoesTheProduct) {
    swtest::Rng rng(41);
    const int64_t extremes[] = {INT64_MIN, INT64_MIN + 1, -1, 0, 1, INT64_MAX};
    for (int i = 0; i < 200000; ++i) {
        int64_t q = i < 36 ? extremes[i % 6] : anyValue(rng);
        int64_t d = i < 36 ? extremes[i / 6] : anyValue(rng);
        d = d == INT64_MIN ? INT64_MAX : d < 0 ? -d : d == 0 ? 1 : d;
        int64_t r = int64_t(((uint64_t(rng.next()) << 32) | rng.next()) % uint64_t(d));
        Int128 n = mulWide(q, d) + wide(r);
        ASSERT_EQ(floorDiv(n, d), q) << q << " * " << d << " + " << r;
        ASSERT_EQ(n - wide(r), mulWide(d, q));
        ASSERT_EQ(n > mulWide(q, d), r > 0);
        ASSERT_EQ(wide(0) - n, -n);
    }
}

} // namespace
