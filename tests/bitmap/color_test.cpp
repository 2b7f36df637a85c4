// Pixel values to and from channels for every pixel type.
#include "support.h"

#include "bitmap/bitmap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

bitmap_tag record(uint8_t type, void* map = nullptr) {
    return bitmap_tag{type, 0, 0, 0, map, nullptr};
}

TEST(Color, FiveBitExpansionRounds) {
    for (int f = 0; f < 32; ++f)
        EXPECT_EQ(expand5[f], int(std::lround(f * 255.0 / 31))) << f;
}

TEST(Color, ChannelsOfTheDirectTypes) {
    struct Case {
        uint8_t type;
        uint32_t value;
        uint8_t a, r, g, b;
    };
    const Case cases[] = {
        {PIXEL_RGB565, 0xF800, 255, 0xF8, 0, 0},
        {PIXEL_RGB565, 0x07E0, 255, 0, 0xFC, 0},
        {PIXEL_RGB565, 0x001F, 255, 0, 0, 0xF8},
        {PIXEL_ARGB1555, 0x7C00, 0, 255, 0, 0},
        {PIXEL_ARGB1555, 0xC000, 255, 132, 0, 0},
        {PIXEL_ARGB1555, 0x8021, 255, 0, 8, 8},
        {PIXEL_RGB444, 0xF0F0, 255, 0, 255, 0},
        {PIXEL_ARGB4444, 0x00F0, 0, 0, 255, 0},
        {PIXEL_ARGB4444, 0x7123, 119, 17, 34, 51},
        {PIXEL_RGB888, 0xAB123456, 255, 0x12, 0x34, 0x56},
        {PIXEL_ARGB8888, 0xAB123456, 0xAB, 0x12, 0x34, 0x56},
    };
    for (const Case& c : cases) {
        bitmap_tag bm = record(c.type);
        EXPECT_EQ(std::vector<int>({colorA(&bm, c.value), colorR(&bm, c.value),
                                    colorG(&bm, c.value), colorB(&bm, c.value)}),
                  std::vector<int>({c.a, c.r, c.g, c.b}))
            << int(c.type) << " " << std::hex << c.value;
    }
}

// Random colours through every direct type: the channels widen back to
// what colorRGB keeps of them (bits of red, green, blue), no bit outside
// the type's fields is set, a subset mask plays no part, and colorRGBA
// keeps the top bits of alpha where the type has it.
TEST(Color, DirectRoundTripKeepsTheTopBitsOfEachChannel) {
    const struct {
        uint8_t type;
        int n[4];
        uint32_t opaque; // the bits an opaque colour may set
    } direct[] = {
        {PIXEL_RGB565, {5, 6, 5, 0}, 0xFFFF},   {PIXEL_ARGB1555, {5, 5, 5, 1}, 0xFFFF},
        {PIXEL_RGB444, {4, 4, 4, 0}, 0x0FFF},   {PIXEL_ARGB4444, {4, 4, 4, 4}, 0xFFFF},
        {PIXEL_RGB888, {8, 8, 8, 0}, 0xFFFFFF}, {PIXEL_ARGB8888, {8, 8, 8, 8}, 0xFFFFFFFF}};
    uint32_t noIndex[8] = {};
    swtest::Rng rng(3);
    for (const auto& [type, n, opaque] : direct) {
        bitmap_tag bm = record(type);
        for (int i = 0; i < 2000; ++i) {
            uint8_t c[4] = {uint8_t(rng.next()), uint8_t(rng.next()), uint8_t(rng.next()),
                            uint8_t(rng.next())};
            uint32_t v = colorRGB(&bm, c[0], c[1], c[2]);
            ASSERT_EQ(v & ~opaque, 0u) << int(type);
            ASSERT_EQ(colorSubsetRGB(&bm, c[0], c[1], c[2], noIndex), v) << "mask ignored";
            uint8_t back[3] = {colorR(&bm, v), colorG(&bm, v), colorB(&bm, v)};
            ASSERT_EQ(colorA(&bm, v), 255) << "colorRGB is opaque";
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(back[k] >> (8 - n[k]), c[k] >> (8 - n[k])) << int(type) << " " << k;
            uint8_t alpha = colorA(&bm, colorRGBA(&bm, c[0], c[1], c[2], c[3]));
            if (n[3])
                ASSERT_EQ(alpha >> (8 - n[3]), c[3] >> (8 - n[3])) << int(type);
            else
                ASSERT_EQ(alpha, 255) << int(type);
        }
    }
}

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
                                  colorB(&bare, 9), // the current palette
                                  int(colorRGB(&withOwn, 77, 0, 0)),
                                  int(colorRGB(&bare, 0, 0, 77)),
                                  int(colorSubsetRGB(&withOwn, 77, 0, 0, only3)),
                                  int(colorRGBA(&withOwn, 77, 0, 0, 9)),
                                  colorA(&withOwn, 0), // a keyed type's index 0 is clear
                                  colorA(&withOwn, 1),
                                  colorA(&bare, 0),
                                  colorB(&cm, 2), // colormap entry 2 is palette index 253
                                  int(colorRGB(&cm, 0, 0, 250))}; // a 4-bit value
    EXPECT_EQ(got, std::vector<int>({9, 9, 77, 77, 3, 77, 0, 255, 255, 253, 5}));
    colormapCurrent = colormap;
    EXPECT_EQ(colorB(&bare4, 1), 254);
    EXPECT_EQ(colorA(&bare4, 0), 0);
}

} // namespace
