// Internal interface of the bitmaps-and-colour module: pixel sizes, the
// current palette and colormap, the screen colour tables and the
// nearest-colour search.
#pragma once

#include <spanwright/spanwright.h>

#include "bitmap/pixeltype.h"

#include <cstdint>

// rowBytes of a bitmap made by bitmapAlloc: width * bytes per pixel,
// rounded up to a multiple of 4. Computed in 64 bits; callers check range.
inline int64_t allocRowBytes(uint32_t type, int32_t width) {
    return (int64_t(width) * bytesPerPixel(type) + 3) & ~int64_t(3);
}

// True when `bm` describes pixel memory that may be touched with
// `bytesPerPixel`-byte pixels: a record with pixels, a non-negative size
// and rows at least width * bytesPerPixel bytes long, stepped by rowBytes
// of either sign (a negative one lays the rows out bottom-up). Every entry
// point checks this once and does nothing for a record that fails it.
inline bool bitmapUsable(const bitmap_tag* bm, int bytesPerPixel) {
    if (!bm || !bm->pixels || bm->width < 0 || bm->height < 0 || bytesPerPixel <= 0) return false;
    const int64_t rowBytes = bm->rowBytes;
    return (rowBytes < 0 ? -rowBytes : rowBytes) >= int64_t(bm->width) * bytesPerPixel;
}

// Start of row y (64-bit offset arithmetic).
inline uint8_t* rowAt(uint8_t* pixels, int64_t rowBytes, int64_t y) {
    return pixels + rowBytes * y;
}
inline const uint8_t* rowAt(const uint8_t* pixels, int64_t rowBytes, int64_t y) {
    return pixels + rowBytes * y;
}

// The one release operation, exported under five names.
void releaseBlock(void* block);

// Current palette and colormap: references set by the host, never owned.
extern uint32_t* paletteCurrent;
extern uint8_t* colormapCurrent;

// Shadow palette: the colours the display shows, sent on the next frame
// while screenShadowDirty is set.
struct ShadowEntry {
    uint8_t red, green, blue, flags;
};
extern ShadowEntry screenShadowPalette[256];
extern uint8_t screenShadowDirty;

// Rebuilds entries first .. end - 1 (clamped to 0..256) of the shadow
// palette and both 16-bit tables from `palette`, and marks the shadow dirty.
void screenSetPaletteRange(const uint32_t* palette, int32_t first, int32_t end);

// The search behind both: the nearest entry among those whose bit is set
// in `mask`, or among all n when `mask` is null.
using NearestColorRoutine = int (*)(const uint32_t* table, int n, uint32_t target,
                                    const uint32_t* mask);
int nearestColorPlain(const uint32_t* table, int n, uint32_t target, const uint32_t* mask);
int nearestColorSse2(const uint32_t* table, int n, uint32_t target, const uint32_t* mask);

// Nearest entry of `table` (n entries, 0xAARRGGBB, alpha ignored) to the
// RGB of `target`: lowest index among the equally near.
int nearestColor(const uint32_t* table, int n, uint32_t target);
// As nearestColor among the indexes whose bit is set in `mask`; 0 when no
// bit of the first n is set.
int nearestColorSubset(const uint32_t* table, int n, uint32_t target, const uint32_t* mask);

inline bool maskHas(const uint32_t* mask, int index) {
    return (mask[index >> 5] >> (index & 31)) & 1;
}

// The colormap through which the 4-bit values of `bm` (type 0 or 1) turn
// into palette indexes. The callers differ on purpose:
//  - the colour queries and mip building use the bitmap's own colormap, else
//    the current one, and have no colour at all (null) when neither is set;
//  - bitmapScale does the same but falls back on the identity map, so that
//    it always draws;
//  - bitmapCopy never uses the source's own colormap: the current one, else
//    the identity map.
enum class ColormapRule { OwnThenCurrent, OwnThenCurrentThenIdentity, CurrentThenIdentity };
const uint8_t* colormapFor4Bit(const bitmap_tag* bm, ColormapRule rule);
extern const uint8_t identityColormap[16];

// The font colour, 0xWWRRGGBB.
extern uint32_t fontColor;

// The 5-bit and 4-bit channel expansions: round(f * 255 / 31) and f * 17.
extern const uint8_t expand5[32];
inline uint8_t expand4(uint32_t f) {
    return uint8_t((f & 15) * 17);
}
