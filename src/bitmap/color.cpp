// Pixel values to and from 8-bit channels, for every pixel type.
#include "bitmap/bitmap.h"

uint32_t fontColor = 0;

const uint8_t expand5[32] = {0,   8,   16,  25,  33,  41,  49,  58,  66,  74,  82,
                             90,  99,  107, 115, 123, 132, 140, 148, 156, 165, 173,
                             181, 189, 197, 206, 214, 222, 230, 239, 247, 255};

namespace {

const uint8_t* colormapOf(const bitmap_tag* bm) {
    return colormapFor4Bit(bm, ColormapRule::OwnThenCurrent);
}
// The palette of an 8-bit indexed bitmap: its own, else the current one.
const uint32_t* paletteOf(const bitmap_tag* bm) {
    return bm->map ? static_cast<const uint32_t*>(bm->map) : paletteCurrent;
}

// A channel field of a pixel widened to 8 bits as the type's row says.
uint8_t widen(const PixelChannel& c, ChannelWidening widening, uint32_t pixel) {
    uint32_t f = c.get(pixel);
    if (widening == ChannelWidening::TopBits) return uint8_t(f << (8 - c.bits));
    uint32_t max = (1u << c.bits) - 1;
    return uint8_t((f * 510 + max) / (2 * max)); // round(f * 255 / max); never a tie
}

// An 8-bit channel value kept to the field's width (its top bits) and put
// in place; nothing for a channel the type does not have.
uint32_t place(const PixelChannel& c, uint8_t value) {
    return c.bits ? uint32_t(value) >> (8 - c.bits) << c.shift : 0;
}

uint32_t packDirect(const PixelTypeInfo& t, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    return place(t.red, r) | place(t.green, g) | place(t.blue, b) | place(t.alpha, a);
}

enum Channel { Red, Green, Blue };

// One channel of a pixel; `name` is printed for types the operation does
// not handle.
uint8_t channel(const bitmap_tag* bm, uint32_t v, Channel c, const char* name) {
    const PixelTypeInfo* t = pixelTypeInfo(bm->pixelType);
    switch (t ? t->kind : PixelKind::Coverage) {
    case PixelKind::Colormap4: {
        const uint8_t* colormap = colormapOf(bm);
        if (!colormap) return 0;
        return c == Red     ? colormapR(colormap, v)
               : c == Green ? colormapG(colormap, v)
                            : colormapB(colormap, v);
    }
    case PixelKind::Palette8: {
        const uint32_t* palette = paletteOf(bm);
        if (!palette) return 0;
        return c == Red     ? paletteR(palette, v)
               : c == Green ? paletteG(palette, v)
                            : paletteB(palette, v);
    }
    case PixelKind::Direct:
        return widen(c == Red ? t->red : c == Green ? t->green : t->blue, t->widening, v);
    case PixelKind::Coverage: break;
    }
    DebugPrintf("%s\n", name);
    return 0;
}

// colorRGB, colorSubsetRGB and colorRGBA: the nearest value of an indexed
// type (among those `mask` allows, when there is one; alpha takes no part),
// or the channels' top bits packed with alpha `a` (types without an alpha
// channel ignore it, and the mask plays no part).
uint32_t nearestValue(const bitmap_tag* bm, uint8_t r, uint8_t g, uint8_t b, uint8_t a,
                      const uint32_t* mask, const char* name) {
    const PixelTypeInfo* t = pixelTypeInfo(bm->pixelType);
    switch (t ? t->kind : PixelKind::Coverage) {
    case PixelKind::Colormap4: {
        const uint8_t* colormap = colormapOf(bm);
        if (!colormap) return 0;
        return mask ? colormapSubsetRGB(colormap, r, g, b, mask)
                    : colormapRGBA(colormap, r, g, b, a);
    }
    case PixelKind::Palette8: {
        const uint32_t* palette = paletteOf(bm);
        if (!palette) return 0;
        return mask ? paletteSubsetRGB(palette, r, g, b, mask) : paletteRGBA(palette, r, g, b, a);
    }
    case PixelKind::Direct: return packDirect(*t, r, g, b, a);
    case PixelKind::Coverage: break;
    }
    DebugPrintf("%s\n", name);
    return 0;
}

} // namespace

extern "C" {

uint8_t colorA(const bitmap_tag* bm, uint32_t v) {
    const PixelTypeInfo* t = pixelTypeInfo(bm->pixelType);
    switch (t ? t->kind : PixelKind::Coverage) {
    case PixelKind::Colormap4:
    case PixelKind::Palette8: return t->keyed && v == 0 ? 0 : 255;
    case PixelKind::Direct: return t->alpha.bits ? widen(t->alpha, ChannelWidening::Exact, v) : 255;
    case PixelKind::Coverage: break;
    }
    DebugPrintf("colorA\n");
    return 0;
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

// Direct types come out opaque.
uint32_t colorRGB(const bitmap_tag* bm, uint8_t r, uint8_t g, uint8_t b) {
    return nearestValue(bm, r, g, b, 255, nullptr, "colorRGB");
}

uint32_t colorSubsetRGB(const bitmap_tag* bm, uint8_t r, uint8_t g, uint8_t b,
                        const uint32_t* mask) {
    return nearestValue(bm, r, g, b, 255, mask, "colorSubsetRGB");
}

uint32_t colorRGBA(const bitmap_tag* bm, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    return nearestValue(bm, r, g, b, a, nullptr, "colorRGBA");
}

void bitmapSetFontColor(uint32_t color) {
    fontColor = color;
}

} // extern "C"
