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
    if (bm->pixelType <= PIXEL_PAL8_KEY) {
        memFree(bm->map);
        bm->map = nullptr;
    }
    memFree(bm->pixels);
    memFree(bm);
}

uint8_t bitmapGetColormap(uint8_t* out, const bitmap_tag* bm) {
    if (!isIndexed4(bm->pixelType)) {
        DebugPrintf("Invalid bitmap depth in bitmapGetColormap()\n");
        return 0;
    }
    if (!bm->map) {
        DebugPrintf("No bitmap colormap in bitmapGetColormap()\n");
        return 0;
    }
    std::memcpy(out, bm->map, 16);
    return 1;
}

uint8_t bitmapSetColormap(bitmap_tag* bm, const uint8_t* in) {
    if (!isIndexed4(bm->pixelType)) {
        DebugPrintf("Invalid bitmap depth in bitmapSetColormap()\n");
        return 0;
    }
    if (!bm->map) {
        DebugPrintf("No bitmap colormap in bitmapSetColormap()\n");
        return 0;
    }
    std::memcpy(bm->map, in, 16);
    return 1;
}

uint8_t bitmapGetPalette(uint32_t* out, const bitmap_tag* bm, int32_t first, int32_t count) {
    if (!isIndexed8(bm->pixelType)) {
        DebugPrintf("Invalid bitmap depth in bitmapGetPalette()\n");
        return 0;
    }
    if (!bm->map) {
        DebugPrintf("No bitmap palette in bitmapGetPalette()\n");
        return 0;
    }
    if (clampRange(first, count))
        std::memcpy(out + first, static_cast<const uint32_t*>(bm->map) + first, count * 4u);
    return 1;
}

uint8_t bitmapSetPalette(bitmap_tag* bm, const uint32_t* in, int32_t first, int32_t count) {
    if (!isIndexed8(bm->pixelType)) {
        DebugPrintf("Invalid bitmap depth in bitmapSetPalette()\n");
        return 0;
    }
    if (!bm->map) {
        DebugPrintf("No bitmap palette in bitmapSetPalette()\n");
        return 0;
    }
    if (clampRange(first, count))
        std::memcpy(static_cast<uint32_t*>(bm->map) + first, in + first, count * 4u);
    return 1;
}

} // extern "C"
