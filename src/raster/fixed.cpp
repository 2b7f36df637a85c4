#include "raster/fixed.h"

namespace {

constexpr std::array<int8_t, 2049> buildLog2Table() {
    std::array<int8_t, 2049> table{};
    for (int n = 1; n <= 2048; ++n) {
        int k = 0;
        while ((1 << k) < n)
            ++k;
        table[n] = int8_t(k);
    }
    return table;
}

} // namespace

// Constant-initialised: no code runs at load.
constinit const std::array<int8_t, 2049> log2Table = buildLog2Table();
