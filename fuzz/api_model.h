// What the files written during an API sequence must give back when they
// are read again: the images, palettes, colormaps and mip chains each
// writer put into them, taken from the written object at write time.
#pragma once

#include <spanwright/spanwright.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fuzz {

using Palette = std::array<uint32_t, 256>;
using Colormap = std::array<uint8_t, 16>;

// The stored pixel values of a bitmap, row by row (1, 2 or 4 bytes each;
// nothing for a type without a pixel size).
struct Image {
    uint8_t type = 0;
    int32_t width = 0, height = 0;
    std::vector<uint32_t> pixels;
};

// New content, from a seed: random bytes over `rawBytes` bytes at `raw`
// (the whole buffer), then in the pixels (mode 0..4) random values, one
// value, runs, two values alternating with rare repeats (long raw packets
// of the TGA writer), or a few values; 4-bit types get 0..15. A map gets
// random entries.
void fillPixels(bitmap_tag* bm, uint64_t seed, int mode, uint8_t* raw, size_t rawBytes);
void fillTable(void* table, size_t bytes, uint64_t seed);

// The pixel rows of a bitmap that may be drawn into (rowBytes >= 0), and
// back: snapshots around a call made twice. No bitmap has no rows.
std::vector<uint8_t> rowsOf(const bitmap_tag* bm);
void restoreRows(bitmap_tag* bm, const std::vector<uint8_t>& rows);

// Whether every pixel of `bm` can be read: a pixel size, pixels and rows
// at least a row of pixels apart.
bool readable(const bitmap_tag* bm);
// First mismatch of `bm` against `want` (type, size, every pixel under
// `mask`), or an empty text.
std::string compareImage(const Image& want, const bitmap_tag* bm, uint32_t mask = ~0u);

// A mip chain as mipWrite puts it into a file.
struct MipImage {
    uint32_t logWidth = 0, logHeight = 0, color = 0, levels = 0;
    uint8_t flag = 0;
    std::optional<Colormap> colormap;
    std::vector<Image> level;
};
MipImage mipImageOf(const mip_tag* mip);
std::string compareMip(const MipImage& want, const mip_tag* mip);

enum class FileKind { unknown, native, pcx, tga, mip, omtMip, oldMip, palette, colormap };

// What a file holds, as far as the writer promised it.
struct FileModel {
    FileKind kind = FileKind::unknown;
    Image image;                      // native, PCX (8-bit values) and 15/16-bit TGA (1555 values)
    bool loadable = false;            // bitmapLoad must take it (native and PCX)
    std::optional<Palette> palette;   // what paletteLoad finds
    std::optional<Colormap> colormap; // native CMAP, bare CMAP
    MipImage mip;                     // the mip forms
};

// The native file of `bm`: loadable when the reader takes its layout.
FileModel nativeModel(const bitmap_tag* bm);
// The PCX of `bm` with `palette`: readPixel values and the palette's colours.
FileModel pcxModel(const bitmap_tag* bm, const uint32_t* palette);

// TGA colours: (R, G, B, A) of each pixel as the writer converts them,
// packed for 15/16 bits into one word, else 3 or 4 bytes.
std::vector<uint32_t> tgaExpectedPixels(const bitmap_tag* bm, const uint32_t* palette, int bits);
// Decodes a written TGA file (header, id, colour map, raw or run-length
// data) into pixel values of (bits + 7) / 8 bytes, top row first, and
// compares them with `want`: the first difference, or an empty text. A
// file that is not a well-formed image of that shape differs too.
std::string compareTga(const std::vector<uint8_t>& file, int32_t width, int32_t height, int bits,
                       const std::vector<uint32_t>& want);
// Rewrites a TGA file with an id field of `idBytes` bytes and an unused
// colour map of `length` entries of `entryBits` bits in front of the data.
std::vector<uint8_t> tgaWithColorMap(const std::vector<uint8_t>& file, uint8_t idBytes,
                                     uint16_t length, uint8_t entryBits);

// The OMT number of a library pixel type; -1 for a type OMT cannot name.
int omtTypeOf(uint8_t type);
// A written "MIP " file turned into the OMT form (" MIP", OMT type number).
std::vector<uint8_t> omtMipFile(std::vector<uint8_t> file, uint8_t omtType);
// An old-style mip of a chain with one-byte pixels, `slack` bytes past the
// pixel data.
std::vector<uint8_t> oldStyleMipFile(const MipImage& mip, uint32_t slack);

std::vector<uint8_t> readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace fuzz
