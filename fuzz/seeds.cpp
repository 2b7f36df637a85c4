// Writes the seed corpus of every fuzz target: small valid files made by
// the library's own writers (and an old-style mip and an OMT mip, which it
// does not write), one directory per target.
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

void putLe32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}

Bytes oldStyleMip() {
    Bytes block;
    for (uint32_t v : {0u, 16u, 16u, 2u, 5u})
        putLe32(block, v);
    for (uint32_t offset : {44u, 44u + 256u}) {
        putLe32(block, 0);
        putLe32(block, 0);
        putLe32(block, offset);
    }
    for (int i = 0; i < 256 + 64; ++i)
        block.push_back(uint8_t(i));
    Bytes file;
    putLe32(file, uint32_t(block.size()));
    file.insert(file.end(), block.begin(), block.end());
    return file;
}

// A TGA file: header fields, an id field, a colour map of `mapLength`
// entries and `data`.
Bytes tgaFile(uint8_t type, uint8_t bits, uint8_t descriptor, uint16_t first, uint16_t mapLength,
              uint8_t entryBits, uint16_t w, uint16_t h, const Bytes& data, uint8_t idLength = 0) {
    Bytes b{idLength,
            uint8_t(mapLength || entryBits ? 1 : 0),
            type,
            uint8_t(first),
            uint8_t(first >> 8),
            uint8_t(mapLength),
            uint8_t(mapLength >> 8),
            entryBits,
            0,
            0,
            0,
            0,
            uint8_t(w),
            uint8_t(w >> 8),
            uint8_t(h),
            uint8_t(h >> 8),
            bits,
            descriptor};
    b.resize(b.size() + idLength + size_t(mapLength) * ((entryBits + 7) / 8), 0x5A);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

// A PCX file of a w x h image: header (a 16-colour palette of `colours`),
// `data`, and a trailing palette when asked.
Bytes pcxFile(uint8_t bits, uint8_t planes, uint16_t w, uint16_t h, uint16_t perLine,
              const Bytes& data, uint8_t colours = 0x33, bool trailing = false) {
    Bytes b(128, 0);
    b[0] = 10, b[1] = 5, b[2] = 1, b[3] = bits, b[65] = planes;
    b[8] = uint8_t(w - 1), b[9] = uint8_t((w - 1) >> 8), b[10] = uint8_t(h - 1),
    b[11] = uint8_t((h - 1) >> 8), b[66] = uint8_t(perLine), b[67] = uint8_t(perLine >> 8);
    for (int i = 0; i < 48; ++i)
        b[16 + i] = uint8_t(colours * i);
    b.insert(b.end(), data.begin(), data.end());
    if (trailing) {
        b.push_back(12);
        b.resize(b.size() + 768, 0x77);
    }
    return b;
}

Bytes cut(Bytes bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

// Every TGA and PCX variant the loaders take, valid and hostile: maps past
// index 255 or past the file, runs past the image, sizes the data cannot
// fill, bytes per line shorter than a plane.
void artSeeds() {
    const Bytes some{0x83, 1, 2, 3, 4, 0x01, 5, 6, 7, 8, 9, 10, 11, 12, 0xFF, 1, 2, 3, 4};
    const struct {
        const char* name;
        Bytes file;
    } tgas[] = {
        {"map24.tga", tgaFile(1, 8, 0x00, 0, 4, 24, 3, 2, {0, 1, 2, 3, 0, 1})},
        {"map15_first.tga", tgaFile(1, 8, 0x20, 250, 6, 15, 3, 2, {250, 251, 255, 0, 9, 253})},
        {"map16_rle.tga", tgaFile(9, 8, 0x10, 0, 3, 16, 4, 2, {0x83, 1, 0x03, 0, 1, 2, 2})},
        {"map32_id.tga", tgaFile(9, 8, 0x30, 2, 2, 32, 4, 2, {0xFF, 3}, 7)},
        {"map_huge.tga", tgaFile(1, 8, 0x20, 65535, 65535, 32, 2, 2, {1, 2, 3, 4})},
        {"map_short.tga", cut(tgaFile(1, 8, 0x20, 0, 200, 24, 2, 2, {}), 40)},
        {"grey.tga", tgaFile(3, 8, 0x20, 0, 0, 0, 3, 3, {0, 50, 100, 150, 200, 250, 1, 2, 3})},
        {"grey_rle_map.tga", tgaFile(11, 8, 0x00, 0, 2, 24, 5, 2, {0x84, 7, 0x84, 9})},
        {"rgb24.tga", tgaFile(2, 24, 0x20, 0, 0, 0, 2, 2, some)},
        {"rgb24_rle.tga", tgaFile(10, 24, 0x10, 0, 0, 0, 3, 3, some)},
        {"argb32.tga", tgaFile(2, 32, 0x28, 0, 0, 0, 2, 2, some)},
        {"argb32_rle.tga", tgaFile(10, 32, 0x38, 0, 0, 0, 3, 2, some)},
        {"xrgb32_rle.tga", tgaFile(10, 32, 0x00, 0, 0, 0, 60000, 60000, some)},
        {"rgb24_wide.tga", tgaFile(10, 24, 0x30, 0, 0, 0, 65535, 1, some)},
    };
    for (const auto& t : tgas)
        save("bitmap_load", t.name, t.file);
    const Bytes rows{0xC3, 0x5A, 0xA5, 0x0F, 0xF0, 0xC2, 0x81, 0x18, 0x3C, 0xC4, 0x99};
    const struct {
        const char* name;
        Bytes file;
    } pcxs[] = {
        {"mono.pcx", pcxFile(1, 1, 12, 2, 2, rows)},
        {"planes2.pcx", pcxFile(1, 2, 9, 2, 2, rows)},
        {"planes3.pcx", pcxFile(1, 3, 5, 1, 1, rows)},
        {"planes4.pcx", pcxFile(1, 4, 16, 1, 2, rows, 0)},
        {"cga.pcx", pcxFile(2, 1, 7, 3, 2, rows, 0)},
        {"ega.pcx", pcxFile(4, 1, 3, 4, 2, rows)},
        {"rgb.pcx", pcxFile(8, 3, 3, 1, 4, rows)},
        {"argb.pcx", pcxFile(8, 4, 2, 1, 2, rows, 0x33, true)},
        {"argb_short_line.pcx", pcxFile(8, 4, 300, 2, 1, rows)},
        {"rgb_huge.pcx", pcxFile(8, 3, 32000, 32000, 65535, rows)},
        {"planes4_long_line.pcx", pcxFile(1, 4, 3, 2, 60000, rows)},
    };
    for (const auto& p : pcxs) {
        save("bitmap_load", p.name, p.file);
        save("palette_load", p.name, p.file);
        Bytes prefixed{PIXEL_PAL8, 7, 5};
        prefixed.insert(prefixed.end(), p.file.begin(), p.file.end());
        save("bitmap_read", p.name, prefixed);
    }
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
    artSeeds();
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
    save("mip_load", "old.mip", oldStyleMip());
    mipFree(mip);

    for (bitmap_tag* bm : {pal8, wide, argb, texture})
        bitmapFree(bm);
    return 0;
}
