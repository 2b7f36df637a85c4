// Pixel memory helpers shared by the drawing primitives and the blitters:
// unaligned loads and stores, the check that a bitmap record may be drawn
// into, how a colour index becomes a stored pixel, and row fills.
#pragma once

#include <spanwright/spanwright.h>

#include "bitmap/bitmap.h"
#include "bitmap/rowfill.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

// Rows are stepped by rowBytes, which need not keep 16- or 32-bit pixels
// aligned, so every multi-byte pixel goes through memcpy (one move).
inline uint16_t load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
inline void store16(uint8_t* p, uint16_t v) {
    std::memcpy(p, &v, 2);
}
inline uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline void store32(uint8_t* p, uint32_t v) {
    std::memcpy(p, &v, 4);
}

// A source of width x height whose top-left pixel goes to (x, y) of `dst`,
// cut to the destination: the first source pixel drawn, the first
// destination pixel written and the size left. The source is read from
// (srcX, srcY) on; only the destination clips.
struct PlacedRect {
    int64_t srcX, srcY, dstX, dstY, width, height;
};

// False when nothing of the source lands inside the destination.
inline bool placeInDestination(const bitmap_tag* dst, int64_t width, int64_t height, int32_t x,
                               int32_t y, PlacedRect* out) {
    PlacedRect r{0, 0, x, y, width, height};
    if (r.dstX < 0) {
        r.srcX = -r.dstX;
        r.width += r.dstX;
        r.dstX = 0;
    }
    if (r.dstY < 0) {
        r.srcY = -r.dstY;
        r.height += r.dstY;
        r.dstY = 0;
    }
    if (r.dstX + r.width > dst->width) r.width = dst->width - r.dstX;
    if (r.dstY + r.height > dst->height) r.height = dst->height - r.dstY;
    *out = r;
    return r.width > 0 && r.height > 0;
}

// Colour index to stored pixel, one struct per destination layout. The
// primitives, the debug font, the fill and the scaler pick one per call.
// Only the low 8 bits of an index count, so no table is read out of range.
struct IndexLayout8 {
    static constexpr int bytes = 1;
    uint8_t pixel;
    explicit IndexLayout8(uint32_t color) : pixel(uint8_t(color)) {}
    void put(uint8_t* p) const { *p = pixel; }
    static void putZero(uint8_t* p) { *p = 0; }
};
struct IndexLayout565 {
    static constexpr int bytes = 2;
    uint16_t pixel;
    explicit IndexLayout565(uint32_t color) : pixel(screenPalette565[color & 0xFF]) {}
    void put(uint8_t* p) const { store16(p, pixel); }
    static void putZero(uint8_t* p) { store16(p, 0); }
};
struct IndexLayout555 {
    static constexpr int bytes = 2;
    uint16_t pixel;
    explicit IndexLayout555(uint32_t color) : pixel(screenPalette555[color & 0xFF]) {}
    void put(uint8_t* p) const { store16(p, pixel); }
    static void putZero(uint8_t* p) { store16(p, 0); }
};

// Index to stored pixel when the index varies per pixel (copies and the
// scaler): one byte, or the index's screen-table pixel.
struct StoreIndex8 {
    static constexpr int bytes = 1;
    void store(uint8_t* d, uint8_t index) const { *d = index; }
};
struct StoreIndex565 {
    static constexpr int bytes = 2;
    void store(uint8_t* d, uint8_t index) const { store16(d, screenPalette565[index]); }
};
struct StoreIndex555 {
    static constexpr int bytes = 2;
    void store(uint8_t* d, uint8_t index) const { store16(d, screenPalette555[index]); }
};

// Fill n pixels from p (n <= 0 does nothing). The fast versions are the
// shared row fills (bitmap/rowfill.h); with SPANWRIGHT_GENERIC_ONLY they are
// plain per-pixel loops. Both write exactly the same bytes. Inline, so that
// a rectangle's rows cost no call each.
inline void fillRow8(uint8_t* p, int64_t n, uint8_t value) {
    if (n <= 0) return;
#if SPANWRIGHT_GENERIC_ONLY
    for (int64_t i = 0; i < n; ++i)
        p[i] = value;
#else
    rowfill::fill8(p, size_t(n), value);
#endif
}
inline void fillRow16(uint8_t* p, int64_t n, uint16_t value) {
    if (n <= 0) return;
#if SPANWRIGHT_GENERIC_ONLY
    for (int64_t i = 0; i < n; ++i)
        store16(p + 2 * i, value);
#else
    rowfill::fill16(p, size_t(n), value);
#endif
}

inline void fillRowIndexed(const IndexLayout8& l, uint8_t* p, int64_t n) {
    fillRow8(p, n, l.pixel);
}
inline void fillRowIndexed(const IndexLayout565& l, uint8_t* p, int64_t n) {
    fillRow16(p, n, l.pixel);
}
inline void fillRowIndexed(const IndexLayout555& l, uint8_t* p, int64_t n) {
    fillRow16(p, n, l.pixel);
}

// Fills `rows` rows of n pixels from p, rows `rowBytes` apart. Rows that
// follow each other without padding are filled as one block.
template <class Layout>
void fillRectIndexed(const Layout& l, uint8_t* p, int64_t rowBytes, int64_t n, int64_t rows) {
    if (n <= 0 || rows <= 0) return;
    if (rowBytes == n * Layout::bytes) {
        fillRowIndexed(l, p, n * rows);
        return;
    }
    for (int64_t y = 0; y < rows; ++y)
        fillRowIndexed(l, rowAt(p, rowBytes, y), n);
}

// Calls f with the layout in which the primitives draw colour index
// `color` on a bitmap of pixel type `type`: 5:6:5 and 5:5:5 through the
// screen tables, every other type one byte per pixel.
template <class F>
void withIndexLayout(uint32_t type, uint32_t color, F&& f) {
    switch (type) {
    case PIXEL_RGB565: f(IndexLayout565(color)); break;
    case PIXEL_ARGB1555: f(IndexLayout555(color)); break;
    default: f(IndexLayout8(color)); break;
    }
}

// Bytes per pixel of the primitives' layout for a pixel type.
inline int primitiveBytes(uint32_t type) {
    return (type == PIXEL_RGB565 || type == PIXEL_ARGB1555) ? 2 : 1;
}

// Row stride of the primitives: rowBytes, and on the 16-bit layouts
// rowBytes / 2 whole pixels.
inline int64_t primitiveStride(const bitmap_tag* bm) {
    int64_t rb = bm->rowBytes;
    return primitiveBytes(bm->pixelType) == 2 ? (rb / 2) * 2 : rb;
}

// True when the primitives may draw into `bm` in their layout.
inline bool primitiveUsable(const bitmap_tag* bm) {
    return bitmapUsable(bm, bm ? primitiveBytes(bm->pixelType) : 1);
}

// Address of pixel (x, y) in the primitives' layout.
inline uint8_t* primitivePixel(const bitmap_tag* bm, int64_t x, int64_t y) {
    return rowAt(bm->pixels, primitiveStride(bm), y) + x * primitiveBytes(bm->pixelType);
}
