// Truevision TGA: the 15/16-bit reader (into PIXEL_ARGB1555 bitmaps) and
// the writer (15, 16, 24 and 32 bits, raw or run-length). The screenshot
// code writes through tgaWriteBitmap; the pixel conversion is exposed so
// other writers produce exactly the same bytes.
//
// The reader reports through _Error. It never reads past the bytes it read
// from the file nor writes more than width x height pixels, and it refuses
// a bitmap smaller than the image.
#pragma once

#include <spanwright/spanwright.h>

#include <cstdint>

constexpr int32_t tgaHeaderBytes = 18;

struct TgaReader {
    file_tag* file;
    uint8_t header[tgaHeaderBytes];
};

// Header fields.
inline uint32_t tgaField16(const uint8_t* header, int at) {
    return uint32_t(header[at]) | uint32_t(header[at + 1]) << 8;
}
inline int32_t tgaWidth(const TgaReader& r) {
    return int32_t(tgaField16(r.header, 12));
}
inline int32_t tgaHeight(const TgaReader& r) {
    return int32_t(tgaField16(r.header, 14));
}
inline uint8_t tgaImageType(const TgaReader& r) {
    return r.header[2];
}

// By the file's name: the three characters after its first "." are t, g,
// a in either case.
bool tgaFileIsTga(file_tag* file);
// Reads the header; true for image type 2 or 10 at 15 or 16 bits per
// pixel. Prints nothing.
bool tgaSetup(TgaReader* state, file_tag* file);
// Into a PIXEL_ARGB1555 bitmap at least the header's width and height.
bool tgaReadBitmap(bitmap_tag* bm, TgaReader* state);
// Offset of the pixel data: header, id field and colour map.
uint32_t tgaDataOffset(const TgaReader& state);
// True when the file holds enough data for the header's image (raw: every
// pixel; run-length: 3 bytes give at most 128 pixels). Prints "TGA data too
// short for a W x H image in <function>()\n" otherwise.
bool tgaSizeFitsFile(const TgaReader& state, const char* function);

// A pixel's colour as the writer sees it.
struct TgaColor {
    uint8_t r, g, b, a;
    bool operator==(const TgaColor& o) const = default;
};

// Converts stored pixel values of one source type to colours; chosen once
// per write by tgaPixelConverter.
struct TgaConverter {
    TgaColor (*convert)(const TgaConverter& self, uint32_t value);
    const uint32_t* palette; // PIXEL_PAL8 and the 4-bit types
    const uint8_t* colormap; // the 4-bit types
    uint8_t keyed;           // PIXEL_CMAP4_KEY: value 0 has alpha 0
};

// The converter for a bitmap's type. PIXEL_PAL8 takes its colours from
// `palette` (or, when that is null, the bitmap's own palette; black without
// either); the 4-bit types go through the bitmap's colormap (or the current
// one, or the identity) into that palette. Types without a conversion
// report "Unknown PIXELTYPE." through _Error once and give opaque black.
TgaConverter tgaPixelConverter(const bitmap_tag* bm, const uint32_t* palette);
// The stored value of pixel (x, y) of the bitmap, by its type's size.
uint32_t tgaStoredPixel(const bitmap_tag* bm, int32_t x, int32_t y);
// Packs a colour into the file's bytes for 15, 16, 24 or 32 bits; returns
// the byte count.
int tgaPackPixel(TgaColor c, int bitsPerPixel, uint8_t* out);
// Writes the 18-byte header field by field.
void tgaWriteHeader(file_tag* file, int32_t width, int32_t height, bool compress, int bitsPerPixel);

// False, writing nothing, for other bit counts, a missing file or bitmap, or
// a bitmap whose rows are shorter than its width.
bool tgaWriteBitmap(bitmap_tag* bm, const uint32_t* palette, file_tag* file, bool compress,
                    bool withColorMap, int bitsPerPixel);
