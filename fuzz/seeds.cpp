// Writes the seed corpus of every fuzz target: small valid files made by
// the library's own writers (and an OMT mip, which it does not write), one
// directory per target. Hand-made files (every TGA and PCX variant the
// readers take, valid and hostile, and an old-style mip) are fixed bytes
// and sit under corpus/TARGET instead.
//   fuzz_seeds OUTDIR
#include "harness.h"

#include "imagefile/tga.h"
#include "memory.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
std::string outDir;

bitmap_tag* patterned(uint8_t type, int32_t w, int32_t h) {
    bitmap_tag* bm;
    if (!bitmapAlloc(&bm, type, w, h, type <= PIXEL_PAL8_KEY)) std::abort();
    for (int32_t i = 0; i < (h + 1) * bm->rowBytes; ++i)
        bm->pixels[i] = uint8_t(type <= PIXEL_CMAP4_KEY ? (i / 3) & 15 : i / 3 * 37);
    if (type <= PIXEL_CMAP4_KEY)
        for (int i = 0; i < 16; ++i)
            static_cast<uint8_t*>(bm->map)[i] = uint8_t(i * 16);
    else if (type <= PIXEL_PAL8_KEY)
        for (int i = 0; i < 256; ++i)
            static_cast<uint32_t*>(bm->map)[i] = uint32_t(i * 0x010203);
    return bm;
}

// Runs `write` on a new file and returns the bytes it wrote.
template <class Write>
Bytes written(Write write) {
    std::string path = fuzz::workDir() + "/seed";
    file_tag* f;
    if (!fileCreate(&f, path.c_str()) || !write(f)) std::abort();
    fileClose(f);
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void save(const char* target, const char* name, const Bytes& bytes) {
    std::filesystem::create_directories(outDir + "/" + target);
    std::ofstream(outDir + "/" + target + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds OUTDIR\n");
        return 2;
    }
    outDir = argv[1];
    bitmap_tag* pal8 = patterned(PIXEL_PAL8, 7, 5);
    bitmap_tag* wide = patterned(PIXEL_PAL8, 70, 2);
    std::memset(wide->pixels, 0xC7, size_t(wide->rowBytes) * 2);
    bitmap_tag* argb = patterned(PIXEL_ARGB1555, 9, 4);
    const uint32_t* palette = static_cast<uint32_t*>(pal8->map);

    Bytes pcx = written([&](file_tag* f) { return bitmapWritePcx(f, pal8, palette); });
    Bytes pcxRuns = written([&](file_tag* f) { return bitmapWritePcx(f, wide, palette); });
    Bytes tgaRaw =
        written([&](file_tag* f) { return tgaWriteBitmap(argb, nullptr, f, false, false, 16); });
    Bytes tgaRuns =
        written([&](file_tag* f) { return tgaWriteBitmap(argb, nullptr, f, true, false, 15); });
    save("bitmap_load", "pal8.pcx", pcx);
    save("bitmap_load", "runs.pcx", pcxRuns);
    save("bitmap_load", "raw.tga", tgaRaw);
    save("bitmap_load", "runs.tga", tgaRuns);
    for (uint8_t type : {PIXEL_CMAP4, PIXEL_PAL8_KEY, PIXEL_RGB565, PIXEL_ARGB8888}) {
        bitmap_tag* bm = patterned(type, 5, 3);
        Bytes native = written([&](file_tag* f) { return bitmapWrite(f, bm); });
        std::string name = "native" + std::to_string(type);
        save("bitmap_load", name.c_str(), native);
        Bytes prefixed{type, 5, 3};
        prefixed.insert(prefixed.end(), native.begin(), native.end());
        save("bitmap_read", name.c_str(), prefixed);
        bitmapFree(bm);
    }
    Bytes pcxPrefixed{PIXEL_PAL8, 7, 5};
    pcxPrefixed.insert(pcxPrefixed.end(), pcx.begin(), pcx.end());
    save("bitmap_read", "pal8.pcx", pcxPrefixed);

    save("palette_load", "plet", written([&](file_tag* f) { return paletteWrite(f, palette); }));
    save("palette_load", "bmap", written([&](file_tag* f) { return bitmapWrite(f, pal8); }));
    save("palette_load", "pal8.pcx", pcx);
    uint8_t colormap[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    save("colormap_load", "cmap", written([&](file_tag* f) { return colormapWrite(f, colormap); }));

    bitmap_tag* texture = patterned(PIXEL_PAL8, 32, 16);
    mip_tag* mip;
    if (!mipCreate(&mip, texture, 2, 0)) std::abort();
    Bytes mipFile = written([&](file_tag* f) { return mipWrite(f, mip, nullptr, 0); });
    save("mip_load", "pal8.mip", mipFile);
    // OMT type 0 is PIXEL_CMAP4, so a 4-bit chain only needs the other id.
    bitmap_tag* texture4 = patterned(PIXEL_CMAP4, 32, 16);
    mip_tag* mip4;
    if (!mipCreate(&mip4, texture4, 2, 0)) std::abort();
    Bytes omt = written([&](file_tag* f) { return mipWrite(f, mip4, nullptr, 0); });
    std::memcpy(omt.data(), " MIP", 4);
    save("mip_load", "omt.mip", omt);
    mipFree(mip4);
    bitmapFree(texture4);
    mipFree(mip);

    for (bitmap_tag* bm : {pal8, wide, argb, texture})
        bitmapFree(bm);
    return 0;
}
