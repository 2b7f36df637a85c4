// bitmapFill: exact bytes per row for every type, padding left alone.
#include "bitmap/bitmap.h"
#include "support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(BitmapFill, IndexedTypesWriteTheLowByteAndLeaveRowPadding) {
    for (uint8_t type : {PIXEL_CMAP4, PIXEL_CMAP4_KEY, PIXEL_PAL8, PIXEL_PAL8_KEY}) {
        bitmap_tag* bm = swtest::randomBitmap(type, 3, 4, 11);
        ASSERT_EQ(int(bm->rowBytes), 4);
        std::vector<uint8_t> before(bm->pixels, bm->pixels + 5 * 4 + 1);
        bitmapFill(bm, 0x1A7);
        for (int i = 0; i < 5 * 4 + 1; ++i) {
            bool pixel = i < 16 && i % 4 < 3;
            EXPECT_EQ(bm->pixels[i], pixel ? 0xA7 : before[i]) << "byte " << i;
        }
        bitmapFree(bm);
    }
}

// Widths 0..40 and a few long ones at every start alignment, against a pixel-by-pixel
// expectation of the screen-table value, with the plain and the fast
// fills (which work in blocks with unaligned ends).
TEST(BitmapFill, SixteenBitTypesWriteTheScreenTablePixel) {
    uint32_t* palette = swtest::randomPalette(3);
    paletteSetCurrent(palette, 0, 256);
    for (int run = 0; run < 4; ++run) {
        swtest::RoutineChoice routines(run & 1);
        const uint8_t type = run & 2 ? PIXEL_ARGB1555 : PIXEL_RGB565;
        for (int width = 0; width <= 300; width += width < 40 ? 1 : 87)
            for (int offset = 0; offset < 8; ++offset) {
                // Offsets 4-7 use unpadded rows, filled as one block.
                int rowBytes = 2 * width + (offset < 4 ? 6 : 0), height = 3;
                std::vector<uint8_t> memory(size_t(rowBytes) * height + 8, 0x5A);
                bitmap_tag bm{type, width, height, rowBytes, nullptr, memory.data() + offset % 4};
                bitmapFill(&bm, 77 + 256); // only the low 8 bits of the index count
                uint16_t pixel = type == PIXEL_RGB565 ? screenPalette565[77] : screenPalette555[77];
                for (size_t i = 0; i < memory.size(); ++i) {
                    int64_t at = int64_t(i) - offset % 4;
                    bool inside = at >= 0 && at < int64_t(rowBytes) * height &&
                                  (rowBytes == 0 || at % rowBytes < 2 * width);
                    uint8_t want = inside ? uint8_t(at % 2 ? pixel >> 8 : pixel) : 0x5A;
                    ASSERT_EQ(memory[i], want) << "type " << int(type) << " width " << width
                                               << " offset " << offset << " byte " << i;
                }
            }
    }
    paletteCurrent = nullptr;
    paletteFree(palette);
}

TEST(BitmapFill, OtherTypesAndUndrawableRecordsAreLeftAlone) {
    for (uint8_t type :
         {PIXEL_RGB444, PIXEL_ARGB4444, PIXEL_RGB888, PIXEL_ARGB8888, PIXEL_ALPHA8}) {
        bitmap_tag* bm = swtest::randomBitmap(type, 5, 3, 2);
        uint64_t hash = swtest::bitmapHash(bm);
        bitmapFill(bm, 9);
        EXPECT_EQ(hash, swtest::bitmapHash(bm)) << int(type);
        bitmapFree(bm);
    }
    bitmap_tag* bm = swtest::randomBitmap(PIXEL_PAL8, 5, 3, 2);
    uint64_t hash = swtest::bitmapHash(bm);
    bitmap_tag shortRows = *bm;
    shortRows.rowBytes = 4;
    bitmapFill(&shortRows, 1);
    bitmap_tag negative = *bm;
    negative.height = -1;
    bitmapFill(&negative, 1);
    bitmapFill(nullptr, 1);
    EXPECT_EQ(hash, swtest::bitmapHash(bm));
    bitmapFree(bm);
}

} // namespace
