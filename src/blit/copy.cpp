// bitmapCopy: clipping and the table of copy routines.
//
// Naming. A per-pixel operation is a small struct (`ByteCopy`,
// `IndexedCopy<From, keyed, To>`, `Rgb565To555`, `BlendArgb4444<To>`,
// `BlendAlpha8<To>`) with the sizes of its source and destination pixel
// and an `apply(d, s)` for one pixel. `copyPlain<Op>` runs any operation
// over a rectangle pixel by pixel: that is the reference version of every
// routine. The `...Fast` routines move several pixels per step and exist
// only for the operations that profit (byte copy, keyed byte copy,
// colormap expansion, word copy, 8-bit to 16-bit lookup, the blends); each
// must write exactly the bytes its plain version writes. `copyEntries` has one row per (source
// type, destination type) pair naming both versions; the two 11 x 10 dispatch tables are built from
// it at compile time: 28 filled pairs served by 19 distinct operations. The fast routines are
// compiled in every build (so the tests can hold them against the plain ones); with
// SPANWRIGHT_GENERIC_ONLY the dispatch table names only plain routines.
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
//  - The keyed byte copy may read the 1-3 pixels after a row's last one as
//    part of a 32-bit word (their values are not used). It does so only on
//    rows above the last row of the copy, where those bytes are the row's
//    own padding or the start of the next row of the same source; the last
//    row's tail is read byte by byte, so no read leaves the source rows.
#include "blit/blit.h"

#include "bitmap/bitmap.h"
#include "blit/blend.h"
#include "blit/pixels.h"

#include <array>

#include <emmintrin.h>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "pixel words are little-endian");

const uint8_t* copyColormap() {
    return colormapFor4Bit(nullptr, ColormapRule::CurrentThenIdentity);
}

namespace {

// ------------------------------------------------------------ operations

// Where an index comes from: the byte itself, or the colormap entry of
// its low 4 bits.
struct FromPal8 {
    uint8_t operator()(uint8_t v) const { return v; }
};
struct FromCmap4 {
    const uint8_t* map = copyColormap();
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

template <class To>
struct BlendArgb4444 {
    static constexpr int srcBytes = 2, dstBytes = 2;
    void apply(uint8_t* d, const uint8_t* s) const {
        uint32_t v = load16(s);
        uint32_t alpha = v >> 12;
        if (alpha == 0) return;
        if (alpha == 15) {
            store16(d, To::solid4444(v));
            return;
        }
        uint32_t r = ((v >> 4) & 0xF0) | 0x0F, g = (v & 0xF0) | 0x0F, b = ((v << 4) & 0xF0) | 0x0F;
        store16(d, blendOver<To>(load16(d), alpha * 17, r, g, b));
    }
    // Eight pixels at once: the destination pixels `old` and 8 source pixels.
    __m128i apply8(__m128i old, const uint8_t* s) const {
        using namespace blend8;
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        __m128i alpha = _mm_srli_epi16(v, 12);
        __m128i r = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(v, 4), splat(0xF0)), splat(0x0F));
        __m128i g = _mm_or_si128(_mm_and_si128(v, splat(0xF0)), splat(0x0F));
        __m128i b = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(v, 4), splat(0xF0)), splat(0x0F));
        __m128i weight = _mm_add_epi16(_mm_slli_epi16(alpha, 4), alpha); // alpha x 17
        __m128i out = blendOver<To>(old, weight, r, g, b);
        out = select(_mm_cmpeq_epi16(alpha, splat(15)), To::solid4444(v), out);
        return select(_mm_cmpeq_epi16(alpha, _mm_setzero_si128()), old, out);
    }
};

