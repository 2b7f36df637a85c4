// Pixel values to and from 8-bit channels, for every pixel type.
#include "bitmap/bitmap.h"

uint32_t fontColor = 0;

const uint8_t expand5[32] = {0,   8,   16,  25,  33,  41,  49,  58,  66,  74,  82,
                             90,  99,  107, 115, 123, 132, 140, 148, 156, 165, 173,
                             181, 189, 197, 206, 214, 222, 230, 239, 247, 255};

namespace {

// The map an indexed bitmap's colour comes from: its own, else the current.
const uint8_t* colormapOf(const bitmap_tag* bm) {
    return bm->map ? static_cast<const uint8_t*>(bm->map) : colormapCurrent;
}
const uint32_t* paletteOf(const bitmap_tag* bm) {
    return bm->map ? static_cast<const uint32_t*>(bm->map) : paletteCurrent;
}

enum Channel { Red, Green, Blue };

// One channel of a pixel; `name` is printed for types the operation does
// not handle.
uint8_t channel(const bitmap_tag* bm, uint32_t v, Channel c, const char* name) {
    switch (bm->pixelType) {
    case PIXEL_CMAP4:
    case PIXEL_CMAP4_KEY: {
        const uint8_t* colormap = colormapOf(bm);
        if (!colormap) return 0;
        return c == Red     ? colormapR(colormap, v)
               : c == Green ? colormapG(colormap, v)
                            : colormapB(colormap, v);
    }
    case PIXEL_PAL8:
    case PIXEL_PAL8_KEY: {
        const uint32_t* palette = paletteOf(bm);
        if (!palette) return 0;
        return c == Red     ? paletteR(palette, v)
               : c == Green ? paletteG(palette, v)
                            : paletteB(palette, v);
    }
    case PIXEL_RGB565:
        return c == Red ? (v >> 8) & 0xF8 : c == Green ? (v >> 3) & 0xFC : (v << 3) & 0xF8;
    case PIXEL_ARGB1555: return expand5[(v >> (c == Red ? 10 : c == Green ? 5 : 0)) & 31];
    case PIXEL_RGB444:
    case PIXEL_ARGB4444: return expand4(v >> (c == Red ? 8 : c == Green ? 4 : 0));
    case PIXEL_RGB888:
    case PIXEL_ARGB8888: return uint8_t(v >> (c == Red ? 16 : c == Green ? 8 : 0));
    default: DebugPrintf("%s\n", name); return 0;
    }
}

// colorRGB of the direct-colour types (4..9).
uint32_t packDirect(uint8_t type, uint8_t r, uint8_t g, uint8_t b) {
    uint32_t t444 = uint32_t(r & 0xF0) << 4 | (g & 0xF0) | b >> 4;
    uint32_t t888 = uint32_t(r) << 16 | uint32_t(g) << 8 | b;
    switch (type) {
    case PIXEL_RGB565: return uint32_t(r & 0xF8) << 8 | uint32_t(g & 0xFC) << 3 | b >> 3;
    case PIXEL_ARGB1555: return 0x8000 | uint32_t(r & 0xF8) << 7 | uint32_t(g & 0xF8) << 2 | b >> 3;
    case PIXEL_RGB444: return t444;
    case PIXEL_ARGB4444: return 0xF000 | t444;
    case PIXEL_RGB888: return t888;
    default: return 0xFF000000u | t888;
    }
}

} // namespace

extern "C" {

uint8_t colorA(const bitmap_tag* bm, uint32_t v) {
    switch (bm->pixelType) {
    case PIXEL_CMAP4:
    case PIXEL_PAL8:
    case PIXEL_RGB565:
    case PIXEL_RGB444:
    case PIXEL_RGB888: return 255;
    case PIXEL_CMAP4_KEY:
    case PIXEL_PAL8_KEY: return v ? 255 : 0;
    case PIXEL_ARGB1555: return (v & 0x8000) ? 255 : 0;
    case PIXEL_ARGB4444: return expand4(v >> 12);
    case PIXEL_ARGB8888: return uint8_t(v >> 24);
    default: DebugPrintf("colorA\n"); return 0;
    }
}

uint8_t colorR(const bitmap_tag* bm, uint32_t v) {
    return channel(bm, v, Red, "colorR");
}
uint8_t colorG(const bitmap_tag* bm, uint32_t v) {
    return channel(bm, v, Green, "colorG");
}
uint8_t colorB(const bitmap_tag* bm, uint32_t v) {
    return channel(bm, v, Blue, "colorB");
}

uint32_t colorRGB(const bitmap_tag* bm, uint8_t r, uint8_t g, uint8_t b) {
    uint8_t type = bm->pixelType;
    if (isIndexed4(type)) {
        const uint8_t* colormap = colormapOf(bm);
        return colormap ? colormapRGB(colormap, r, g, b) : 0;
    }
    if (isIndexed8(type)) {
        const uint32_t* palette = paletteOf(bm);
        return palette ? paletteRGB(palette, r, g, b) : 0;
    }
    if (type <= PIXEL_ARGB8888) return packDirect(type, r, g, b);
    DebugPrintf("colorRGB\n");
    return 0;
}

uint32_t colorSubsetRGB(const bitmap_tag* bm, uint8_t r, uint8_t g, uint8_t b,
                        const uint32_t* mask) {
    uint8_t type = bm->pixelType;
    if (isIndexed4(type)) {
        const uint8_t* colormap = colormapOf(bm);
        return colormap ? colormapSubsetRGB(colormap, r, g, b, mask) : 0;
    }
    if (isIndexed8(type)) {
        const uint32_t* palette = paletteOf(bm);
        return palette ? paletteSubsetRGB(palette, r, g, b, mask) : 0;
    }
    if (type <= PIXEL_ARGB8888) return packDirect(type, r, g, b);
    DebugPrintf("colorSubsetRGB\n");
    return 0;
}

uint32_t colorRGBA(const bitmap_tag* bm, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    uint8_t type = bm->pixelType;
    if (isIndexed4(type)) {
        const uint8_t* colormap = colormapOf(bm);
        return colormap ? colormapRGBA(colormap, r, g, b, a) : 0;
    }
    if (isIndexed8(type)) {
        const uint32_t* palette = paletteOf(bm);
        return palette ? paletteRGBA(palette, r, g, b, a) : 0;
    }
    switch (type) {
    case PIXEL_RGB565:
    case PIXEL_RGB444:
    case PIXEL_RGB888: return packDirect(type, r, g, b);
    case PIXEL_ARGB1555: return (packDirect(type, r, g, b) & 0x7FFF) | (a >= 128 ? 0x8000 : 0);
    case PIXEL_ARGB4444: return uint32_t(a & 0xF0) << 8 | packDirect(PIXEL_RGB444, r, g, b);
    case PIXEL_ARGB8888: return uint32_t(a) << 24 | packDirect(PIXEL_RGB888, r, g, b);
    default: DebugPrintf("colorRGBA\n"); return 0;
    }
}

void bitmapSetFontColor(uint32_t color) {
    fontColor = color;
}

} // extern "C"
