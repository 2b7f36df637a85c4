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
