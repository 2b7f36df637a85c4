// PCX: the reader steps the loaders combine (through the image-format
// table), and the 8-bit writer.
//
// Reading: pcxFileIsPcx tells a PCX file by its first byte (10), pcxSetup
// reads the 128-byte header into a caller-owned PcxReader and finds its
// variant, pcxReadBitmap decodes the pixels (it seeks to offset 128
// itself) and pcxReadPalette fills a palette from the end of the file; the
// two reads may come in either order. The reader never writes outside the
// bitmap it is handed: an image wider or taller than that bitmap is
// refused. Decoding stops with an error at the end of the file rather than
// inventing bytes.
#pragma once

#include <spanwright/spanwright.h>

#include "host/byteorder.h"

#include <cstdint>

constexpr int32_t pcxHeaderBytes = 128;
constexpr int32_t pcxPaletteBytes = 769; // marker 12 and 256 x (r, g, b)

// One row per variant the reader decodes: bits per pixel in a plane and
// planes. A scanline holds the planes one after another, `planeBytes` each;
// `unpack` turns it into `width` pixels of the variant's pixel type (or
// palette indexes when `indexed`, whose palette the file carries).
// `defaults` holds the colours of a variant of fewer than 8 bits whose
// header palette is empty (all of them for black and white, which ignores
// the header).
struct PcxVariant {
    uint8_t bits, planes;
    uint8_t pixelType;
    bool indexed;
    void (*unpack)(uint8_t* row, const uint8_t* line, int32_t width, int32_t planeBytes);
    const uint32_t* defaults;
    const char* defaultsName;
};

struct PcxReader {
    uint8_t header[pcxHeaderBytes];
    file_tag* file;
    const PcxVariant* variant; // null: a variant the reader does not decode
    uint8_t buffer[256];
    uint32_t position; // next byte of buffer to hand out
    uint32_t filled;   // valid bytes in buffer
    uint32_t repeats;  // repeats of repeatValue still pending
    uint8_t repeatValue;
};

// Header fields.
inline int32_t pcxField16(const PcxReader& r, int at) {
    return int16_t(loadLe16(r.header + at));
}
inline int32_t pcxWidth(const PcxReader& r) {
    return pcxField16(r, 8) - pcxField16(r, 4) + 1;
}
inline int32_t pcxHeight(const PcxReader& r) {
    return pcxField16(r, 10) - pcxField16(r, 6) + 1;
}

bool pcxFileIsPcx(file_tag* file);
bool pcxSetup(PcxReader* state, file_tag* file);
bool pcxReadBitmap(bitmap_tag* bm, PcxReader* state);
bool pcxReadPalette(uint32_t* palette, PcxReader* state);
bool pcxWriteBitmap(file_tag* file, bitmap_tag* bm, const uint32_t* palette);

// Buffered reading: pcxrunInit makes the first fill and clears the pending
// run; pcxrunGetCh hands out the next byte of the file; pcxrunReadByte the
// next decoded byte.
bool pcxrunInit(PcxReader* state);
bool pcxrunGetCh(PcxReader* state, uint8_t* byte);
bool pcxrunReadByte(PcxReader* state, uint8_t* byte);
