// Rectangle fills and bitmapFill.
#include "bitmap/rowfill.h"
#include "blit/pixels.h"

namespace {

void fillRows8Plain(uint8_t* p, int64_t rowBytes, int64_t n, int64_t rows, uint32_t pixel) {
    for (int64_t y = 0; y < rows; ++y) {
        uint8_t* row = rowAt(p, rowBytes, y);
        for (int64_t i = 0; i < n; ++i)
            row[i] = uint8_t(pixel);
    }
}

void fillRows16Plain(uint8_t* p, int64_t rowBytes, int64_t n, int64_t rows, uint32_t pixel) {
    for (int64_t y = 0; y < rows; ++y) {
        uint8_t* row = rowAt(p, rowBytes, y);
        for (int64_t i = 0; i < n; ++i)
            store16(row + 2 * i, uint16_t(pixel));
    }
}

// Rows that follow each other without padding (top-down, rowBytes equal to
// the row's length) are one block of n x rows pixels. Otherwise every row
// has the same length, so the row fill's choice is made once: short rows
// take the inline pattern stores directly.
template <int bytes>
void fillRowsFast(uint8_t* p, int64_t rowBytes, int64_t n, int64_t rows, uint32_t pixel) {
    auto fill = [pixel](uint8_t* at, int64_t count) {
        if (bytes == 1)
            rowfill::fill8(at, size_t(count), uint8_t(pixel));
        else
            rowfill::fill16(at, size_t(count), uint16_t(pixel));
    };
    if (rowBytes == n * bytes) {
        fill(p, n * rows);
        return;
    }
    const size_t length = size_t(n) * bytes;
    if (length < rowfill::libraryFillBytes) {
        const uint64_t pattern = bytes == 1 ? (pixel & 0xFF) * 0x0101010101010101ull
                                            : (pixel & 0xFFFF) * 0x0001000100010001ull;
        for (int64_t y = 0; y < rows; ++y)
            rowfill::fillPattern(rowAt(p, rowBytes, y), length, pattern);
        return;
    }
    for (int64_t y = 0; y < rows; ++y)
        fill(rowAt(p, rowBytes, y), n);
}

} // namespace

const RoutinePair<FillRowsRoutine> fillRows8 = {fillRows8Plain, fillRowsFast<1>};
const RoutinePair<FillRowsRoutine> fillRows16 = {fillRows16Plain, fillRowsFast<2>};

extern "C" {

// Indexed types: every pixel gets the low byte of the colour. The screen
// types: the colour's screen-table pixel. Other types, and records that are
// not drawable, are left alone. Bytes between width and rowBytes stay as
// they are.
void bitmapFill(bitmap_tag* bm, int32_t color) {
    if (!bm || !(hasMap(bm->pixelType) || isScreen16(bm->pixelType))) return;
    if (!bitmapUsable(bm, bytesPerPixel(bm->pixelType))) return;
    withIndexLayout(bm->pixelType, uint32_t(color), [&](const auto& layout) {
        fillRectIndexed(layout, bm->pixels, bm->rowBytes, bm->width, bm->height);
    });
}

} // extern "C"
