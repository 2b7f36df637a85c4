// bitmapFill: exact bytes per row for every type, padding left alone.
#include "bitmap/bitmap.h"
#include "support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Widths 0..40 and a few long ones, rows padded or not, at every start
// alignment: every byte against a pixel-by-pixel expectation, with the
// plain and the fast fills. Indexed types take the low byte of the
// colour, the screen types its table pixel.
TEST(BitmapFill, ExactBytesForEveryWidthAndAlignment) {
    swtest::DrawScene scene(3);
    for (uint8_t type : {PIXEL_CMAP4, PIXEL_PAL8_KEY, PIXEL_RGB565, PIXEL_ARGB1555})
        for (bool plain : {true, false}) {
            swtest::RoutineChoice routines(plain);
            const int bpp = pixelBitDepthLog2(type);
            const uint16_t* table = screenTableOf(type);
            const uint16_t pixel = table ? table[77] : 77 * 0x101;
            for (int width = 0; width <= 300; width += width < 40 ? 1 : 87)
                for (int shape = 0; shape < 8; ++shape) {
                    const int start = shape % 4, height = 3;
                    const int rowBytes = bpp * width + (shape < 4 ? 6 : 0);
                    std::vector<uint8_t> memory(size_t(rowBytes) * height + 8, 0x5A);
                    bitmap_tag bm{type, width, height, rowBytes, nullptr, memory.data() + start};
                    bitmapFill(&bm, 77 + 256); // only the low 8 bits of the index count
                    for (size_t i = 0; i < memory.size(); ++i) {
                        int64_t at = int64_t(i) - start;
                        bool inside = at >= 0 && at < int64_t(rowBytes) * height &&
                                      (rowBytes == 0 || at % rowBytes < bpp * width);
                        uint8_t want = inside ? uint8_t(at % 2 ? pixel >> 8 : pixel) : 0x5A;
                        ASSERT_EQ(memory[i], want) << "type " << int(type) << " width " << width
                                                   << " shape " << shape << " byte " << i;
                    }
                }
        }
}

TEST(BitmapFill, OtherTypesAndUndrawableRecordsAreLeftAlone) {
    for (uint8_t type :
         {PIXEL_RGB444, PIXEL_ARGB4444, PIXEL_RGB888, PIXEL_ARGB8888, PIXEL_ALPHA8}) {
        swtest::Owned bm = swtest::randomBitmap(type, 5, 3, 2);
        uint64_t hash = swtest::bitmapHash(bm);
        bitmapFill(bm, 9);
        EXPECT_EQ(hash, swtest::bitmapHash(bm)) << int(type);
    }
    swtest::Owned bm = swtest::randomBitmap(PIXEL_PAL8, 5, 3, 2);
    const std::vector<uint8_t> before = swtest::bufferOf(bm);
    std::vector<bitmap_tag> bad(3, *bm);
    bad[0].rowBytes = 4;
    bad[1].rowBytes = -4;
    bad[2].height = -1;
    for (bitmap_tag& b : bad)
        bitmapFill(&b, 1);
    bitmapFill(nullptr, 1);
    EXPECT_EQ(before, swtest::bufferOf(bm));
}

} // namespace
