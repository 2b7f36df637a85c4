// colormapLoad of arbitrary bytes.
#include "harness.h"

#include "memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::silenceMessages();
    const int64_t before = memLiveBlocks();
    {
        fuzz::InputFile file(data, size, "input.bin");
        uint8_t* colormap = nullptr;
        if (colormapLoad(&colormap, file.get()))
            colormapFree(colormap);
        else if (colormap)
            fuzz::mismatch("colormapLoad failed without clearing its out-pointer");
    }
    fuzz::expectNoLeak(before, "colormapLoad");
    return 0;
}
