// Palettes, the nearest-colour search, the current palette and the screen
// colour tables that follow it.
#include "bitmap/bitmap.h"

#include "fastpath.h"
#include "memory.h"

#include <climits>
#include <cstring>


uint32_t* paletteCurrent = nullptr;
ShadowEntry screenShadowPalette[256];
uint8_t screenShadowDirty = 0;

extern "C" {
uint16_t screenPalette565[256];
uint16_t screenPalette555[256];
}

namespace {

inline int32_t distance(uint32_t a, uint32_t b) {
    int32_t dr = int32_t((a >> 16) & 0xFF) - int32_t((b >> 16) & 0xFF);
    int32_t dg = int32_t((a >> 8) & 0xFF) - int32_t((b >> 8) & 0xFF);
    int32_t db = int32_t(a & 0xFF) - int32_t(b & 0xFF);
    return dr * dr + dg * dg + db * db;
}

inline uint32_t packTarget(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
    return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
}

} // namespace

namespace {

int nearestColorAllPlain(const uint32_t* table, int n, uint32_t target) {
    int best = 0;
    if (n < 2) return 0;
    int32_t bestDistance = distance(table[0], target);
    for (int i = 1; i < n; ++i) {
        int32_t d = distance(table[i], target);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

int nearestColorSubsetPlain(const uint32_t* table, int n, uint32_t target, const uint32_t* mask) {
    int first = 0;
    while (first < n && !maskHas(mask, first))
        ++first;
    if (first >= n) return 0;
    int best = first;
    int32_t bestDistance = distance(table[first], target);
    for (int i = first + 1; i < n; ++i) {
        if (!maskHas(mask, i)) continue;
        int32_t d = distance(table[i], target);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

} // namespace

// The plain searches: every later index replaces the candidate only when
// strictly nearer, so the lowest of equally near indexes wins.
int nearestColorPlain(const uint32_t* table, int n, uint32_t target, const uint32_t* mask) {
    return mask ? nearestColorSubsetPlain(table, n, target, mask)
                : nearestColorAllPlain(table, n, target);
}

namespace {
constexpr RoutinePair<NearestColorRoutine> nearestColorRoutines = {nearestColorPlain,
                                                                    SSE2_ROUTINE(nearestColorSse2)};
} // namespace

int nearestColor(const uint32_t* table, int n, uint32_t target) {
    return pickRoutine(nearestColorRoutines)(table, n, target, nullptr);
}

int nearestColorSubset(const uint32_t* table, int n, uint32_t target, const uint32_t* mask) {
    return pickRoutine(nearestColorRoutines)(table, n, target, mask);
}

void screenSetPaletteRange(const uint32_t* palette, int32_t first, int32_t end) {
    if (first < 0) first = 0;
    if (end > 256) end = 256;
    for (int32_t i = first; i < end; ++i) {
        uint32_t entry = palette[i];
        uint8_t red = uint8_t(entry >> 16), green = uint8_t(entry >> 8), blue = uint8_t(entry);
        screenShadowPalette[i] = {red, green, blue, 0};
        uint32_t r = red >> 3, g = green >> 2, b = blue >> 3;
        screenPalette565[i] = uint16_t(r << 11 | g << 5 | b);
        screenPalette555[i] = uint16_t(r << 10 | (g >> 1) << 5 | b);
    }
    screenShadowDirty = 1;
}

extern "C" {

uint8_t paletteAlloc(uint32_t** out) {
    *out = static_cast<uint32_t*>(memAlloc(256 * sizeof(uint32_t)));
    if (!*out) {
        DebugPrintf("memAlloc() failed in paletteAlloc()\n");
        return 0;
    }
    return 1;
}

void paletteFree(uint32_t* palette) {
    releaseBlock(palette);
}
void paletteUnload(uint32_t* palette) {
    releaseBlock(palette);
}

void paletteSetEntry(uint32_t* palette, int32_t index, uint32_t entry) {
    palette[index & 0xFF] = entry;
}
uint32_t paletteGetEntry(const uint32_t* palette, int32_t index) {
    return palette[index & 0xFF];
}
uint8_t paletteR(const uint32_t* palette, int32_t index) {
    return palette[index & 0xFF] >> 16;
}
uint8_t paletteG(const uint32_t* palette, int32_t index) {
    return palette[index & 0xFF] >> 8;
}
uint8_t paletteB(const uint32_t* palette, int32_t index) {
    return palette[index & 0xFF];
}
uint8_t paletteA(const uint32_t* palette, int32_t index) {
    return palette[index & 0xFF] >> 24;
}

uint8_t paletteRGB(const uint32_t* palette, uint8_t r, uint8_t g, uint8_t b) {
    return uint8_t(nearestColor(palette, 256, packTarget(0xFF, r, g, b)));
}

uint8_t paletteSubsetRGB(const uint32_t* palette, uint8_t r, uint8_t g, uint8_t b,
                         const uint32_t* mask) {
    return uint8_t(nearestColorSubset(palette, 256, packTarget(0xFF, r, g, b), mask));
}

uint8_t paletteRGBA(const uint32_t* palette, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    return uint8_t(nearestColor(palette, 256, packTarget(a, r, g, b)));
}

void paletteSetCurrent(uint32_t* palette, int32_t first, int32_t end) {
    paletteCurrent = palette;
    if (palette) {
        screenSetPaletteRange(palette, first, end);
    } else {
        screenShadowDirty = 1;
    }
}

// With no current palette the range reads as black.
void paletteGetCurrent(uint32_t* out, int32_t first, int32_t end) {
    if (first < 0) first = 0;
    if (end > 256) end = 256;
    for (int32_t i = first; i < end; ++i)
        out[i] = paletteCurrent ? paletteCurrent[i] : 0;
}

void paletteSetCurrentFromBitmap(bitmap_tag* bm, int32_t first, int32_t end) {
    if (!isIndexed8(bm->pixelType)) {
        DebugPrintf("Bitmap is not 8-bit in paletteSetCurrentFromBitmap()\n");
        return;
    }
    if (!bm->map) {
        DebugPrintf("Bitmap has no palette in paletteSetCurrentFromBitmap()\n");
        return;
    }
    paletteSetCurrent(static_cast<uint32_t*>(bm->map), first, end);
}

} // extern "C"
