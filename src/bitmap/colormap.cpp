// Colormaps: 16 palette indexes, coloured through the current palette.
#include "bitmap/bitmap.h"

#include "memory.h"

uint8_t* colormapCurrent = nullptr;

const uint8_t identityColormap[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

const uint8_t* colormapFor4Bit(const bitmap_tag* bm, ColormapRule rule) {
    const uint8_t* own = bm && rule != ColormapRule::CurrentThenIdentity
                             ? static_cast<const uint8_t*>(bm->map)
                             : nullptr;
    const uint8_t* map = own ? own : colormapCurrent;
    if (!map && rule != ColormapRule::OwnThenCurrent) map = identityColormap;
    return map;
}

namespace {

// Entry v of the result is the current palette's entry colormap[v]; false
// when there is no current palette.
bool colormapColors(const uint8_t* colormap, uint32_t out[16]) {
    if (!paletteCurrent) return false;
    for (int v = 0; v < 16; ++v)
        out[v] = paletteCurrent[colormap[v]];
    return true;
}

uint32_t currentEntry(const uint8_t* colormap, int32_t value) {
    return paletteCurrent ? paletteCurrent[colormap[value & 15]] : 0;
}

uint32_t packTarget(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
    return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
}

} // namespace

extern "C" {

uint8_t colormapAlloc(uint8_t** out) {
    *out = static_cast<uint8_t*>(memAlloc(16));
    if (!*out) {
        DebugPrintf("memAlloc() failed in colormapAlloc()\n");
        return 0;
    }
    return 1;
}

void colormapFree(uint8_t* colormap) {
    releaseBlock(colormap);
}
void colormapUnload(uint8_t* colormap) {
    releaseBlock(colormap);
}

void colormapSetEntry(uint8_t* colormap, int32_t value, uint8_t index) {
    colormap[value & 15] = index;
}
uint8_t colormapGetEntry(const uint8_t* colormap, int32_t value) {
    return colormap[value & 15];
}

uint8_t colormapR(const uint8_t* colormap, int32_t value) {
    return currentEntry(colormap, value) >> 16;
}
uint8_t colormapG(const uint8_t* colormap, int32_t value) {
    return currentEntry(colormap, value) >> 8;
}
uint8_t colormapB(const uint8_t* colormap, int32_t value) {
    return currentEntry(colormap, value);
}
uint8_t colormapA(const uint8_t* colormap, int32_t value) {
    return currentEntry(colormap, value) >> 24;
}

uint8_t colormapRGB(const uint8_t* colormap, uint8_t r, uint8_t g, uint8_t b) {
    uint32_t colors[16];
    if (!colormapColors(colormap, colors)) return 0;
    return uint8_t(nearestColor(colors, 16, packTarget(0xFF, r, g, b)));
}

uint8_t colormapSubsetRGB(const uint8_t* colormap, uint8_t r, uint8_t g, uint8_t b,
                          const uint32_t* mask) {
    uint32_t colors[16];
    if (!colormapColors(colormap, colors)) return 0;
    return uint8_t(nearestColorSubset(colors, 16, packTarget(0xFF, r, g, b), mask));
}

uint8_t colormapRGBA(const uint8_t* colormap, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    uint32_t colors[16];
    if (!colormapColors(colormap, colors)) return 0;
    return uint8_t(nearestColor(colors, 16, packTarget(a, r, g, b)));
}

uint8_t* colormapGetCurrent(void) {
    return colormapCurrent;
}
void colormapSetCurrent(uint8_t* colormap) {
    colormapCurrent = colormap;
}
void colormapSetCurrentFromBitmap(bitmap_tag* bm) {
    colormapCurrent = static_cast<uint8_t*>(bm->map);
}

} // extern "C"
