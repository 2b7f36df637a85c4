// PCX write -> read: an 8-bit bitmap and palette made from the input are
// written with bitmapWritePcx and loaded back; pixels and palette colours
// must come back unchanged.
#include "harness.h"

#include "memory.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    fuzz::silenceMessages();
    const int64_t before = memLiveBlocks();
    const int32_t width = data[0] % 150 + 1, height = data[1] % 20 + 1;
    const int runLength = data[2] % 70 + 1; // long runs exercise the 63 split
    data += 3, size -= 3;
    auto byteAt = [&](size_t i) { return size ? data[i % size] : uint8_t(0); };

    bitmap_tag* bm;
    uint32_t* palette;
    if (!bitmapAlloc(&bm, PIXEL_PAL8, width, height, 0)) return 0;
    if (!paletteAlloc(&palette)) std::abort();
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            bm->pixels[y * bm->rowBytes + x] = byteAt(size_t(y * width + x) / size_t(runLength));
    for (int i = 0; i < 256; ++i)
        palette[i] = uint32_t(byteAt(size_t(3 * i))) << 16 |
                     uint32_t(byteAt(size_t(3 * i + 1))) << 8 | byteAt(size_t(3 * i + 2)) |
                     0xAB000000u;

    std::string path = fuzz::workDir() + "/roundtrip.pcx";
    file_tag* out;
    if (!fileCreate(&out, path.c_str())) std::abort();
    if (!bitmapWritePcx(out, bm, palette)) fuzz::mismatch("bitmapWritePcx failed");
    fileClose(out);

    file_tag* in;
    if (!fileOpen(&in, path.c_str())) std::abort();
    bitmap_tag* back;
    if (!bitmapLoad(&back, in, 0)) fuzz::mismatch("written PCX does not load");
    fileClose(in);
    if (back->width != width || back->height != height || back->pixelType != PIXEL_PAL8)
        fuzz::mismatch("PCX header");
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            if (back->pixels[y * back->rowBytes + x] != bm->pixels[y * bm->rowBytes + x])
                fuzz::mismatch("PCX pixels");
    for (int i = 0; i < 256; ++i)
        if (static_cast<uint32_t*>(back->map)[i] != (palette[i] & 0xFFFFFF))
            fuzz::mismatch("PCX palette");
    bitmapUnload(back);
    bitmapFree(bm);
    paletteFree(palette);
    fuzz::expectNoLeak(before, "PCX round trip");
    return 0;
}
