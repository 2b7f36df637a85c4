// bitmapCopy: clipping and the table of copy routines.
//
// Naming. A per-pixel operation is a small struct (`ByteCopy`,
// `IndexedCopy<From, keyed, To>`, `Rgb565To555`, `BlendArgb4444<To>`,
// `BlendAlpha8<To>`) with the sizes of its source and destination pixel
// and an `apply(d, s)` for one pixel. `copyPlain<Op>` runs any operation
// over a rectangle pixel by pixel: that is the plain routine of every
// pair. The fast routines move several pixels per step and exist only for
// the operations that profit: the byte and word copies, the colormap
// expansion and the 8-bit to 16-bit lookup here (portable code), the keyed
// byte copy and the blends in copy_sse2.cpp. Each must write exactly the
// bytes its plain routine writes. `copyEntries` has one row per (source
// type, destination type) pair naming both routines; the dispatch table,
// one entry per pair of pixel types, is built from it at compile time.
//
// Pixel rules settled here:
//  - 4-bit sources expand through the current colormap (identity when
//    none is set); only the low 4 bits of a source byte select the entry,
//    so a stray byte above 15 never reads past the 16-entry colormap.
//    The keyed 4-bit routines treat only the byte 0 as transparent.
//  - A blended pixel on a 5:5:5 destination (ARGB4444 with 0 < A < 15,
//    ALPHA8 coverage other than 0 and 240) gets bit 15 set: the result is
//    opaque, like the solid cases. Only the 5:6:5 to 5:5:5 conversion
//    writes bit 15 clear.
#include "blit/blit.h"

#include "bitmap/bitmap.h"
#include "blit/blend.h"
#include "blit/pixels.h"
#include "fastpath.h"

#include <array>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "pixel words are little-endian");

