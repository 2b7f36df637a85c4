// The flat fill's rows with the shared row fill, whose long rows go to
// 16-byte stores or the C library's fill.
#include "isa/sse2.h"
#include "raster/raster.h"

#include "bitmap/rowfill.h"

#include <utility>

namespace {

void spanFlat8Sse2(uint8_t* row, int32_t xa, int32_t xb, uint32_t fill) {
    if (xa > xb) std::swap(xa, xb);
    if (xb <= xa) return;
    rowfill::fill8(row + xa, size_t(int64_t(xb) - xa), uint8_t(fill));
}

void spanFlat16Sse2(uint8_t* row, int32_t xa, int32_t xb, uint32_t fill) {
    if (xa > xb) std::swap(xa, xb);
    if (xb <= xa) return;
    rowfill::fill16(row + 2 * int64_t(xa), size_t(int64_t(xb) - xa), uint16_t(fill));
}

} // namespace

void flatRows8Sse2(const bitmap_tag* target, int64_t first, int64_t last, int64_t entry,
                   uint32_t fill) {
    fillFlatRows<spanFlat8Sse2>(target, first, last, entry, fill);
}

void flatRows16Sse2(const bitmap_tag* target, int64_t first, int64_t last, int64_t entry,
                    uint32_t fill) {
    fillFlatRows<spanFlat16Sse2>(target, first, last, entry, fill);
}
