// Palettes, colormaps, the nearest-colour searches, the current selections
// and the screen colour tables.
#include "support.h"

#include "bitmap/bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

using swtest::Rng;

int bruteNearest(const uint32_t* table, int r, int g, int b, const uint32_t* mask) {
    int best = 0;
    long bestD = -1;
    for (int i = 0; i < 256; ++i) {
        if (mask && !((mask[i / 32] >> (i % 32)) & 1)) continue;
        long dr = r - int((table[i] >> 16) & 255), dg = g - int((table[i] >> 8) & 255),
             db = b - int(table[i] & 255);
        if (bestD < 0 || dr * dr + dg * dg + db * db < bestD)
            best = i, bestD = dr * dr + dg * dg + db * db;
    }
    return best;
}

// Ties go to the lowest index, alpha plays no part and an empty subset
// gives 0, with the plain and the fast searches.
TEST(Palette, SearchesMatchABruteForceReference) {
    Rng rng(42);
    alignas(16) uint32_t pal[256] = {};
    for (int round = 0; round < 40; ++round) {
        swtest::RoutineChoice routines(round / 2 % 2);
        // Few distinct colours make ties common.
        for (int i = 0; i < 256; ++i)
            pal[i] = rng.next() & (round % 2 ? 0xFFC0C0C0 : ~0u);
        uint32_t mask[8];
        for (auto& w : mask)
            w = round < 4 ? 0 : rng.next() & rng.next();
        for (int q = 0; q < 50; ++q) {
            int r = rng.range(0, 255), g = rng.range(0, 255), b = rng.range(0, 255);
            ASSERT_EQ(paletteRGB(pal, r, g, b), bruteNearest(pal, r, g, b, nullptr));
            ASSERT_EQ(paletteRGBA(pal, r, g, b, 0x5A), paletteRGB(pal, r, g, b));
            ASSERT_EQ(paletteSubsetRGB(pal, r, g, b, mask), bruteNearest(pal, r, g, b, mask));
        }
    }
}

// Values 3 and 7 both map to entry 40: the lower wins, only bits 0..15 of
// a subset's first word count, and entries are read as they are now.
TEST(Colormap, SearchesGoThroughTheCurrentPalette) {
    swtest::SelectionGuard guard;
    alignas(16) uint32_t pal[256] = {};
    pal[40] = 0x00ABCDEF;
    uint8_t cm[16] = {1, 2, 3, 40, 5, 6, 7, 40, 9, 10, 11, 12, 13, 14, 15, 16};
    uint32_t mask[8] = {1u << 7 | 0xFFFF0000u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u};
    paletteCurrent = nullptr;
    EXPECT_EQ(colormapRGB(cm, 0xAB, 0xCD, 0xEF) | colormapR(cm, 3), 0) << "no current palette";
    paletteSetCurrent(pal, 0, 256);
    EXPECT_EQ(std::vector<int>({colormapRGB(cm, 0xAB, 0xCD, 0xEF),
                                colormapRGBA(cm, 0xAB, 0xCD, 0xEF, 0x12),
                                colormapSubsetRGB(cm, 0xAB, 0xCD, 0xEF, mask)}),
              std::vector<int>({3, 3, 7}));
    pal[40] = 0x11223344;
    EXPECT_EQ(colormapA(cm, 3) << 24 | colormapR(cm, 3) << 16 | colormapG(cm, 3) << 8 |
                  colormapB(cm, 3),
              0x11223344u);
}

// Each entry's 5:6:5 and 5:5:5 screen pixels are the direct types' pixels
// of its colour (5:5:5 without the alpha bit), beside a shadow copy. A
// range changes only its own entries; even an empty one marks them dirty.
// paletteGetCurrent copies a range to the same indexes.
TEST(ScreenTables, FollowTheCurrentPaletteInRanges) {
    swtest::SelectionGuard guard;
    uint32_t* pal = swtest::randomPalette(9);
    bitmap_tag r565 = swtest::shape(PIXEL_RGB565), r555 = swtest::shape(PIXEL_ARGB1555);
    paletteSetCurrent(pal, 0, 256);
    for (int i = 0; i < 256; ++i) {
        uint8_t r = uint8_t(pal[i] >> 16), g = uint8_t(pal[i] >> 8), b = uint8_t(pal[i]);
        const ShadowEntry& s = screenShadowPalette[i];
        ASSERT_EQ(screenPalette565[i], colorRGB(&r565, r, g, b)) << i;
        ASSERT_EQ(screenPalette555[i], colorRGB(&r555, r, g, b) & 0x7FFF) << i;
        ASSERT_EQ(uint32_t(s.flags << 24 | s.red << 16 | s.green << 8 | s.blue), pal[i] & 0xFFFFFF);
    }
    std::fill(pal, pal + 256, 0xFFFFFFu);
    uint16_t before565[256];
    std::memcpy(before565, screenPalette565, sizeof before565);
    screenShadowDirty = 0;
    paletteSetCurrent(pal, 30, 30);
    EXPECT_EQ(screenShadowDirty, 1);
    paletteSetCurrent(pal, 10, 20);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(screenPalette565[i], i >= 10 && i < 20 ? 0xFFFF : before565[i]) << i;
    paletteSetCurrent(pal, -50, 400);
    EXPECT_EQ(screenPalette565[0] & screenPalette565[255], 0xFFFF) << "ends cut to the table";
    std::vector<uint32_t> out(256, 7);
    paletteGetCurrent(out.data(), 10, 12);
    EXPECT_EQ(std::count(out.begin() + 10, out.begin() + 12, 0xFFFFFFu), 2);
    EXPECT_EQ(std::count(out.begin(), out.end(), 7u), 254) << "only the range is read";
    paletteFree(pal);
}

} // namespace