namespace {

// ------------------------------------------------------------ operations

// Where an index comes from: the byte itself, or the colormap entry of
// its low 4 bits.
struct FromPal8 {
    uint8_t operator()(uint8_t v) const { return v; }
};
struct FromCmap4 {
    // The copy never uses the source's own colormap.
    const uint8_t* map = colormapFor4Bit(nullptr, ColormapRule::CurrentThenIdentity);
    uint8_t operator()(uint8_t v) const { return map[v & 15]; }
};

template <class From, bool keyed, class To>
struct IndexedCopy {
    static constexpr int srcBytes = 1, dstBytes = To::bytes;
    From from;
    To to;
    void apply(uint8_t* d, const uint8_t* s) const {
        uint8_t v = *s;
        if (keyed && v == 0) return;
        to.store(d, from(v));
    }
};
using ByteCopy = IndexedCopy<FromPal8, false, StoreIndex8>;
using KeyedByteCopy = IndexedCopy<FromPal8, true, StoreIndex8>;
using ColormapExpand = IndexedCopy<FromCmap4, false, StoreIndex8>;
using KeyedColormapExpand = IndexedCopy<FromCmap4, true, StoreIndex8>;

struct WordCopy {
    static constexpr int srcBytes = 2, dstBytes = 2;
    void apply(uint8_t* d, const uint8_t* s) const { store16(d, load16(s)); }
};
// The lowest green bit is dropped; bit 15 is 0.
struct Rgb565To555 {
    static constexpr int srcBytes = 2, dstBytes = 2;
    void apply(uint8_t* d, const uint8_t* s) const {
        uint32_t v = load16(s);
        store16(d, uint16_t(((v >> 1) & 0x7FE0) | (v & 0x1F)));
    }
};
// Bit 15 is dropped; the lowest green bit is 0.
struct Rgb555To565 {
    static constexpr int srcBytes = 2, dstBytes = 2;
    void apply(uint8_t* d, const uint8_t* s) const {
        uint32_t v = load16(s);
        store16(d, uint16_t(((v & 0xFFE0) << 1) | (v & 0x1F)));
    }
};

// ------------------------------------------------------------- routines

template <class Op>
void copyPlain(uint8_t* dstRow, int32_t dstX, int32_t dstRowBytes, const uint8_t* srcRow,
               int32_t srcX, int32_t srcRowBytes, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return;
    const Op op{};
    for (int64_t y = 0; y < height; ++y) {
        uint8_t* d = rowAt(dstRow, dstRowBytes, y) + int64_t(dstX) * Op::dstBytes;
        const uint8_t* s = rowAt(srcRow, srcRowBytes, y) + int64_t(srcX) * Op::srcBytes;
        for (int32_t i = 0; i < width; ++i)
            op.apply(d + i * Op::dstBytes, s + i * Op::srcBytes);
    }
}

// Byte copy and word copy: each row is one block move, and rows without
// padding on either side are moved as one block (memmove, so a copy
// within one bitmap is still defined).
template <int bytes>
void copyRowsFast(uint8_t* dstRow, int32_t dstX, int32_t dstRowBytes, const uint8_t* srcRow,
                  int32_t srcX, int32_t srcRowBytes, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return;
    int64_t rowLength = int64_t(width) * bytes;
    if (dstRowBytes == rowLength && srcRowBytes == rowLength) { // rows without padding
        std::memmove(dstRow + int64_t(dstX) * bytes, srcRow + int64_t(srcX) * bytes,
                     size_t(rowLength * height));
        return;
    }
    for (int64_t y = 0; y < height; ++y)
        std::memmove(rowAt(dstRow, dstRowBytes, y) + int64_t(dstX) * bytes,
                     rowAt(srcRow, srcRowBytes, y) + int64_t(srcX) * bytes, size_t(width) * bytes);
}

// Colormap expansion: single pixels up to a 4-byte boundary of the
// destination, then four pixels per 32-bit load, translation and store.
void copyColormapExpandFast(uint8_t* dstRow, int32_t dstX, int32_t dstRowBytes,
                            const uint8_t* srcRow, int32_t srcX, int32_t srcRowBytes, int32_t width,
                            int32_t height) {
    if (width <= 0 || height <= 0) return;
    const uint8_t* map = colormapFor4Bit(nullptr, ColormapRule::CurrentThenIdentity);
    for (int64_t y = 0; y < height; ++y) {
        uint8_t* d = rowAt(dstRow, dstRowBytes, y) + dstX;
        const uint8_t* s = rowAt(srcRow, srcRowBytes, y) + srcX;
        int32_t i = 0;
        for (; i < width && (uintptr_t(d + i) & 3); ++i)
            d[i] = map[s[i] & 15];
        for (; i + 4 <= width; i += 4) {
            uint32_t w = load32(s + i);
            store32(d + i, uint32_t(map[w & 15]) | uint32_t(map[(w >> 8) & 15]) << 8 |
                               uint32_t(map[(w >> 16) & 15]) << 16 |
                               uint32_t(map[(w >> 24) & 15]) << 24);
        }
        for (; i < width; ++i)
            d[i] = map[s[i] & 15];
    }
}

// 8-bit indexes to 16-bit screen pixels through a table: eight indexes per
// 64-bit load, four pixels per 64-bit store.
template <const uint16_t* table>
void copyIndexTo16Fast(uint8_t* dstRow, int32_t dstX, int32_t dstRowBytes, const uint8_t* srcRow,
                       int32_t srcX, int32_t srcRowBytes, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return;
    for (int64_t y = 0; y < height; ++y) {
        uint8_t* d = rowAt(dstRow, dstRowBytes, y) + int64_t(dstX) * 2;
        const uint8_t* s = rowAt(srcRow, srcRowBytes, y) + srcX;
        int32_t i = 0;
        for (; i + 8 <= width; i += 8) {
            uint64_t w;
            std::memcpy(&w, s + i, 8);
            uint64_t lo = uint64_t(table[w & 0xFF]) | uint64_t(table[(w >> 8) & 0xFF]) << 16 |
                          uint64_t(table[(w >> 16) & 0xFF]) << 32 |
                          uint64_t(table[(w >> 24) & 0xFF]) << 48;
            uint64_t hi = uint64_t(table[(w >> 32) & 0xFF]) |
                          uint64_t(table[(w >> 40) & 0xFF]) << 16 |
                          uint64_t(table[(w >> 48) & 0xFF]) << 32 | uint64_t(table[w >> 56]) << 48;
            std::memcpy(d + 2 * i, &lo, 8);
            std::memcpy(d + 2 * i + 8, &hi, 8);
        }
        for (; i < width; ++i)
            store16(d + 2 * i, table[s[i]]);
    }
}

// ------------------------------------------------------------ the table

struct CopyEntry {
    uint8_t src, dst;
    RoutinePair<CopyRoutine> routines;
};

template <class To>
using Cmap4To = IndexedCopy<FromCmap4, false, To>;
template <class To>
using Cmap4KeyTo = IndexedCopy<FromCmap4, true, To>;
template <class To>
using Pal8To = IndexedCopy<FromPal8, false, To>;
template <class To>
using Pal8KeyTo = IndexedCopy<FromPal8, true, To>;
using To565 = StoreScreenIndex<screenPalette565>;
using To555 = StoreScreenIndex<screenPalette555>;

// The destination's own transparency plays no part: 0 and 1 take the same
// routine, as do 2 and 3.
constexpr CopyEntry copyEntries[] = {
    // 4-bit colormapped sources
    {PIXEL_CMAP4, PIXEL_CMAP4, {copyPlain<ByteCopy>, copyRowsFast<1>}},
    {PIXEL_CMAP4, PIXEL_CMAP4_KEY, {copyPlain<ByteCopy>, copyRowsFast<1>}},
    {PIXEL_CMAP4, PIXEL_PAL8, {copyPlain<ColormapExpand>, copyColormapExpandFast}},
    {PIXEL_CMAP4, PIXEL_PAL8_KEY, {copyPlain<ColormapExpand>, copyColormapExpandFast}},
    {PIXEL_CMAP4, PIXEL_RGB565, {copyPlain<Cmap4To<To565>>, nullptr}},
    {PIXEL_CMAP4, PIXEL_ARGB1555, {copyPlain<Cmap4To<To555>>, nullptr}},
    {PIXEL_CMAP4_KEY, PIXEL_CMAP4, {copyPlain<KeyedByteCopy>, SSE2_ROUTINE(copyKeyedBytesSse2)}},
    {PIXEL_CMAP4_KEY,
     PIXEL_CMAP4_KEY,
     {copyPlain<KeyedByteCopy>, SSE2_ROUTINE(copyKeyedBytesSse2)}},
    {PIXEL_CMAP4_KEY, PIXEL_PAL8, {copyPlain<KeyedColormapExpand>, nullptr}},
    {PIXEL_CMAP4_KEY, PIXEL_PAL8_KEY, {copyPlain<KeyedColormapExpand>, nullptr}},
    {PIXEL_CMAP4_KEY, PIXEL_RGB565, {copyPlain<Cmap4KeyTo<To565>>, nullptr}},
    {PIXEL_CMAP4_KEY, PIXEL_ARGB1555, {copyPlain<Cmap4KeyTo<To555>>, nullptr}},
    // 8-bit palette sources
    {PIXEL_PAL8, PIXEL_PAL8, {copyPlain<ByteCopy>, copyRowsFast<1>}},
    {PIXEL_PAL8, PIXEL_PAL8_KEY, {copyPlain<ByteCopy>, copyRowsFast<1>}},
    {PIXEL_PAL8, PIXEL_RGB565, {copyPlain<Pal8To<To565>>, copyIndexTo16Fast<screenPalette565>}},
    {PIXEL_PAL8, PIXEL_ARGB1555, {copyPlain<Pal8To<To555>>, copyIndexTo16Fast<screenPalette555>}},
    {PIXEL_PAL8_KEY, PIXEL_PAL8, {copyPlain<KeyedByteCopy>, SSE2_ROUTINE(copyKeyedBytesSse2)}},
    {PIXEL_PAL8_KEY, PIXEL_PAL8_KEY, {copyPlain<KeyedByteCopy>, SSE2_ROUTINE(copyKeyedBytesSse2)}},
    {PIXEL_PAL8_KEY, PIXEL_RGB565, {copyPlain<Pal8KeyTo<To565>>, nullptr}},
    {PIXEL_PAL8_KEY, PIXEL_ARGB1555, {copyPlain<Pal8KeyTo<To555>>, nullptr}},
    // 16-bit sources
    {PIXEL_RGB565, PIXEL_RGB565, {copyPlain<WordCopy>, copyRowsFast<2>}},
    {PIXEL_RGB565, PIXEL_ARGB1555, {copyPlain<Rgb565To555>, nullptr}},
    {PIXEL_ARGB1555, PIXEL_RGB565, {copyPlain<Rgb555To565>, nullptr}},
    {PIXEL_ARGB1555, PIXEL_ARGB1555, {copyPlain<WordCopy>, copyRowsFast<2>}},
    {PIXEL_ARGB4444,
     PIXEL_RGB565,
     {copyPlain<BlendArgb4444<Blend565>>, SSE2_ROUTINE(copyArgb4444To565Sse2)}},
    {PIXEL_ARGB4444,
     PIXEL_ARGB1555,
     {copyPlain<BlendArgb4444<Blend555>>, SSE2_ROUTINE(copyArgb4444To555Sse2)}},
    // coverage
    {PIXEL_ALPHA8,
     PIXEL_RGB565,
     {copyPlain<BlendAlpha8<Blend565>>, SSE2_ROUTINE(copyAlpha8To565Sse2)}},
    {PIXEL_ALPHA8,
     PIXEL_ARGB1555,
     {copyPlain<BlendAlpha8<Blend555>>, SSE2_ROUTINE(copyAlpha8To555Sse2)}},
};

// One entry per (source type, destination type); empty pairs copy nothing.
using CopyTable = std::array<RoutinePair<CopyRoutine>, pixelTypeCount * pixelTypeCount>;

constexpr CopyTable buildCopyTable() {
    CopyTable table{};
    for (const CopyEntry& e : copyEntries)
        table[e.src * pixelTypeCount + e.dst] = e.routines;
    return table;
}

constexpr CopyTable copyTable = buildCopyTable();

} // namespace

