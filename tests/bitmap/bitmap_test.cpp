// The bitmap record: sizes, allocation and its failures, map access.
#include "support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using swtest::MessageCapture;

TEST(PixelTypes, DepthsOfEveryType) {
    const int bits[] = {8, 8, 8, 8, 16, 16, 16, 16, 32, 32, 8};
    for (int type = 0; type <= 10; ++type) {
        EXPECT_EQ(pixelBitDepth(type), bits[type]) << type;
        EXPECT_EQ(pixelBitDepthLog2(type), bits[type] / 8) << type;
    }
    for (int type : {11, 12, 255, -1}) {
        EXPECT_EQ(pixelBitDepth(type), 0) << type;
        EXPECT_EQ(pixelBitDepthLog2(type), 0) << type;
    }
    EXPECT_EQ(pixelBitDepth(0x104), 16) << "only the low 8 bits count";
}

TEST(BitmapAlloc, RowBytesAndBufferSize) {
    struct Case {
        uint8_t type;
        int32_t width, height, rowBytes;
    };
    const Case cases[] = {{PIXEL_PAL8, 3, 2, 4},      {PIXEL_RGB565, 3, 2, 8},
                          {PIXEL_ARGB8888, 3, 2, 12}, {PIXEL_RGB444, 3, 1, 8},
                          {PIXEL_CMAP4, 5, 3, 8},     {PIXEL_ALPHA8, 8, 1, 8},
                          {PIXEL_PAL8, 0, 0, 0},      {11, 7, 7, 0}};
    for (const Case& c : cases) {
        bitmap_tag* bm = nullptr;
        int64_t before = memLiveBlocks();
        ASSERT_TRUE(bitmapAlloc(&bm, c.type, c.width, c.height, 0));
        EXPECT_EQ(bm->pixelType, c.type);
        EXPECT_EQ(bitmapWidth(bm), c.width);
        EXPECT_EQ(bitmapHeight(bm), c.height);
        EXPECT_EQ(bitmapPixelType(bm), c.type);
        EXPECT_EQ(bm->rowBytes, c.rowBytes) << int(c.type) << " " << c.width;
        EXPECT_EQ(bm->map, nullptr);
        EXPECT_EQ(memLiveBlocks(), before + 2) << "record and pixel buffer";
        // The buffer holds a spare row and a spare byte: all of it is ours
        // to touch (the sanitizer build checks the bound).
        std::memset(bm->pixels, 0xA5, size_t(c.height + 1) * size_t(c.rowBytes) + 1);
        bitmapFree(bm);
        EXPECT_EQ(memLiveBlocks(), before);
    }
}

TEST(BitmapAlloc, MapsByType) {
    for (int type : {PIXEL_CMAP4, PIXEL_CMAP4_KEY, PIXEL_PAL8, PIXEL_PAL8_KEY}) {
        bitmap_tag* bm = nullptr;
        int64_t before = memLiveBlocks();
        ASSERT_TRUE(bitmapAlloc(&bm, type, 4, 4, 1));
        ASSERT_NE(bm->map, nullptr);
        // A colormap is 16 bytes, a palette 1024: both fully writable.
        std::memset(bm->map, 1, type <= PIXEL_CMAP4_KEY ? 16 : 1024);
        EXPECT_EQ(memLiveBlocks(), before + 3);
        bitmapFree(bm);
        EXPECT_EQ(memLiveBlocks(), before);
    }
}

TEST(BitmapAlloc, MapForADirectTypeFailsCleanly) {
    for (int type : std::initializer_list<int>{PIXEL_RGB565, PIXEL_ARGB1555, PIXEL_ARGB8888,
                                               PIXEL_ALPHA8, 11}) {
        MessageCapture capture;
        int64_t before = memLiveBlocks();
        bitmap_tag* bm = reinterpret_cast<bitmap_tag*>(1);
        EXPECT_FALSE(bitmapAlloc(&bm, type, 3, 3, 1));
        EXPECT_EQ(bm, nullptr);
        EXPECT_EQ(memLiveBlocks(), before);
        EXPECT_EQ(capture.debug(),
                  std::vector<std::string>{"Invalid pixel depth for map in bitmapAlloc()\n"});
    }
}

TEST(BitmapAlloc, ImpossibleSizesFailLikeAllocations) {
    const int32_t sizes[][2] = {{-1, 4}, {4, -1}, {0x7FFFFFFF, 2}, {70000, 70000}};
    for (const auto& s : sizes) {
        MessageCapture capture;
        bitmap_tag* bm = reinterpret_cast<bitmap_tag*>(1);
        int64_t before = memLiveBlocks();
        EXPECT_FALSE(bitmapAlloc(&bm, PIXEL_ARGB8888, s[0], s[1], 0));
        EXPECT_EQ(bm, nullptr);
        EXPECT_EQ(memLiveBlocks(), before);
        EXPECT_TRUE(capture.sawDebug("memAlloc() failed in bitmapAlloc()\n")) << capture.dump();
    }
}

