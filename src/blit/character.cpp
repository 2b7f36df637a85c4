// bitmapCopyCharacter: an anti-aliased glyph (a coverage bitmap) drawn onto
// a 5:6:5 destination in the font colour mixed with a pattern.
//
// The destination and the pattern are read as 5:6:5 words whatever their
// pixel types; the glyph is one coverage byte per pixel. The weight WW of
// the font colour 0xWWRRGGBB mixes it with the pattern pixel under each
// glyph pixel: c = (font x WW + pattern x (255 - WW)) / 255 per channel,
// the pattern's channels widened with ones below their fields. Coverage 0
// leaves the destination, 240 writes c solid, and any other value blends c
// over the destination with that weight, as the ALPHA8 copy does.
//
// Refused (nothing drawn): a null or undrawable record, a destination or
// pattern whose rows are shorter than width 16-bit words, a glyph whose
// rows are shorter than its width, and a pattern smaller than the glyph.
#include "bitmap/bitmap.h"
#include "blit/blend.h"
#include "blit/pixels.h"

#include <algorithm>

extern "C" {

void bitmapCopyCharacter(bitmap_tag* dst, int32_t x, int32_t y, bitmap_tag* pattern,
                         bitmap_tag* glyph) {
    if (!bitmapUsable(dst, 2) || !bitmapUsable(pattern, 2) || !bitmapUsable(glyph, 1)) return;
    if (pattern->width < glyph->width || pattern->height < glyph->height) return;
    PlacedRect r;
    if (!placeInDestination(dst, glyph->width, glyph->height, x, y, &r)) return;
    const int64_t w = r.width, h = r.height, gx = r.srcX, gy = r.srcY, dx = r.dstX, dy = r.dstY;
    const uint32_t weight = fontColor >> 24, patternWeight = 255 - weight;
    const uint32_t fontR = (fontColor >> 16) & 0xFF, fontG = (fontColor >> 8) & 0xFF,
                   fontB = fontColor & 0xFF;
    for (int64_t j = 0; j < h; ++j) {
        const uint8_t* a = rowAt(glyph->pixels, glyph->rowBytes, gy + j) + gx;
        const uint8_t* p = rowAt(pattern->pixels, pattern->rowBytes, gy + j) + 2 * gx;
        uint8_t* d = rowAt(dst->pixels, dst->rowBytes, dy + j) + 2 * dx;
        for (int64_t i = 0; i < w; ++i) {
            uint32_t coverage = a[i];
            if (coverage == 0) continue;
            uint32_t pr, pg, pb;
            Blend565::widen(load16(p + 2 * i), pr, pg, pb);
            uint32_t r = (fontR * weight + pr * patternWeight) / 255;
            uint32_t g = (fontG * weight + pg * patternWeight) / 255;
            uint32_t b = (fontB * weight + pb * patternWeight) / 255;
            store16(d + 2 * i, coverage == 240
                                   ? Blend565::pack(r, g, b)
                                   : blendOver<Blend565>(load16(d + 2 * i), coverage, r, g, b));
        }
    }
}

} // extern "C"