CopyRoutine copyRoutineFor(uint32_t srcType, uint32_t dstType) {
    if (srcType >= uint32_t(pixelTypeCount) || dstType >= uint32_t(pixelTypeCount)) return nullptr;
    return pickRoutine(copyTable[srcType * pixelTypeCount + dstType]);
}

extern "C" {

// The whole source with its top left at (x, y) of the destination, cut to
// the destination; the source is read from the matching offset. Pairs of
// types without a routine, and records that are not drawable, copy
// nothing; bottom-up records (negative rowBytes) copy like any other.
// Blended pixels (ARGB4444 and ALPHA8 sources) written to an
// ARGB1555 destination have bit 15 set: the result is opaque.
void bitmapCopy(bitmap_tag* dst, int32_t x, int32_t y, bitmap_tag* src) {
    if (!dst || !src) return;
    CopyRoutine routine = copyRoutineFor(src->pixelType, dst->pixelType);
    if (!routine || !bitmapUsable(dst, bytesPerPixel(dst->pixelType)) ||
        !bitmapUsable(src, bytesPerPixel(src->pixelType)))
        return;
    PlacedRect r;
    if (!placeInDestination(dst, src->width, src->height, x, y, &r)) return;
    routine(rowAt(dst->pixels, dst->rowBytes, r.dstY), int32_t(r.dstX), dst->rowBytes,
            rowAt(src->pixels, src->rowBytes, r.srcY), int32_t(r.srcX), src->rowBytes,
            int32_t(r.width), int32_t(r.height));
}

} // extern "C"
