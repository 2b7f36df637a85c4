// Internal interface of the image-file module: the native "BMAP" chunk
// handlers and their parse state (shared by the loader and the mip files),
// and the loader behind bitmapLoad.
#pragma once

#include <spanwright/spanwright.h>

#include "imagefile/format.h"

#include <cstdint>

// Chunk ids of the native files.
constexpr uint32_t idBMAP = VESK_ID('B', 'M', 'A', 'P');
constexpr uint32_t idBMHD = VESK_ID('B', 'M', 'H', 'D');
constexpr uint32_t idCMAP = VESK_ID('C', 'M', 'A', 'P');
constexpr uint32_t idPLET = VESK_ID('P', 'L', 'E', 'T');
constexpr uint32_t idDATA = VESK_ID('D', 'A', 'T', 'A');

// "BMHD" payload as it lies in the file (14 bytes, little-endian).
struct BmapHeader {
    uint8_t pixelType;
    uint32_t width;
    uint32_t height;
    uint32_t rowBytes;
    uint8_t compression;
};
constexpr int32_t bmhdBytes = 14;

// Parse state of one "BMAP" container. With `allocate` the handlers create
// the bitmap (and its colour table), which then belongs to the caller of
// the parse. With `matchBitmap` the header must describe the caller's
// bitmap exactly (type, width, height): mip levels are read that way.
struct BmapParseState {
    BmapHeader header;
    uint8_t seen;
    uint8_t allocate;
    uint8_t matchBitmap;
    bitmap_tag* bitmap;
};

// "BMHD" -> readBMHD, "PLET" -> readPLET, "CMAP" -> readCMAP, "DATA" ->
// readDATA.
extern const brixParseList bmapParseList[4];

uint8_t readBMHD(void* state, uint32_t id, uint32_t tag, int32_t size, file_tag* file);
uint8_t readPLET(void* state, uint32_t id, uint32_t tag, int32_t size, file_tag* file);
uint8_t readCMAP(void* state, uint32_t id, uint32_t tag, int32_t size, file_tag* file);
uint8_t readDATA(void* state, uint32_t id, uint32_t tag, int32_t size, file_tag* file);

// rowBytes as the native file records it: (bits per pixel * width / 8 + 3)
// rounded down to a multiple of 4.
int64_t bmapFileRowBytes(uint8_t type, int64_t width);

// bitmapRead with the header checked against the bitmap (matchBitmap).
bool bitmapReadMatching(bitmap_tag* bm, file_tag* file);

// The loader behind bitmapLoad, without the cache: the format by the
// library's rules (see format.h). Out-pointer null on failure.
uint8_t bitmapLoadFile(bitmap_tag** out, file_tag* file, uint8_t key);
