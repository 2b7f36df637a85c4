// Truevision TGA: the reader (through its variant rows, for the loaders of
// the image-format table) and the writer (15, 16, 24 and 32 bits, raw or
// run-length) that screenshots go through.
//
// The reader reports through _Error. It never reads past the bytes it read
// from the file nor writes more than width x height pixels, and it refuses
// a bitmap smaller than the image.
#pragma once

#include <spanwright/spanwright.h>

#include <cstdint>

constexpr int32_t tgaHeaderBytes = 18;

// Where an indexed variant's palette comes from.
enum class TgaPalette : uint8_t { none, colourMap, greyRamp };

// One row per variant the reader decodes: the image type without its
// run-length bit (8), the bits per pixel and whether the descriptor gives
// alpha bits (0 any, 1 none, 2 some). `store` puts n pixels of the file,
// `step` bytes apart (0: one value n times), at `out` as pixels of
// `pixelType`.
struct TgaVariant {
    uint8_t kind;
    uint8_t bits;
    uint8_t alpha;
    uint8_t pixelType;
    TgaPalette palette;
    void (*store)(uint8_t* out, const uint8_t* in, int32_t n, uint32_t step);
};

struct TgaReader {
    file_tag* file;
    uint8_t header[tgaHeaderBytes];
    const TgaVariant* variant;
};

// By the file's name: the three characters after its first "." are t, g,
// a in either case.
bool tgaFileIsTga(file_tag* file);
// Reads the header and finds its variant (null when the reader does not
// decode it); false when the header cannot be read. Prints nothing.
bool tgaSetup(TgaReader* state, file_tag* file);
// Into a bitmap of the variant's pixel size, at least the header's width
// and height.
bool tgaReadBitmap(bitmap_tag* bm, TgaReader* state);
// The colour map (the entries from the first-entry index on; the rest
// black) or the grey ramp of an indexed variant.
bool tgaReadPalette(uint32_t* palette, TgaReader* state);

// The source types the writer converts (a PIXEL_PAL8 source needs a
// palette); others are written black after "Unknown PIXELTYPE.".
bool tgaWritesType(uint32_t type);
// False, writing nothing, for other bit counts, a missing file or an
// unusable bitmap; false after "fileWrite() failed in tgaWriteBitmap."
// when the file cannot be written.
bool tgaWriteBitmap(bitmap_tag* bm, const uint32_t* palette, file_tag* file, bool compress,
                    bool withColorMap, int bitsPerPixel);

// The next screenshot is numbered 1 again, as in a fresh process (each
// fuzzed call sequence starts from the same state).
void screenshotResetCounter();
