// Internal interface of the mip module.
#pragma once

#include <spanwright/spanwright.h>

#include <cstdint>

// The texture of the rasterizer; not owned.
extern mip_tag* mipCurrent;

// Allocates a chain record with room for `levels` level records, all
// fields zero (so mipFree releases a partly built chain). Null when the
// count is absurd or memory runs out; prints nothing.
mip_tag* mipRecordAlloc(uint32_t levels);

// rowBytes of a mip level: (bytes per pixel * width + 3) rounded down to a
// multiple of 4.
int64_t mipRowBytes(uint8_t type, int64_t width);

// A chain of `levels` levels of `type`, level 0 2^logWidth x 2^logHeight
// pixels and each next level half as wide and high, every level with its
// pixel block (contents undefined); the other fields zero. When memory
// runs out: "memAlloc() failed in <caller>()\n", null, nothing left
// allocated. The caller has checked that the last level is a pixel wide
// and high.
mip_tag* mipAllocChain(uint8_t type, uint32_t logWidth, uint32_t logHeight, uint32_t levels,
                       const char* caller);

// Building chains. The box filter is a fast/plain family (fastpath.h):
// the plain routine reads every pixel through readPixel and the colour
// queries and searches the whole palette for every output pixel; the fast
// one (indexed sources) reads rows directly through a per-call colour
// table and finds nearest colours through a sorted palette and a cache.
// Both give identical chains.
//
// What creation accepts: a source of 1 to 2048 pixels a side whose rows
// hold its width (rowBytes of either sign), giving at least one level
// after the request is clamped (sides of 8 pixels or more at the smallest
// level); anything else fails with a message. A side that is not a power
// of two is padded with colour 0 at level 0, and the averaging windows of
// the smaller levels are clipped to the source. A 4-bit source
// (PIXEL_CMAP4, PIXEL_CMAP4_KEY) is averaged through its colormap (or the
// current one) and the current palette, and its levels hold the nearest
// colormap value, not a palette index.

// The box filter of one window [x0, x1) x [y0, y1) of a bitmap, clipped to
// the bitmap: the palette index (for the 4-bit types, the colormap value)
// nearest to the mean colour of the counted pixels; 0 when none counts or
// there is no palette to search.
uint32_t averageColor(const bitmap_tag* bm, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                      const uint32_t* subset);

// Old-style (unchunked) mips. oldstyle_mip2mip converts a block of
// `total` bytes already in memory, checking every offset and row against
// it; sides must be 1 to 2048 pixels, and the chain gets only the levels
// its power-of-two sides can halve into (at most the header's count).
uint8_t oldstyle_mipGet(mip_tag** out, file_tag* file);
uint8_t oldstyle_mip2mip(mip_tag** out, const uint8_t* block, uint32_t total);

// Chunk handlers of the mip files and their parse state.
namespace mipfile {
struct ParseState {
    uint8_t header[18];
    uint8_t seen;
    mip_tag* mip;
    uint32_t bmaps;
};
uint8_t readMPHD(void* state, uint32_t id, uint32_t tag, int32_t size, file_tag* file);
uint8_t readMPHDOmt(void* state, uint32_t id, uint32_t tag, int32_t size, file_tag* file);
uint8_t readCMAP(void* state, uint32_t id, uint32_t tag, int32_t size, file_tag* file);
uint8_t readBMAP(void* state, uint32_t id, uint32_t tag, int32_t size, file_tag* file);
} // namespace mipfile
