// bitmapScale: an indexed source stretched or shrunk into a destination.
//
// Two paths, as the engine has always drawn them:
//  - The fast 8-bit path (8-bit palette source and destination, keyed or
//    not): the scaled size is (source size x factor) >> 16, clipped once,
//    then walked with 16.16 positions stepped by the reciprocal factor.
//    Destination column i (counted from the unclipped left edge) shows
//    source column (i x recip) >> 16, and likewise for rows. Factors below
//    3 (in 16.16 units), negative ones included, draw nothing here. Its
//    rows are a routine pair: the plain one pixel by pixel, the fast one
//    eight pixels per 64-bit store.
//  - The general path (everything else but an exact 1:1 factor, which is
//    bitmapCopy): an inclusive box of ((size - 1) x |factor|) >> 16 + 1
//    pixels, mirrored where a factor is negative, each destination pixel
//    looking its source pixel up with one multiply. Indexed sources only.
//    The screen types take the index's screen-table pixel; every other
//    destination type takes the index as one byte at byte x of the row
//    (on the 16- and 32-bit types that fills the first `width` bytes of
//    each row, which does not make pixels of their layout). A 4-bit source
//    expands through its own colormap, else the current one, else the
//    identity.
// Both paths clip once per call and once per row; all position arithmetic
// is 64-bit, so no factor or position can make them read outside the
// source or write outside the destination.
#include "bitmap/bitmap.h"
#include "blit/blit.h"
#include "blit/pixels.h"
#include "fastpath.h"
#include "raster/fixed.h"

#include <algorithm>
#include <cstring>

