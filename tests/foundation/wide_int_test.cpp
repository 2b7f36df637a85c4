// The 128-bit helper: a quotient undoes its product whatever the signs and
// sizes, and where the compiler has a native 128-bit type every operation
// agrees with it.
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

#ifdef __SIZEOF_INT128__
TEST(WideInt, AgreesWithTheNativeType) {
    auto toNative = [](Int128 a) {
        return __int128((unsigned __int128)(uint64_t(a.high)) << 64 | a.low);
    };
    swtest::Rng rng(42);
    for (int i = 0; i < 200000; ++i) {
        int64_t a = anyValue(rng), b = anyValue(rng), c = anyValue(rng), d = anyValue(rng);
        __int128 x = __int128(a) * b, y = __int128(c) * d;
        Int128 wx = mulWide(a, b), wy = mulWide(c, d);
        ASSERT_TRUE(toNative(wx) == x) << a << " * " << b;
        ASSERT_TRUE(toNative(wx + wy) == x + y);
        ASSERT_TRUE(toNative(wx - wy) == x - y);
        ASSERT_TRUE(toNative(-wx) == -x);
        ASSERT_EQ(wx < wy, x < y);
        ASSERT_EQ(wx == wy, x == y);
        ASSERT_EQ(narrow(wide(a) - wide(c)), int64_t(uint64_t(a) - uint64_t(c)));
        // Floor division by a positive divisor whose quotient fits.
        int64_t divisor = d == INT64_MIN ? 1 : d < 0 ? -d : d == 0 ? 1 : d;
        __int128 q = x / divisor;
        if (x % divisor != 0 && x < 0) q -= 1;
        if (q < INT64_MIN || q > INT64_MAX) continue;
        ASSERT_EQ(floorDiv(wx, divisor), int64_t(q)) << a << " * " << b << " / " << divisor;
    }
}
#endif

} // namespace
