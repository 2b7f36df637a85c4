// mipLoad of arbitrary bytes: "MIP ", " MIP" and old-style mips. A loaded
// chain must be consistent: every level's pixels readable over rowBytes x
// height.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::loadOnce(data, size, "mipLoad", mipLoad, mipUnload, [](mip_tag* mip) {
        volatile uint8_t sum = 0;
        for (uint32_t i = 0; i < mip->levels; ++i) {
            const bitmap_tag& level = mip->level[i];
            for (int64_t k = 0; k < int64_t(level.rowBytes) * level.height; ++k)
                sum = sum + level.pixels[k];
        }
    });
    return 0;
}
