// Palettes, colormaps, the nearest-colour searches, the current selections
// and the screen colour tables.
#include "support.h"

#include "bitmap/bitmap.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using swtest::Rng;

struct Palette {
    uint32_t* p = nullptr;
    Palette() {
        EXPECT_TRUE(paletteAlloc(&p));
        std::memset(p, 0, 1024);
    }
    ~Palette() { paletteFree(p); }
};

int bruteNearest(const uint32_t* table, int n, int r, int g, int b, const uint32_t* mask) {
    int best = -1;
    long bestD = 0;
    for (int i = 0; i < n; ++i) {
        if (mask && !((mask[i / 32] >> (i % 32)) & 1)) continue;
        long dr = r - int((table[i] >> 16) & 255), dg = g - int((table[i] >> 8) & 255),
             db = b - int(table[i] & 255);
        long d = dr * dr + dg * dg + db * db;
        if (best < 0 || d < bestD) {
            best = i;
            bestD = d;
        }
    }
    return best < 0 ? 0 : best;
}

TEST(Palette, BlueIsFirstInMemoryAndAnEmptySubsetGivesZero) {
    Palette pal;
    pal.p[5] = 0xFF102030;
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(pal.p + 5)[0], 0x30);
    uint32_t none[8] = {};
    EXPECT_EQ(paletteSubsetRGB(pal.p, 0x10, 0x20, 0x30, none), 0);
}

// Ties go to the lowest index and alpha plays no part, with the plain and
// the fast searches.
TEST(Palette, SearchesMatchABruteForceReference) {
    Rng rng(42);
    Palette pal;
    for (int round = 0; round < 40; ++round) {
        swtest::RoutineChoice routines(round / 2 % 2);
        // Few distinct colours make ties common.
        for (int i = 0; i < 256; ++i)
            pal.p[i] = rng.next() & (round % 2 ? 0xFFC0C0C0 : ~0u);
        uint32_t mask[8];
        for (auto& w : mask)
            w = rng.next() & rng.next();
        for (int q = 0; q < 50; ++q) {
            int r = rng.range(0, 255), g = rng.range(0, 255), b = rng.range(0, 255);
            ASSERT_EQ(paletteRGB(pal.p, r, g, b), bruteNearest(pal.p, 256, r, g, b, nullptr));
            ASSERT_EQ(paletteRGBA(pal.p, r, g, b, 0x5A), paletteRGB(pal.p, r, g, b));
            ASSERT_EQ(paletteSubsetRGB(pal.p, r, g, b, mask),
                      bruteNearest(pal.p, 256, r, g, b, mask));
        }
    }
}

TEST(Colormap, SearchesGoThroughTheCurrentPalette) {
    swtest::SelectionGuard guard;
    Palette pal;
    for (int i = 0; i < 256; ++i)
        pal.p[i] = uint32_t(i) * 0x010101;
    pal.p[40] = 0x00ABCDEF;
    uint8_t* cm = nullptr;
    ASSERT_TRUE(colormapAlloc(&cm));
    const uint8_t entries[16] = {1, 2, 3, 40, 5, 6, 7, 40, 9, 10, 11, 12, 13, 14, 15, 16};
    for (int v = 0; v < 16; ++v)
        colormapSetEntry(cm, v, entries[v]);

    paletteCurrent = nullptr;
    EXPECT_EQ(colormapRGB(cm, 0xAB, 0xCD, 0xEF), 0) << "no current palette";
    EXPECT_EQ(colormapR(cm, 3), 0);

    paletteSetCurrent(pal.p, 0, 256);
    EXPECT_EQ(colormapRGB(cm, 0xAB, 0xCD, 0xEF), 3) << "values 3 and 7 tie; 3 is lower";
    EXPECT_EQ(colormapRGBA(cm, 0xAB, 0xCD, 0xEF, 0x12), 3);
    uint32_t only7[8] = {1u << 7};
    EXPECT_EQ(colormapSubsetRGB(cm, 0xAB, 0xCD, 0xEF, only7), 7);
    uint32_t highBitsOnly[8] = {0xFFFF0000u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u};
    EXPECT_EQ(colormapSubsetRGB(cm, 0xAB, 0xCD, 0xEF, highBitsOnly), 0)
        << "only bits 0..15 of the first word count";

    pal.p[40] = 0x11223344;
    EXPECT_EQ(colormapR(cm, 3) << 16 | colormapG(cm, 3) << 8 | colormapB(cm, 3), 0x223344)
        << "reads the palette as it is now";
    EXPECT_EQ(colormapA(cm, 3), 0x11);
    colormapFree(cm);
}

