// TGA write -> read: a PIXEL_ARGB1555 bitmap made from the input is
// written at 15 or 16 bits, raw or run-length, and loaded back; every
// pixel must come back unchanged. The same bitmap is also written at 24
// and 32 bits (the reader does not take those), for the writer's sake.
#include "harness.h"

#include "imagefile/tga.h"
#include "memory.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    fuzz::silenceMessages();
    const int64_t before = memLiveBlocks();
    const int32_t width = data[0] % 300 + 1, height = data[1] % 12 + 1;
    const bool compress = data[2] & 1;
    const int bits = data[2] & 2 ? 16 : 15;
    const int runLength = data[3] % 140 + 1; // runs longer than a packet
    data += 4, size -= 4;
    auto wordAt = [&](size_t i) {
        return size < 2 ? uint16_t(0)
                        : uint16_t(data[(2 * i) % size] | data[(2 * i + 1) % size] << 8);
    };

    bitmap_tag* bm;
    if (!bitmapAlloc(&bm, PIXEL_ARGB1555, width, height, 0)) return 0;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            reinterpret_cast<uint16_t*>(bm->pixels + y * bm->rowBytes)[x] =
                wordAt(size_t(y * width + x) / size_t(runLength));

    std::string path = fuzz::workDir() + "/roundtrip.tga";
    for (int extraBits : {24, 32}) {
        file_tag* out;
        if (!fileCreate(&out, path.c_str())) std::abort();
        if (!tgaWriteBitmap(bm, nullptr, out, compress, false, extraBits))
            fuzz::mismatch("TGA write");
        fileClose(out);
    }
    file_tag* out;
    if (!fileCreate(&out, path.c_str())) std::abort();
    if (!tgaWriteBitmap(bm, nullptr, out, compress, false, bits)) fuzz::mismatch("TGA write");
    fileClose(out);

    file_tag* in;
    if (!fileOpen(&in, path.c_str())) std::abort();
    bitmap_tag* back;
    if (!bitmapLoad(&back, in, 0)) fuzz::mismatch("written TGA does not load");
    fileClose(in);
    if (back->width != width || back->height != height) fuzz::mismatch("TGA header");
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            if (reinterpret_cast<uint16_t*>(back->pixels + y * back->rowBytes)[x] !=
                reinterpret_cast<uint16_t*>(bm->pixels + y * bm->rowBytes)[x])
                fuzz::mismatch("TGA pixels");
    bitmapUnload(back);
    bitmapFree(bm);
    fuzz::expectNoLeak(before, "TGA round trip");
    return 0;
}
