// 8-bit PCX: the reader steps the loaders combine, and the writer.
//
// Reading: pcxFileIsPcx tells a PCX file by its first byte (10), pcxSetup
// reads the 128-byte header into a caller-owned PcxReader, pcxReadBitmap
// decodes the pixels (it seeks to offset 128 itself) and pcxReadPalette
// fills a palette from the end of the file; the two reads may come in
// either order. The reader never writes outside the bitmap it is handed:
// an image wider or taller than that bitmap is refused. Decoding stops with
// an error at the end of the file rather than inventing bytes.
#pragma once

#include <spanwright/spanwright.h>

#include <cstdint>

constexpr int32_t pcxHeaderBytes = 128;
constexpr int32_t pcxPaletteBytes = 769; // marker 12 and 256 x (r, g, b)

struct PcxReader {
    uint8_t header[pcxHeaderBytes];
    file_tag* file;
    uint8_t buffer[256];
    uint32_t position; // next byte of buffer to hand out
    uint32_t filled;   // valid bytes in buffer
    uint32_t repeats;  // repeats of repeatValue still pending
    uint8_t repeatValue;
};

// Header fields.
inline int32_t pcxField16(const PcxReader& r, int at) {
    return int16_t(uint16_t(r.header[at] | r.header[at + 1] << 8));
}
inline int32_t pcxWidth(const PcxReader& r) {
    return pcxField16(r, 8) - pcxField16(r, 4) + 1;
}
inline int32_t pcxHeight(const PcxReader& r) {
    return pcxField16(r, 10) - pcxField16(r, 6) + 1;
}
// Bytes of one decoded row: the header's bytes per line when that holds
// the row (some writers store odd lengths), else the width rounded up to
// an even count. The bytes past the width are padding.
inline int32_t pcxRowBytes(const PcxReader& r) {
    int32_t width = pcxWidth(r);
    int32_t perLine = r.header[66] | r.header[67] << 8;
    return perLine >= width ? perLine : width + (width & 1);
}
inline int32_t pcxDepth(const PcxReader& r) {
    return r.header[3] * r.header[65];
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

// True when the pixel data after the header could decode to the image the
// header describes (a count byte and its value give at most 63 bytes), so a
// loader allocates no bitmap that a short file could never fill. Prints
// "PCX data too short for a W x H image in <function>()\n" otherwise.
bool pcxSizeFitsFile(const PcxReader& state, const char* function);