namespace {

// The 8-bit path after clipping: `columns` x `rows` pixels from `first`
// (the destination's top left visible pixel); visible column i shows
// source column ((cl + i) x ix) >> 16 of source row ((ct + j) x iy) >> 16
// in visible row j.
struct Scale8 {
    uint8_t* first;
    int64_t dstRowBytes;
    const uint8_t* src;
    int64_t srcRowBytes;
    int64_t columns, rows, cl, ct, ix, iy;
};

// Factors whose reciprocal fits 32 bits: |factor| of at least 3 units.
bool scalable(int32_t factor) {
    return factor >= 3 || factor <= -3;
}

// Pixel by pixel: the reference of the 8-bit path.
template <bool keyed>
void rows8Plain(const Scale8& job) {
    int64_t rowPosition = job.ct * job.iy;
    for (int64_t j = 0; j < job.rows; ++j, rowPosition += job.iy) {
        uint8_t* d = job.first + j * job.dstRowBytes;
        const uint8_t* s = rowAt(job.src, job.srcRowBytes, rowPosition >> 16);
        int64_t position = job.cl * job.ix;
        for (int64_t i = 0; i < job.columns; ++i, position += job.ix) {
            uint8_t v = s[position >> 16];
            if (!keyed || v) d[i] = v;
        }
    }
}

// The same pixels with less work: the source column of every visible
// column is worked out once per call, eight pixels are gathered into one
// 64-bit store (keyed: merged with the destination where the source is 0),
// and an opaque row showing the same source row as the row above is a copy
// of that row (the row above is one destination row back, whichever way
// the destination's rows run). Destinations wider than the column table take the plain
// loop.
template <bool keyed>
void rows8Fast(const Scale8& job) {
    constexpr int64_t tableColumns = 2048;
    if (job.columns > tableColumns) {
        rows8Plain<keyed>(job);
        return;
    }
    uint32_t column[tableColumns];
    int64_t position = job.cl * job.ix;
    for (int64_t i = 0; i < job.columns; ++i, position += job.ix)
        column[i] = uint32_t(position >> 16);
    int64_t rowPosition = job.ct * job.iy;
    const uint8_t* previous = nullptr;
    for (int64_t j = 0; j < job.rows; ++j, rowPosition += job.iy) {
        uint8_t* d = job.first + j * job.dstRowBytes;
        const uint8_t* s = rowAt(job.src, job.srcRowBytes, rowPosition >> 16);
        if (!keyed && s == previous) {
            std::memcpy(d, d - job.dstRowBytes, size_t(job.columns));
            continue;
        }
        previous = s;
        int64_t i = 0;
        for (; i + 8 <= job.columns; i += 8) {
            uint64_t w = 0;
            for (int k = 0; k < 8; ++k)
                w |= uint64_t(s[column[i + k]]) << (8 * k);
            if (keyed) {
                // 0xFF in every byte of `keep` whose source byte is 0 (bit 7
                // of a byte of `nonZero` is set exactly when it is not 0).
                constexpr uint64_t low7 = 0x7F7F7F7F7F7F7F7Full;
                uint64_t nonZero = ((w & low7) + low7) | w;
                uint64_t keep = ((~nonZero & ~low7) >> 7) * 0xFF;
                uint64_t old;
                std::memcpy(&old, d + i, 8);
                w |= old & keep;
            }
            std::memcpy(d + i, &w, 8);
        }
        for (; i < job.columns; ++i) {
            uint8_t v = s[column[i]];
            if (!keyed || v) d[i] = v;
        }
    }
}

using Scale8Routine = void (*)(const Scale8& job);

// Indexed by keyed source.
const RoutinePair<Scale8Routine> scale8Rows[2] = {{rows8Plain<false>, rows8Fast<false>},
                                                  {rows8Plain<true>, rows8Fast<true>}};

// Where the general path's index comes from.
struct ScaleFromPal8 {
    explicit ScaleFromPal8(const bitmap_tag*) {}
    uint8_t operator()(uint8_t v) const { return v; }
};
struct ScaleFromCmap4 {
    const uint8_t* map;
    explicit ScaleFromCmap4(const bitmap_tag* src)
        : map(colormapFor4Bit(src, ColormapRule::OwnThenCurrentThenIdentity)) {}
    uint8_t operator()(uint8_t v) const { return map[v & 15]; }
};

// The inclusive box [lo, hi] of one axis and the source index of each of
// its positions: ((p - lo) x recip) >> 16, counted from the far end of the
// source when the factor is negative.
struct ScaleAxis {
    int64_t lo, hi, recip, last;
    ScaleAxis(int32_t at, int32_t size, int32_t factor) {
        int64_t factorMagnitude = factor < 0 ? -int64_t(factor) : factor;
        int64_t span = (int64_t(size - 1) * factorMagnitude) >> 16;
        lo = factor > 0 ? at : at - span;
        hi = factor > 0 ? at + span : at;
        recip = recip32(factor);
        last = recip < 0 ? size - 1 : 0;
    }
    int64_t source(int64_t p) const { return (((p - lo) * recip) >> 16) + last; }
};

// `screen`: the destination is a screen type, whose table turns the index
// into its 16-bit pixel; otherwise the index is stored as one byte.
template <class From, bool keyed, bool screen>
void scaleGeneral(bitmap_tag* dst, int32_t x, int32_t y, const bitmap_tag* src, int32_t fx,
                  int32_t fy) {
    ScaleAxis across(x, src->width, fx), down(y, src->height, fy);
    int64_t left = std::max<int64_t>(across.lo, 0),
            right = std::min<int64_t>(across.hi, dst->width - 1);
    int64_t top = std::max<int64_t>(down.lo, 0),
            bottom = std::min<int64_t>(down.hi, dst->height - 1);
    if (left > right || top > bottom) return;
    const From from(src);
    const uint16_t* table = screenTableOf(dst->pixelType);
    for (int64_t yy = top; yy <= bottom; ++yy) {
        const uint8_t* s = rowAt(src->pixels, src->rowBytes, down.source(yy));
        uint8_t* d = rowAt(dst->pixels, dst->rowBytes, yy);
        for (int64_t xx = left; xx <= right; ++xx) {
            uint8_t v = s[across.source(xx)];
            if (keyed && v == 0) continue;
            if (screen)
                store16(d + 2 * xx, table[from(v)]);
            else
                d[xx] = from(v);
        }
    }
}

using GeneralScaler = void (*)(bitmap_tag*, int32_t, int32_t, const bitmap_tag*, int32_t, int32_t);

template <class From, bool keyed>
GeneralScaler generalScalerTo(uint32_t dstType) {
    return isScreen16(dstType) ? scaleGeneral<From, keyed, true> : scaleGeneral<From, keyed, false>;
}

// Null for sources that are not indexed and for unknown destination types.
GeneralScaler generalScaler(uint32_t srcType, uint32_t dstType) {
    if (!pixelTypeValid(dstType)) return nullptr;
    bool keyed = isKeyed(srcType);
    if (isIndexed4(srcType))
        return keyed ? generalScalerTo<ScaleFromCmap4, true>(dstType)
                     : generalScalerTo<ScaleFromCmap4, false>(dstType);
    if (isIndexed8(srcType))
        return keyed ? generalScalerTo<ScaleFromPal8, true>(dstType)
                     : generalScalerTo<ScaleFromPal8, false>(dstType);
    return nullptr;
}

// Clips the 8-bit path's image of `src` at (x, y) with factors fx, fy to
// `dst`; false when nothing is drawn.
bool scale8Job(const bitmap_tag* dst, int32_t x, int32_t y, const bitmap_tag* src, int32_t fx,
               int32_t fy, Scale8& job) {
    if (fx < 3 || fy < 3) return false;
    int64_t dw = (int64_t(src->width) * fx) >> 16, dh = (int64_t(src->height) * fy) >> 16;
    if (dw < 1 || dh < 1) return false;
    int64_t cl = x < 0 ? -int64_t(x) : 0, ct = y < 0 ? -int64_t(y) : 0;
    int64_t cr = std::max<int64_t>(int64_t(x) + dw - dst->width, 0);
    int64_t cb = std::max<int64_t>(int64_t(y) + dh - dst->height, 0);
    int64_t columns = dw - cl - cr, rows = dh - ct - cb;
    if (columns < 1 || rows < 1) return false;
    // Column i of the unclipped image shows source column (i x ix) >> 16:
    // one 16.16 position per axis, advanced by the reciprocal per pixel.
    int64_t left = std::max<int32_t>(x, 0), top = std::max<int32_t>(y, 0);
    job = Scale8{rowAt(dst->pixels, dst->rowBytes, top) + left,
                 dst->rowBytes,
                 src->pixels,
                 src->rowBytes,
                 columns,
                 rows,
                 cl,
                 ct,
                 recip32(fx),
                 recip32(fy)};
    return true;
}

} // namespace

extern "C" {

void bitmapScale(bitmap_tag* dst, int32_t x, int32_t y, bitmap_tag* src, int32_t fx, int32_t fy) {
    if (!dst || !src) return;
    if (isIndexed8(dst->pixelType) && isIndexed8(src->pixelType)) {
        if (!bitmapUsable(dst, 1) || !bitmapUsable(src, 1)) return;
        Scale8 job;
        if (!scale8Job(dst, x, y, src, fx, fy, job)) return;
        pickRoutine(scale8Rows[isKeyed(src->pixelType)])(job);
        return;
    }
    if (fx == 0x10000 && fy == 0x10000) {
        bitmapCopy(dst, x, y, src);
        return;
    }
    if (!scalable(fx) || !scalable(fy)) return;
    GeneralScaler scaler = generalScaler(src->pixelType, dst->pixelType);
    if (!scaler || !bitmapUsable(dst, bytesPerPixel(dst->pixelType)) || !bitmapUsable(src, 1) ||
        src->width == 0 || src->height == 0)
        return;
    scaler(dst, x, y, src, fx, fy);
}

} // extern "C"
