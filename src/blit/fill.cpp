// Row fills and bitmapFill.
#include "blit/pixels.h"

#include <cwchar>

#if !SPANWRIGHT_GENERIC_ONLY
// The 16-bit fill hands whole 32-bit pixel pairs to wmemset.
static_assert(sizeof(wchar_t) == 4, "wmemset fills 32-bit units");
#endif

void fillRow8(uint8_t* p, int64_t n, uint8_t value) {
    if (n <= 0) return;
#if SPANWRIGHT_GENERIC_ONLY
    for (int64_t i = 0; i < n; ++i)
        p[i] = value;
#else
    std::memset(p, value, size_t(n));
#endif
}

void fillRow16(uint8_t* p, int64_t n, uint16_t value) {
    if (n <= 0) return;
#if !SPANWRIGHT_GENERIC_ONLY
    // A 2-aligned row: one pixel to reach a 4-byte boundary, the body as
    // pairs through the C library's vectorised 32-bit fill, a last pixel.
    if ((uintptr_t(p) & 1) == 0 && n >= 8) {
        if (uintptr_t(p) & 2) {
            store16(p, value);
            p += 2;
            --n;
        }
        wchar_t pair = wchar_t(uint32_t(value) | uint32_t(value) << 16);
        std::wmemset(reinterpret_cast<wchar_t*>(p), pair, size_t(n / 2));
        if (n & 1) store16(p + 2 * (n - 1), value);
        return;
    }
#endif
    for (int64_t i = 0; i < n; ++i)
        store16(p + 2 * i, value);
}

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