// Coverage 240 is the solid font colour; every other non-zero coverage
// blends with that weight.
template <class To>
struct BlendAlpha8 {
    static constexpr int srcBytes = 1, dstBytes = 2;
    uint32_t r = (fontColor >> 16) & 0xFF, g = (fontColor >> 8) & 0xFF, b = fontColor & 0xFF;
    uint16_t solid = To::pack(r, g, b);
    void apply(uint8_t* d, const uint8_t* s) const {
        uint32_t a = *s;
        if (a == 0) return;
        store16(d, a == 240 ? solid : blendOver<To>(load16(d), a, r, g, b));
    }
    __m128i apply8(__m128i old, const uint8_t* s) const {
        using namespace blend8;
        __m128i a = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s)),
                                      _mm_setzero_si128());
        __m128i out = blendOver<To>(old, a, splat(int(r)), splat(int(g)), splat(int(b)));
        out = select(_mm_cmpeq_epi16(a, splat(240)), splat(solid), out);
        return select(_mm_cmpeq_epi16(a, _mm_setzero_si128()), old, out);
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

// True when none of the four bytes of w is 0.
inline bool noZeroByte(uint32_t w) {
    return ((w - 0x01010101u) & ~w & 0x80808080u) == 0;
}

// Stores the non-zero bytes among the first n (1..4) of w.
inline void storeNonZeroBytes(uint8_t* d, uint32_t w, int n) {
    for (int k = 0; k < n; ++k, w >>= 8)
        if (w & 0xFF) d[k] = uint8_t(w);
}

// One row of the keyed byte copy: single pixels up to a 4-byte boundary
// of the source, 16-pixel blocks (all-transparent blocks skipped, opaque
// ones stored whole, mixed ones merged with the destination), 32-bit
// words (all-zero words skipped with one test), and the last 1-3 pixels,
// read as one word when `tailWord` allows reading up to 3 bytes further.
void keyedByteRow(uint8_t* d, const uint8_t* s, int32_t n, bool tailWord) {
    int32_t i = 0;
    for (; i < n && (uintptr_t(s + i) & 3); ++i)
        if (s[i]) d[i] = s[i];
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        __m128i transparent = _mm_cmpeq_epi8(v, zero);
        int mask = _mm_movemask_epi8(transparent);
        if (mask == 0xFFFF) continue;
        __m128i* out = reinterpret_cast<__m128i*>(d + i);
        if (mask != 0) {
            __m128i old = _mm_loadu_si128(out);
            v = _mm_or_si128(_mm_and_si128(transparent, old), _mm_andnot_si128(transparent, v));
        }
        _mm_storeu_si128(out, v);
    }
    for (; i + 4 <= n; i += 4) {
        uint32_t w = load32(s + i);
        if (w == 0) continue;
        if (noZeroByte(w))
            store32(d + i, w);
        else
            storeNonZeroBytes(d + i, w, 4);
    }
    if (i == n) return;
    if (tailWord) {
        uint32_t w = load32(s + i);
        if (w) storeNonZeroBytes(d + i, w, n - i);
        return;
    }
    for (; i < n; ++i)
        if (s[i]) d[i] = s[i];
}

void copyKeyedBytesFast(uint8_t* dstRow, int32_t dstX, int32_t dstRowBytes, const uint8_t* srcRow,
                        int32_t srcX, int32_t srcRowBytes, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return;
    for (int64_t y = 0; y < height; ++y)
        keyedByteRow(rowAt(dstRow, dstRowBytes, y) + dstX, rowAt(srcRow, srcRowBytes, y) + srcX,
                     width, y + 1 < height && srcRowBytes >= 4);
}

