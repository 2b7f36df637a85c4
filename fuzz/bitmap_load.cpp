// bitmapLoad on arbitrary bytes, under a plain name (PCX or the native
// file) and under a .tga name (the loader picks TGA by name), plus the
// 4-bit and coverage loaders. Every load is undone by bitmapUnload; the
// cache and the library's blocks must be back where they started.
#include "harness.h"

#include "memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::silenceMessages();
    const int64_t before = memLiveBlocks();
    const uint8_t key = size ? data[0] & 1 : 0;
    for (const char* name : {"input.bin", "input.tga"}) {
        fuzz::InputFile file(data, size, name);
        bitmap_tag* bm = nullptr;
        if (bitmapLoad(&bm, file.get(), key)) {
            // Touch every visible pixel so a short buffer shows up.
            volatile uint8_t sum = 0;
            int bpp = pixelBitDepthLog2(bm->pixelType);
            for (int32_t y = 0; y < bm->height; ++y)
                for (int32_t i = 0; i < bm->width * bpp; ++i)
                    sum = sum + bm->pixels[int64_t(y) * bm->rowBytes + i];
            bitmapUnload(bm);
        } else if (bm) {
            fuzz::mismatch("bitmapLoad failed without clearing its out-pointer");
        }
    }
    fuzz::InputFile file(data, size, "input.bin");
    bitmap_tag* bm = nullptr;
    if (bitmapLoad4(&bm, file.get(), key)) bitmapFree(bm);
    if (libfileSeekFromStart(file.get(), 0) && bitmapLoad8a(&bm, file.get())) bitmapUnload(bm);
    fuzz::expectNoLeak(before, "bitmapLoad");
    return 0;
}
