// Pixel memory helpers shared by the drawing primitives and the blitters:
// unaligned loads and stores, placing a source in a destination, how a
// colour index becomes a stored pixel, and rectangle fills.
#pragma once

#include <spanwright/spanwright.h>

#include "bitmap/bitmap.h"
#include "fastpath.h"

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

// A fill of `rows` rows of n pixels from p, rows `rowBytes` apart, with
// one 8- or 16-bit pixel. The plain routine stores pixel by pixel; the
// fast one fills whole rows with the shared row fill (bitmap/rowfill.h),
// and rows that follow each other without padding as one block.
using FillRowsRoutine = void (*)(uint8_t* p, int64_t rowBytes, int64_t n, int64_t rows,
                                 uint32_t pixel);
extern const RoutinePair<FillRowsRoutine> fillRows8, fillRows16;

// Colour index to stored pixel, one struct per destination layout: one
// byte (its low 8 bits), or the index's pixel in a 16-bit screen table.
// The primitives, the debug font and the fill pick one per call.
struct IndexLayout8 {
    static constexpr int bytes = 1;
    uint8_t pixel;
    explicit IndexLayout8(uint32_t color) : pixel(uint8_t(color)) {}
    void put(uint8_t* p) const { *p = pixel; }
    static void putZero(uint8_t* p) { *p = 0; }
    static const RoutinePair<FillRowsRoutine>& fillRows() { return fillRows8; }
};
struct IndexLayout16 {
    static constexpr int bytes = 2;
    uint16_t pixel;
    IndexLayout16(uint32_t color, const uint16_t* table) : pixel(table[color & 0xFF]) {}
    void put(uint8_t* p) const { store16(p, pixel); }
    static void putZero(uint8_t* p) { store16(p, 0); }
    static const RoutinePair<FillRowsRoutine>& fillRows() { return fillRows16; }
};

// Calls f with the layout in which colour index `color` is drawn on a
// bitmap of pixel type `type`: through the type's screen table, else one
// byte per pixel.
template <class F>
void withIndexLayout(uint32_t type, uint32_t color, F&& f) {
    if (const uint16_t* table = screenTableOf(type))
        f(IndexLayout16(color, table));
    else
        f(IndexLayout8(color));
}

// Fills `rows` rows of n pixels from p (nothing when either is 0 or less).
template <class Layout>
void fillRectIndexed(const Layout& l, uint8_t* p, int64_t rowBytes, int64_t n, int64_t rows) {
    if (n <= 0 || rows <= 0) return;
    pickRoutine(Layout::fillRows())(p, rowBytes, n, rows, l.pixel);
}

// Index to stored pixel when the index varies per pixel (copies and the
// scaler): one byte, or the index's pixel in a screen table fixed at
// compile time (copies) or chosen per call (the scaler).
struct StoreIndex8 {
    static constexpr int bytes = 1;
    void store(uint8_t* d, uint8_t index) const { *d = index; }
};
template <const uint16_t* table>
struct StoreScreenIndex {
    static constexpr int bytes = 2;
    void store(uint8_t* d, uint8_t index) const { store16(d, table[index]); }
};
struct StoreThroughTable {
    static constexpr int bytes = 2;
    const uint16_t* table;
    void store(uint8_t* d, uint8_t index) const { store16(d, table[index]); }
};

// Bytes per pixel of the primitives' layout for a pixel type.
inline int primitiveBytes(uint32_t type) {
    return isScreen16(type) ? 2 : 1;
}

// Row stride of the primitives: rowBytes, and on the 16-bit layouts
// rowBytes / 2 whole pixels (signed division, so a bottom-up bitmap steps
// down by whole pixels too).
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
