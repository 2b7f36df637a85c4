// Pixel values to and from channels for every pixel type.
#include "support.h"

#include "bitmap/bitmap.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

bitmap_tag record(uint8_t type, void* map = nullptr) {
    return bitmap_tag{type, 0, 0, 0, map, nullptr};
}

TEST(Color, ChannelsOfTheDirectTypes) {
    struct Case {
        uint8_t type;
        uint32_t value;
        uint8_t a, r, g, b;
    };
    const Case cases[] = {{PIXEL_RGB565, 0xF800, 255, 0xF8, 0, 0},
                          {PIXEL_RGB565, 0x07E0, 255, 0, 0xFC, 0},
                          {PIXEL_RGB565, 0x001F, 255, 0, 0, 0xF8},
                          {PIXEL_ARGB1555, 0x7C00, 0, 255, 0, 0},
                          {PIXEL_ARGB1555, 0xC000, 255, 132, 0, 0},
                          {PIXEL_ARGB1555, 0x8021, 255, 0, 8, 8},
                          {PIXEL_RGB444, 0xF0F0, 255, 0, 255, 0},
                          {PIXEL_ARGB4444, 0x00F0, 0, 0, 255, 0},
                          {PIXEL_ARGB4444, 0x7123, 119, 17, 34, 51},
                          {PIXEL_RGB888, 0xAB123456, 255, 0x12, 0x34, 0x56},
                          {PIXEL_ARGB8888, 0xAB123456, 0xAB, 0x12, 0x34, 0x56}};
    uint32_t noIndex[8] = {};
    for (const Case& c : cases) {
        bitmap_tag bm = record(c.type);
        EXPECT_EQ(std::vector<int>({colorA(&bm, c.value), colorR(&bm, c.value),
                                    colorG(&bm, c.value), colorB(&bm, c.value)}),
                  std::vector<int>({c.a, c.r, c.g, c.b}))
            << int(c.type) << " " << std::hex << c.value;
        // These channels give the value back, less the bits outside the
        // type's fields; a subset mask plays no part.
        uint32_t fields = c.type == PIXEL_RGB444 ? 0x0FFF : c.type == PIXEL_RGB888 ? 0xFFFFFF : ~0u;
        EXPECT_EQ(colorRGBA(&bm, c.r, c.g, c.b, c.a), c.value & fields) << std::hex << c.value;
        uint32_t opaque =
            colorRGB(&bm, c.r, c.g, c.b) | colorSubsetRGB(&bm, c.r, c.g, c.b, noIndex);
        EXPECT_EQ(c.a == 255 ? opaque : c.value & fields, c.value & fields) << std::hex << c.value;
    }
}

// A bitmap's own map, else the current one; a keyed type's index 0 is
// clear; a 4-bit value's colour is its colormap entry's palette colour.
TEST(Color, IndexedTypesUseTheirMapOrTheCurrentOne) {
    swtest::SelectionGuard guard;
    uint32_t own[256], current[256];
    uint8_t colormap[16];
    for (int i = 0; i < 256; ++i)
        own[i] = uint32_t(i) << 16, current[i] = uint32_t(i);
    for (int v = 0; v < 16; ++v)
        colormap[v] = uint8_t(255 - v);
    paletteCurrent = nullptr;
    colormapCurrent = nullptr;
    bitmap_tag bare = record(PIXEL_PAL8), bare4 = record(PIXEL_CMAP4_KEY);
    {
        swtest::MessageCapture capture;
        EXPECT_EQ(colorR(&bare, 5) | colorRGB(&bare, 1, 2, 3) | colorG(&bare4, 5), 0u);
        EXPECT_TRUE(capture.debug().empty()) << "a missing map is silent";
    }
    bitmap_tag withOwn = record(PIXEL_PAL8_KEY, own), cm = record(PIXEL_CMAP4, colormap);
    paletteCurrent = current;
    uint32_t only3[8] = {1u << 3};
    const std::vector<int> got = {colorR(&withOwn, 9),
                                  colorB(&bare, 9),
                                  int(colorRGB(&withOwn, 77, 0, 0)),
                                  int(colorRGB(&bare, 0, 0, 77)),
                                  int(colorSubsetRGB(&withOwn, 77, 0, 0, only3)),
                                  int(colorRGBA(&withOwn, 77, 0, 0, 9)),
                                  colorA(&withOwn, 0),
                                  colorA(&withOwn, 1),
                                  colorA(&bare, 0),
                                  colorB(&cm, 2),
                                  int(colorRGB(&cm, 0, 0, 250))};
    EXPECT_EQ(got, std::vector<int>({9, 9, 77, 77, 3, 77, 0, 255, 255, 253, 5}));
    colormapCurrent = colormap;
    EXPECT_EQ(colorB(&bare4, 1), 254);
    EXPECT_EQ(colorA(&bare4, 0), 0);
}

} // namespace
