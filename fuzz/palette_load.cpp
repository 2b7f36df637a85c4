// paletteLoad of arbitrary bytes (PCX, bare "PLET", "BMAP" or "MIP ").
#include "harness.h"

#include "memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::silenceMessages();
    const int64_t before = memLiveBlocks();
    {
        fuzz::InputFile file(data, size, "input.bin");
        uint32_t* palette = nullptr;
        if (paletteLoad(&palette, file.get()))
            paletteFree(palette);
        else if (palette)
            fuzz::mismatch("paletteLoad failed without clearing its out-pointer");
    }
    fuzz::expectNoLeak(before, "paletteLoad");
    return 0;
}
