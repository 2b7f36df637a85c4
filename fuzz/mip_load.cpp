// mipLoad of arbitrary bytes: "MIP ", " MIP" and old-style mips. A loaded
// chain must be consistent: every level's pixels readable over rowBytes x
// height.
#include "harness.h"

#include "memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::silenceMessages();
    const int64_t before = memLiveBlocks();
    {
        fuzz::InputFile file(data, size, "input.bin");
        mip_tag* mip = nullptr;
        if (mipLoad(&mip, file.get())) {
            volatile uint8_t sum = 0;
            for (uint32_t i = 0; i < mip->levels; ++i) {
                const bitmap_tag& level = mip->level[i];
                for (int64_t k = 0; k < int64_t(level.rowBytes) * level.height; ++k)
                    sum = sum + level.pixels[k];
            }
            mipUnload(mip);
        } else if (mip) {
            fuzz::mismatch("mipLoad failed without clearing its out-pointer");
        }
    }
    fuzz::expectNoLeak(before, "mipLoad");
    return 0;
}