TEST(BitmapAlloc, EveryAllocationFailureLeavesNothing) {
    struct Case {
        uint8_t type;
        std::vector<std::string> messages; // for failing allocation 1, 2, 3
    };
    const Case cases[] = {
        {PIXEL_CMAP4,
         {"memAlloc() failed in bitmapAlloc()\n", "memAlloc() failed in bitmapAlloc()\n",
          "memAlloc() failed in colormapAlloc()\ncolormapAlloc() failed in bitmapAlloc()\n"}},
        {PIXEL_PAL8_KEY,
         {"memAlloc() failed in bitmapAlloc()\n", "memAlloc() failed in bitmapAlloc()\n",
          "memAlloc() failed in paletteAlloc()\npaletteAlloc() failed in bitmapAlloc()\n"}},
    };
    for (const Case& c : cases) {
        size_t attempt = 0;
        int allocations = swtest::expectCleanOnEveryAllocationFailure([&] {
            MessageCapture capture;
            bitmap_tag* bm = reinterpret_cast<bitmap_tag*>(1);
            uint8_t ok = bitmapAlloc(&bm, c.type, 5, 5, 1);
            if (memFailureHit()) {
                EXPECT_FALSE(ok);
                EXPECT_EQ(bm, nullptr);
                std::string all;
                for (const auto& t : capture.debug())
                    all += t;
                EXPECT_EQ(all, c.messages.at(attempt));
            } else {
                EXPECT_TRUE(ok);
                bitmapFree(bm);
            }
            ++attempt;
        });
        EXPECT_EQ(allocations, 3);
    }
}

TEST(BitmapFree, NullIsIgnored) {
    bitmapFree(nullptr);
}

TEST(BitmapMaps, ColormapAccess) {
    bitmap_tag* bm = nullptr;
    ASSERT_TRUE(bitmapAlloc(&bm, PIXEL_CMAP4_KEY, 2, 2, 1));
    uint8_t in[16], out[16] = {};
    for (int i = 0; i < 16; ++i)
        in[i] = uint8_t(200 + i);
    EXPECT_TRUE(bitmapSetColormap(bm, in));
    EXPECT_TRUE(bitmapGetColormap(out, bm));
    EXPECT_EQ(std::memcmp(in, out, 16), 0);
    bitmapFree(bm);
}

TEST(BitmapMaps, PaletteRangesGoToTheSameIndexes) {
    bitmap_tag* bm = nullptr;
    ASSERT_TRUE(bitmapAlloc(&bm, PIXEL_PAL8, 2, 2, 1));
    uint32_t in[256], out[256];
    for (int i = 0; i < 256; ++i)
        in[i] = 0xFF000000u | uint32_t(i * 0x010203);
    std::memset(bm->map, 0, 1024);
    EXPECT_TRUE(bitmapSetPalette(bm, in, 0, 256));
    std::fill(std::begin(out), std::end(out), 0xDEADBEEFu);
    EXPECT_TRUE(bitmapGetPalette(out, bm, 10, 5));
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(out[i], i >= 10 && i < 15 ? in[i] : 0xDEADBEEFu) << i;
    EXPECT_TRUE(bitmapGetPalette(out, bm, 20, 0)) << "an empty range still succeeds";
    EXPECT_TRUE(bitmapGetPalette(out, bm, 20, -4));
    EXPECT_TRUE(bitmapGetPalette(out, bm, 250, 100)) << "a range past 255 is cut at 255";
    EXPECT_EQ(out[255], in[255]);

    std::fill(std::begin(in), std::end(in), 7u);
    EXPECT_TRUE(bitmapSetPalette(bm, in, 100, 2));
    EXPECT_EQ(static_cast<uint32_t*>(bm->map)[99], 0xFF000000u | uint32_t(99 * 0x010203));
    EXPECT_EQ(static_cast<uint32_t*>(bm->map)[100], 7u);
    EXPECT_EQ(static_cast<uint32_t*>(bm->map)[101], 7u);
    EXPECT_EQ(static_cast<uint32_t*>(bm->map)[102], 0xFF000000u | uint32_t(102 * 0x010203));
    bitmapFree(bm);
}

// Each accessor refuses a bitmap of the wrong kind or without its map,
// naming itself and the reason.
TEST(BitmapMaps, RefusalsNameTheCallAndTheReason) {
    struct Case {
        uint8_t type;
        bool withMap;
        bool palette; // the palette accessors, else the colormap ones
        const char* reason;
    };
    const Case cases[] = {
        {PIXEL_PAL8, true, false, "Invalid bitmap depth"},
        {PIXEL_CMAP4, false, false, "No bitmap colormap"},
        {PIXEL_CMAP4, true, true, "Invalid bitmap depth"},
        {PIXEL_RGB565, false, true, "Invalid bitmap depth"},
        {PIXEL_PAL8_KEY, false, true, "No bitmap palette"},
    };
    uint32_t entries[256] = {};
    uint8_t colormap[16] = {};
    for (const Case& c : cases) {
        bitmap_tag* bm = nullptr;
        ASSERT_TRUE(bitmapAlloc(&bm, c.type, 2, 2, c.withMap));
        MessageCapture capture;
        const char* names[2];
        if (c.palette) {
            EXPECT_FALSE(bitmapGetPalette(entries, bm, 0, 1));
            EXPECT_FALSE(bitmapSetPalette(bm, entries, 0, 1));
            names[0] = "bitmapGetPalette";
            names[1] = "bitmapSetPalette";
        } else {
            EXPECT_FALSE(bitmapGetColormap(colormap, bm));
            EXPECT_FALSE(bitmapSetColormap(bm, colormap));
            names[0] = "bitmapGetColormap";
            names[1] = "bitmapSetColormap";
        }
        EXPECT_EQ(capture.debug(),
                  (std::vector<std::string>{std::string(c.reason) + " in " + names[0] + "()\n",
                                            std::string(c.reason) + " in " + names[1] + "()\n"}));
        bitmapFree(bm);
    }
}

} // namespace