TEST(CurrentPalette, GetCurrentCopiesTheRangeToTheSameIndexes) {
    swtest::SelectionGuard guard;
    Palette pal;
    for (int i = 0; i < 256; ++i)
        pal.p[i] = uint32_t(i) * 0x01010101u;
    paletteSetCurrent(pal.p, 0, 256);
    uint32_t out[256];
    std::fill(std::begin(out), std::end(out), 0xCAFEu);
    paletteGetCurrent(out, 10, 10);
    for (uint32_t v : out)
        EXPECT_EQ(v, 0xCAFEu);
    paletteGetCurrent(out, 10, 12);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(out[i], i == 10 || i == 11 ? pal.p[i] : 0xCAFEu) << i;
    paletteCurrent = nullptr;
    paletteGetCurrent(out, 0, 3);
    EXPECT_EQ(out[0], 0u) << "with no current palette the range reads as black";
}

TEST(CurrentPalette, FromBitmapTakesItsPalette) {
    swtest::SelectionGuard guard;
    bitmap_tag* bm = nullptr;
    ASSERT_TRUE(bitmapAlloc(&bm, PIXEL_PAL8_KEY, 1, 1, 1));
    std::memset(bm->map, 0xFF, 1024);
    paletteSetCurrentFromBitmap(bm, 0, 256);
    EXPECT_EQ(paletteCurrent, bm->map);
    EXPECT_EQ(screenPalette565[77], 0xFFFF);
    bitmap_tag wrong = *bm;
    wrong.pixelType = PIXEL_CMAP4;
    paletteCurrent = nullptr;
    swtest::MessageCapture quiet;
    paletteSetCurrentFromBitmap(&wrong, 0, 256);
    EXPECT_EQ(paletteCurrent, nullptr) << "a refused bitmap changes nothing";
    colormapSetCurrentFromBitmap(&wrong);
    EXPECT_EQ(colormapGetCurrent(), bm->map) << "the map as it stands, type unchecked";
    bitmapFree(bm);
}

TEST(ScreenTables, ExactValuesAndRanges) {
    swtest::SelectionGuard guard;
    Palette pal;
    struct Case {
        uint32_t entry;
        uint16_t p565, p555;
    };
    const Case cases[] = {{0xFFFFFF, 0xFFFF, 0x7FFF}, {0x080808, 0x0841, 0x0421},
                          {0x080408, 0x0821, 0x0401}, {0xFF000000, 0, 0},
                          {0x07030F, 0x0001, 0x0001}, {0xF8FC00, 0xFFE0, 0x7FE0}};
    for (int i = 0; i < 6; ++i)
        pal.p[i] = cases[i].entry;
    paletteSetCurrent(pal.p, 0, 256);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(screenPalette565[i], cases[i].p565) << std::hex << cases[i].entry;
        EXPECT_EQ(screenPalette555[i], cases[i].p555) << std::hex << cases[i].entry;
        EXPECT_EQ(screenShadowPalette[i].red, uint8_t(cases[i].entry >> 16));
        EXPECT_EQ(screenShadowPalette[i].blue, uint8_t(cases[i].entry));
        EXPECT_EQ(screenShadowPalette[i].flags, 0);
    }

    // A range changes only its own entries; an empty range still marks dirty.
    for (int i = 0; i < 256; ++i)
        pal.p[i] = 0xFFFFFF;
    uint16_t before565[256];
    std::memcpy(before565, screenPalette565, sizeof before565);
    paletteSetCurrent(pal.p, 10, 20);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(screenPalette565[i], i >= 10 && i < 20 ? 0xFFFF : before565[i]) << i;
    screenShadowDirty = 0;
    std::memcpy(before565, screenPalette565, sizeof before565);
    paletteSetCurrent(pal.p, 30, 30);
    EXPECT_EQ(screenShadowDirty, 1);
    EXPECT_EQ(std::memcmp(before565, screenPalette565, sizeof before565), 0);
    paletteSetCurrent(pal.p, -50, 400);
    EXPECT_EQ(screenPalette565[0], 0xFFFF) << "out-of-range ends are cut to the table";
    EXPECT_EQ(screenPalette565[255], 0xFFFF);
}

} // namespace
