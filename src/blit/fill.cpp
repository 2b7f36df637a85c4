// Row fills and bitmapFill.
#include "blit/pixels.h"

extern "C" {

// Types 0-3: every pixel gets the low byte of the colour. Types 4 and 5:
// the colour's screen-table pixel. Other types, and records that are not
// drawable, are left alone. Bytes between width and rowBytes stay as they
// are.
void bitmapFill(bitmap_tag* bm, int32_t color) {
    if (!bm) return;
    uint32_t type = bm->pixelType;
    if (type > PIXEL_ARGB1555) return;
    int bytes = type <= PIXEL_PAL8_KEY ? 1 : 2;
    if (!bitmapUsable(bm, bytes)) return;
    withIndexLayout(type, uint32_t(color), [&](const auto& layout) {
        fillRectIndexed(layout, bm->pixels, bm->rowBytes, bm->width, bm->height);
    });
}

} // extern "C"
