// The exact edge stepper and the flat polygon fill with its span writers.
#include "raster/raster.h"

#include "bitmap/rowfill.h"

#include <algorithm>
#include <cstring>

int32_t edgeTableDown[rowTableSize];
int32_t edgeTableUp[rowTableSize];

namespace {

// a / b rounded down, with the remainder 0 <= rem < b (b > 0).
inline int64_t floorDivMod(int64_t a, int64_t b, int64_t* rem) {
    int64_t q = a / b;
    int64_t r = a - q * b;
    if (r < 0) {
        q -= 1;
        r += b;
    }
    *rem = r;
    return q;
}

} // namespace

void edgeSetup(edge_tag* edge, const vertex_tag* top, const vertex_tag* bottom) {
    if (top->y == bottom->y) {
        edge->rows = 0;
        edge->x = 0;
        return;
    }
    // 64-bit throughout: a 32-bit stepper overflows once vertices leave the
    // target far enough, and these give the same numbers where it does not.
    int64_t yStart = (int64_t(top->y) + 0x8000) >> 16;
    int64_t lastRow = (int64_t(bottom->y) - 0x8000) >> 16;
    edge->yStart = int32_t(yStart);
    edge->rows = int32_t(lastRow - yStart + 1);
    if (edge->rows <= 0) return;
    int64_t dx = int64_t(bottom->x) - top->x;
    int64_t dy = int64_t(bottom->y) - top->y;
    edge->dy = dy;
    edge->xStep = floorDivMod(dx, dy, &edge->stepRem);
    int64_t prestep = (yStart << 16) + 0x8000 - top->y;
    // The products reach 2^64 only for vertices near the ends of the 16.16
    // range; 128 bits keep the start exact there too.
    __int128 n = __int128(int64_t(top->x) + 0x8000) * dy + __int128(dx) * prestep;
    edge->x = floorDivMod(int64_t(n >> 16), dy, &edge->err);
}

void edgeSkip(edge_tag* e, int32_t k) {
    int64_t carry;
    e->err += k * e->stepRem;
    carry = e->err / e->dy;
    e->err -= carry * e->dy;
    e->x += k * e->xStep + carry;
    e->yStart += k;
    e->rows -= k;
}

// ------------------------------------------------------------ span writers

void spanFlat8Plain(uint8_t* row, int32_t xa, int32_t xb, uint32_t fill) {
    if (xa > xb) std::swap(xa, xb);
    for (int32_t x = xa; x < xb; ++x)
        row[x] = uint8_t(fill);
}

void spanFlat16Plain(uint8_t* row, int32_t xa, int32_t xb, uint32_t fill) {
    if (xa > xb) std::swap(xa, xb);
    uint16_t pixel = uint16_t(fill);
    for (int32_t x = xa; x < xb; ++x)
        std::memcpy(row + 2 * int64_t(x), &pixel, 2);
}

#if defined(SPANWRIGHT_GENERIC_ONLY)

void spanFlat8(uint8_t* row, int32_t xa, int32_t xb, uint32_t fill) {
    spanFlat8Plain(row, xa, xb, fill);
}
void spanFlat16(uint8_t* row, int32_t xa, int32_t xb, uint32_t fill) {
    spanFlat16Plain(row, xa, xb, fill);
}

#else

void spanFlat8(uint8_t* row, int32_t xa, int32_t xb, uint32_t fill) {
    if (xa > xb) std::swap(xa, xb);
    if (xb <= xa) return;
    rowfill::fill8(row + xa, size_t(int64_t(xb) - xa), uint8_t(fill));
}

void spanFlat16(uint8_t* row, int32_t xa, int32_t xb, uint32_t fill) {
    if (xa > xb) std::swap(xa, xb);
    if (xb <= xa) return;
    rowfill::fill16(row + 2 * int64_t(xa), size_t(int64_t(xb) - xa), uint16_t(fill));
}
#endif

// ---------------------------------------------------------------- the fill

void polyFlat(bitmap_tag* target, int count, vertex_tag** verts) {
    if (!targetDrawable(target)) return;
    polyFlatClip(target, count, verts, targetClip(target));
}

namespace {

// Fills rows first .. last of the target from the row tables, entries
// entry .. entry + last - first, with one span writer, called directly.
template <void (*span)(uint8_t*, int32_t, int32_t, uint32_t)>
void fillRows(const bitmap_tag* target, int64_t first, int64_t last, int64_t entry, uint32_t fill) {
    uint8_t* row = target->pixels + first * target->rowBytes;
    const int32_t rowBytes = target->rowBytes;
    const int32_t* down = edgeTableDown + entry;
    const int32_t* up = edgeTableUp + entry;
    for (int64_t r = 0; r <= last - first; ++r) {
        span(row, down[r], up[r], fill);
        row += rowBytes;
    }
}

} // namespace

