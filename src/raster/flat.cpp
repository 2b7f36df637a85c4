// The exact edge stepper and the flat polygon fill with its span writers.
#include "raster/raster.h"

#include "bitmap/pixeltype.h"
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
    // N = ((top.x + 0.5) dy + dx prestep) >> 16, whose first product reaches
    // 2^64 near the ends of the 16.16 range. With top.x + 0.5 = 2^16 h + l
    // (0 <= l < 2^16), N = h dy + ((l dy + dx prestep) >> 16) exactly, and
    // no term exceeds 2^50.
    int64_t start = int64_t(top->x) + 0x8000;
    int64_t n = (start >> 16) * dy + (((start & 0xFFFF) * dy + dx * prestep) >> 16);
    edge->x = floorDivMod(n, dy, &edge->err);
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

namespace {

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

// The fast writers go through the shared row fill: short rows in a few
// wide stores, long ones to the C library's fill.
void spanFlat8Fast(uint8_t* row, int32_t xa, int32_t xb, uint32_t fill) {
    if (xa > xb) std::swap(xa, xb);
    if (xb <= xa) return;
    rowfill::fill8(row + xa, size_t(int64_t(xb) - xa), uint8_t(fill));
}

void spanFlat16Fast(uint8_t* row, int32_t xa, int32_t xb, uint32_t fill) {
    if (xa > xb) std::swap(xa, xb);
    if (xb <= xa) return;
    rowfill::fill16(row + 2 * int64_t(xa), size_t(int64_t(xb) - xa), uint16_t(fill));
}

constexpr RoutinePair<FlatRowsRoutine> flatRows8{fillFlatRows<spanFlat8Plain>,
                                                 fillFlatRows<spanFlat8Fast>};
constexpr RoutinePair<FlatRowsRoutine> flatRows16{fillFlatRows<spanFlat16Plain>,
                                                  fillFlatRows<spanFlat16Fast>};

} // namespace

RoutinePair<FlatRowsRoutine> flatRowsFor(uint8_t targetType) {
    return isScreen16(targetType) ? flatRows16 : flatRows8;
}

// ---------------------------------------------------------------- the fill

void polyFlat(bitmap_tag* target, int count, vertex_tag** verts) {
    if (!targetDrawable(target)) return;
    polyFlatClip(target, count, verts, targetClip(target));
}

namespace {

// The colour of a polygon as the rows routine stores it: the screen
// table's pixel on the 16-bit screen types, the byte on every other type,
// repeated through the word.
uint32_t flatFill(const bitmap_tag* target, uint32_t color) {
    uint32_t c = color & 0xFF;
    const uint16_t* table = screenTableOf(target->pixelType);
    if (!table) return c * 0x01010101u;
    return table[c] | uint32_t(table[c]) << 16;
}

// The fill of a polygon inside the clip: each edge writes its rows as it
// is set up, tables indexed from the polygon's first possible row.
void polyFlatInside(bitmap_tag* target, int count, vertex_tag** verts, int32_t base, uint32_t fill,
                    FlatRowsRoutine fillRows) {
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
    if (top <= bottom) fillRows(target, top, bottom, top - base, fill);
}

} // namespace

void polyFlatClip(bitmap_tag* target, int count, vertex_tag** verts, const ClipRect& clip) {
    if (!target || !target->pixels || count < 3 || !verts) return;
    count = std::min(count, polyMaxVertices);
    uint32_t fill = flatFill(target, uint32_t(verts[0]->color));
    FlatRowsRoutine fillRows = pickRoutine(flatRowsFor(target->pixelType));
    int64_t firstRow, lastRow;
    if (polygonInside(count, verts, clip, &firstRow, &lastRow) &&
        lastRow - firstRow < rowTableSize) {
        polyFlatInside(target, count, verts, int32_t(firstRow), fill, fillRows);
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
        fillRows(target, band, bandLast, 0, fill);
    }
}