// Colormap expansion: single pixels up to a 4-byte boundary of the
// destination, then four pixels per 32-bit load, translation and store.
void copyColormapExpandFast(uint8_t* dstRow, int32_t dstX, int32_t dstRowBytes,
                            const uint8_t* srcRow, int32_t srcX, int32_t srcRowBytes, int32_t width,
                            int32_t height) {
    if (width <= 0 || height <= 0) return;
    const uint8_t* map = copyColormap();
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

// The blends, eight pixels per step (Op::apply8), the last 0-7 pixels of a
// row one by one. A pixel the plain routine leaves alone is written back
// with the value it had.
template <class Op>
void copyBlendFast(uint8_t* dstRow, int32_t dstX, int32_t dstRowBytes, const uint8_t* srcRow,
                   int32_t srcX, int32_t srcRowBytes, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return;
    const Op op{};
    for (int64_t y = 0; y < height; ++y) {
        uint8_t* d = rowAt(dstRow, dstRowBytes, y) + int64_t(dstX) * 2;
        const uint8_t* s = rowAt(srcRow, srcRowBytes, y) + int64_t(srcX) * Op::srcBytes;
        int32_t i = 0;
        for (; i + 8 <= width; i += 8) {
            __m128i* out = reinterpret_cast<__m128i*>(d + 2 * i);
            _mm_storeu_si128(out, op.apply8(_mm_loadu_si128(out), s + i * Op::srcBytes));
        }
        for (; i < width; ++i)
            op.apply(d + 2 * i, s + i * Op::srcBytes);
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
    CopyRoutine plain, fast; // the plain routine again where no fast one exists
};

// SPANWRIGHT_GENERIC_ONLY builds run the plain routine of every pair.
#if SPANWRIGHT_GENERIC_ONLY
constexpr bool useFastRoutines = false;
#else
constexpr bool useFastRoutines = true;
#endif

constexpr CopyEntry plainOnly(uint8_t src, uint8_t dst, CopyRoutine plain) {
    return {src, dst, plain, plain};
}
constexpr CopyEntry withFast(uint8_t src, uint8_t dst, CopyRoutine plain, CopyRoutine fast) {
    return {src, dst, plain, useFastRoutines ? fast : plain};
}

template <class To>
using Cmap4To = IndexedCopy<FromCmap4, false, To>;
template <class To>
using Cmap4KeyTo = IndexedCopy<FromCmap4, true, To>;
template <class To>
using Pal8To = IndexedCopy<FromPal8, false, To>;
template <class To>
using Pal8KeyTo = IndexedCopy<FromPal8, true, To>;

// The destination's own transparency plays no part: 0 and 1 take the same
// routine, as do 2 and 3.
constexpr CopyEntry copyEntries[] = {
    // 4-bit colormapped sources
    withFast(PIXEL_CMAP4, PIXEL_CMAP4, copyPlain<ByteCopy>, copyRowsFast<1>),
    withFast(PIXEL_CMAP4, PIXEL_CMAP4_KEY, copyPlain<ByteCopy>, copyRowsFast<1>),
    withFast(PIXEL_CMAP4, PIXEL_PAL8, copyPlain<ColormapExpand>, copyColormapExpandFast),
    withFast(PIXEL_CMAP4, PIXEL_PAL8_KEY, copyPlain<ColormapExpand>, copyColormapExpandFast),
    plainOnly(PIXEL_CMAP4, PIXEL_RGB565, copyPlain<Cmap4To<StoreIndex565>>),
    plainOnly(PIXEL_CMAP4, PIXEL_ARGB1555, copyPlain<Cmap4To<StoreIndex555>>),
    withFast(PIXEL_CMAP4_KEY, PIXEL_CMAP4, copyPlain<KeyedByteCopy>, copyKeyedBytesFast),
    withFast(PIXEL_CMAP4_KEY, PIXEL_CMAP4_KEY, copyPlain<KeyedByteCopy>, copyKeyedBytesFast),
    plainOnly(PIXEL_CMAP4_KEY, PIXEL_PAL8, copyPlain<KeyedColormapExpand>),
    plainOnly(PIXEL_CMAP4_KEY, PIXEL_PAL8_KEY, copyPlain<KeyedColormapExpand>),
    plainOnly(PIXEL_CMAP4_KEY, PIXEL_RGB565, copyPlain<Cmap4KeyTo<StoreIndex565>>),
    plainOnly(PIXEL_CMAP4_KEY, PIXEL_ARGB1555, copyPlain<Cmap4KeyTo<StoreIndex555>>),
    // 8-bit palette sources
    withFast(PIXEL_PAL8, PIXEL_PAL8, copyPlain<ByteCopy>, copyRowsFast<1>),
    withFast(PIXEL_PAL8, PIXEL_PAL8_KEY, copyPlain<ByteCopy>, copyRowsFast<1>),
    withFast(PIXEL_PAL8, PIXEL_RGB565, copyPlain<Pal8To<StoreIndex565>>,
             copyIndexTo16Fast<screenPalette565>),
    withFast(PIXEL_PAL8, PIXEL_ARGB1555, copyPlain<Pal8To<StoreIndex555>>,
             copyIndexTo16Fast<screenPalette555>),
    withFast(PIXEL_PAL8_KEY, PIXEL_PAL8, copyPlain<KeyedByteCopy>, copyKeyedBytesFast),
    withFast(PIXEL_PAL8_KEY, PIXEL_PAL8_KEY, copyPlain<KeyedByteCopy>, copyKeyedBytesFast),
    plainOnly(PIXEL_PAL8_KEY, PIXEL_RGB565, copyPlain<Pal8KeyTo<StoreIndex565>>),
    plainOnly(PIXEL_PAL8_KEY, PIXEL_ARGB1555, copyPlain<Pal8KeyTo<StoreIndex555>>),
    // 16-bit sources
    withFast(PIXEL_RGB565, PIXEL_RGB565, copyPlain<WordCopy>, copyRowsFast<2>),
    plainOnly(PIXEL_RGB565, PIXEL_ARGB1555, copyPlain<Rgb565To555>),
    plainOnly(PIXEL_ARGB1555, PIXEL_RGB565, copyPlain<Rgb555To565>),
    withFast(PIXEL_ARGB1555, PIXEL_ARGB1555, copyPlain<WordCopy>, copyRowsFast<2>),
    withFast(PIXEL_ARGB4444, PIXEL_RGB565, copyPlain<BlendArgb4444<Blend565>>,
             copyBlendFast<BlendArgb4444<Blend565>>),
    withFast(PIXEL_ARGB4444, PIXEL_ARGB1555, copyPlain<BlendArgb4444<Blend555>>,
             copyBlendFast<BlendArgb4444<Blend555>>),
    // coverage
    withFast(PIXEL_ALPHA8, PIXEL_RGB565, copyPlain<BlendAlpha8<Blend565>>,
             copyBlendFast<BlendAlpha8<Blend565>>),
    withFast(PIXEL_ALPHA8, PIXEL_ARGB1555, copyPlain<BlendAlpha8<Blend555>>,
             copyBlendFast<BlendAlpha8<Blend555>>),
};

constexpr int copySourceTypes = 11, copyDestinationTypes = 10;
using CopyTable = std::array<CopyRoutine, copySourceTypes * copyDestinationTypes>;

constexpr CopyTable buildCopyTable(bool fast) {
    CopyTable table{};
    for (const CopyEntry& e : copyEntries)
        table[e.src * copyDestinationTypes + e.dst] = fast ? e.fast : e.plain;
    return table;
}

constexpr CopyTable copyTablePlain = buildCopyTable(false);
constexpr CopyTable copyTable = buildCopyTable(true);

CopyRoutine lookup(const CopyTable& table, uint32_t srcType, uint32_t dstType) {
    if (srcType >= copySourceTypes || dstType >= copyDestinationTypes) return nullptr;
    return table[srcType * copyDestinationTypes + dstType];
}

} // namespace

CopyRoutine copyRoutineFor(uint32_t srcType, uint32_t dstType) {
    return lookup(copyTable, srcType, dstType);
}

CopyRoutine copyRoutinePlainFor(uint32_t srcType, uint32_t dstType) {
    return lookup(copyTablePlain, srcType, dstType);
}

extern "C" {

// The whole source with its top left at (x, y) of the destination, cut to
// the destination; the source is read from the matching offset. Pairs of
// types without a routine, and records that are not drawable, copy
// nothing. Blended pixels (ARGB4444 and ALPHA8 sources) written to an
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