namespace {

uint32_t flatFill(const bitmap_tag* target, uint32_t color, bool wide) {
    uint32_t c = color & 0xFF;
    if (!wide) return c * 0x01010101u;
    uint32_t p = target->pixelType == PIXEL_RGB565 ? screenPalette565[c] : screenPalette555[c];
    return p | p << 16;
}

void fillTableRows(const bitmap_tag* target, int64_t first, int64_t last, int64_t entry,
                   uint32_t fill, bool wide) {
#if defined(SPANWRIGHT_GENERIC_ONLY)
    if (wide)
        fillRows<spanFlat16Plain>(target, first, last, entry, fill);
    else
        fillRows<spanFlat8Plain>(target, first, last, entry, fill);
#else
    if (wide)
        fillRows<spanFlat16>(target, first, last, entry, fill);
    else
        fillRows<spanFlat8>(target, first, last, entry, fill);
#endif
}

// The fill of a polygon inside the clip: each edge writes its rows as it
// is set up, tables indexed from the polygon's first possible row.
void polyFlatInside(bitmap_tag* target, int count, vertex_tag** verts, int32_t base, uint32_t fill,
                    bool wide) {
    int32_t top = INT32_MAX, bottom = INT32_MIN;
    for (int i = 0; i < count; ++i) {
        const vertex_tag* a = verts[i];
        const vertex_tag* b = verts[i + 1 == count ? 0 : i + 1];
        edge_tag e;
        bool down = a->y < b->y;
        if (down)
            edgeSetup(&e, a, b);
        else
            edgeSetup(&e, b, a);
        if (e.rows <= 0) continue;
        top = std::min(top, e.yStart);
        bottom = std::max(bottom, e.yStart + e.rows - 1);
        int32_t* table = (down ? edgeTableDown : edgeTableUp);
        for (int32_t r = e.yStart - base; r < e.yStart - base + e.rows; ++r) {
            table[r] = int32_t(e.x);
            edgeStep(&e);
        }
    }
    if (top <= bottom) fillTableRows(target, top, bottom, top - base, fill, wide);
}

} // namespace

void polyFlatClip(bitmap_tag* target, int count, vertex_tag** verts, const ClipRect& clip) {
    if (!target || !target->pixels || count < 3 || !verts) return;
    count = std::min(count, polyMaxVertices);
    bool wide = target->pixelType == PIXEL_RGB565 || target->pixelType == PIXEL_ARGB1555;
    uint32_t fill = flatFill(target, uint32_t(verts[0]->color), wide);
    int64_t firstRow, lastRow;
    if (polygonInside(count, verts, clip, &firstRow, &lastRow) &&
        lastRow - firstRow < rowTableSize) {
        polyFlatInside(target, count, verts, int32_t(firstRow), fill, wide);
        return;
    }

    edge_tag edges[polyMaxVertices];
    bool down[polyMaxVertices];
    int used = 0;
    int64_t top = INT64_MAX, bottom = INT64_MIN;
    for (int i = 0; i < count; ++i) {
        const vertex_tag* a = verts[i];
        const vertex_tag* b = verts[i + 1 == count ? 0 : i + 1];
        edge_tag& e = edges[used];
        bool isDown = a->y < b->y;
        if (isDown)
            edgeSetup(&e, a, b);
        else
            edgeSetup(&e, b, a);
        if (e.rows <= 0) continue;
        down[used++] = isDown;
        top = std::min<int64_t>(top, e.yStart);
        bottom = std::max<int64_t>(bottom, int64_t(e.yStart) + e.rows - 1);
    }
    top = std::max<int64_t>(top, clip.top);
    bottom = std::min<int64_t>(bottom, int64_t(clip.bottom) - 1);
    if (top > bottom || clip.left >= clip.right) return;

    // Tables hold x clamped to the clip columns: clamping is monotone, so
    // each span is cut to exactly its visible part. Each band steps a local
    // copy of every edge, brought to the band's first row in one jump, so
    // the compiler keeps it in registers.
    const int64_t left = clip.left, right = clip.right;
    for (int64_t band = top; band <= bottom; band += rowTableSize) {
        const int64_t bandLast = std::min<int64_t>(bottom, band + rowTableSize - 1);
        for (int i = 0; i < used; ++i) {
            edge_tag e = edges[i];
            const int64_t first = std::max<int64_t>(e.yStart, band);
            const int64_t last = std::min<int64_t>(int64_t(e.yStart) + e.rows - 1, bandLast);
            if (first > last) continue;
            if (e.yStart < first) edgeSkip(&e, int32_t(first - e.yStart));
            int32_t* table = down[i] ? edgeTableDown : edgeTableUp;
            for (int64_t r = first - band; r <= last - band; ++r) {
                table[r] = int32_t(std::clamp(e.x, left, right));
                edgeStep(&e);
            }
        }
        fillTableRows(target, band, bandLast, 0, fill, wide);
    }
}
