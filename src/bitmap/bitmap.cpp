// The bitmap record: allocation, release and map access.
#include "bitmap/bitmap.h"

#include "memory.h"

#include <cstring>

namespace {

// Clamps an entry range of a 256-entry palette to the table.
bool clampRange(int32_t& first, int32_t& count) {
    if (first < 0) {
        count += first;
        first = 0;
    }
    if (count > 256 - first) count = 256 - first;
    return count > 0;
}

enum class MapKind { Colormap, Palette };

// The map of a bitmap of the kind that carries it, or null after printing
// why there is none: a type that carries no such map, or no map at all.
void* mapOf(const bitmap_tag* bm, MapKind kind, const char* function) {
    bool typeFits =
        kind == MapKind::Colormap ? isIndexed4(bm->pixelType) : isIndexed8(bm->pixelType);
    if (!typeFits) {
        DebugPrintf("Invalid bitmap depth in %s()\n", function);
        return nullptr;
    }
    if (!bm->map)
        DebugPrintf("No bitmap %s in %s()\n", kind == MapKind::Colormap ? "colormap" : "palette",
                    function);
    return bm->map;
}

} // namespace

void releaseBlock(void* block) {
    memFree(block);
}

extern "C" {

int32_t bitmapWidth(const bitmap_tag* bm) {
    return bm->width;
}
int32_t bitmapHeight(const bitmap_tag* bm) {
    return bm->height;
}
uint8_t bitmapPixelType(const bitmap_tag* bm) {
    return bm->pixelType;
}

int32_t pixelBitDepth(int32_t type) {
    return bytesPerPixel(uint32_t(type)) * 8;
}
int32_t pixelBitDepthLog2(int32_t type) {
    return bytesPerPixel(uint32_t(type));
}

uint8_t bitmapAlloc(bitmap_tag** out, uint8_t type, int32_t width, int32_t height,
                    uint8_t withMap) {
    *out = nullptr;
    auto* bm = static_cast<bitmap_tag*>(memAlloc(sizeof(bitmap_tag)));
    if (!bm) {
        DebugPrintf("memAlloc() failed in bitmapAlloc()\n");
        return 0;
    }
    int64_t rowBytes = allocRowBytes(type, width);
    int64_t bufferBytes = (int64_t(height) + 1) * rowBytes + 1;
    // A negative size, or a buffer the record's 32-bit fields cannot
    // address, is refused like an allocation that failed.
    bool sane = width >= 0 && height >= 0 && rowBytes <= INT32_MAX && bufferBytes <= INT32_MAX;
    bm->pixelType = type;
    bm->width = width;
    bm->height = height;
    bm->rowBytes = sane ? int32_t(rowBytes) : 0;
    bm->map = nullptr;
    bm->pixels = sane ? static_cast<uint8_t*>(memAlloc(size_t(bufferBytes))) : nullptr;
    if (!bm->pixels) {
        DebugPrintf("memAlloc() failed in bitmapAlloc()\n");
        memFree(bm);
        return 0;
    }
    if (withMap) {
        if (isIndexed4(type)) {
            uint8_t* colormap;
            if (!colormapAlloc(&colormap)) {
                DebugPrintf("colormapAlloc() failed in bitmapAlloc()\n");
            }
            bm->map = colormap;
        } else if (isIndexed8(type)) {
            uint32_t* palette;
            if (!paletteAlloc(&palette)) {
                DebugPrintf("paletteAlloc() failed in bitmapAlloc()\n");
            }
            bm->map = palette;
        } else {
            DebugPrintf("Invalid pixel depth for map in bitmapAlloc()\n");
        }
        if (!bm->map) {
            memFree(bm->pixels);
            memFree(bm);
            return 0;
        }
    }
    *out = bm;
    return 1;
}

void bitmapFree(bitmap_tag* bm) {
    if (!bm) return;
    if (hasMap(bm->pixelType)) {
        memFree(bm->map);
        bm->map = nullptr;
    }
    memFree(bm->pixels);
    memFree(bm);
}

uint8_t bitmapGetColormap(uint8_t* out, const bitmap_tag* bm) {
    const void* colormap = mapOf(bm, MapKind::Colormap, "bitmapGetColormap");
    if (!colormap) return 0;
    std::memcpy(out, colormap, 16);
    return 1;
}

uint8_t bitmapSetColormap(bitmap_tag* bm, const uint8_t* in) {
    void* colormap = mapOf(bm, MapKind::Colormap, "bitmapSetColormap");
    if (!colormap) return 0;
    std::memcpy(colormap, in, 16);
    return 1;
}

uint8_t bitmapGetPalette(uint32_t* out, const bitmap_tag* bm, int32_t first, int32_t count) {
    auto* palette = static_cast<const uint32_t*>(mapOf(bm, MapKind::Palette, "bitmapGetPalette"));
    if (!palette) return 0;
    if (clampRange(first, count)) std::memcpy(out + first, palette + first, count * 4u);
    return 1;
}

uint8_t bitmapSetPalette(bitmap_tag* bm, const uint32_t* in, int32_t first, int32_t count) {
    auto* palette = static_cast<uint32_t*>(mapOf(bm, MapKind::Palette, "bitmapSetPalette"));
    if (!palette) return 0;
    if (clampRange(first, count)) std::memcpy(palette + first, in + first, count * 4u);
    return 1;
}

} // extern "C"
