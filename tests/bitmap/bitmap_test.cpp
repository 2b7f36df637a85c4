// The bitmap record and instances: sizes, allocation and its failures,
// map ranges, windows onto a parent, and every message of the module.
#include "support.h"

#include "bitmap/bitmap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

using swtest::MessageCapture;

// Rows of 4-byte multiples with a spare row and a spare byte, and the map
// whole (the sanitizer build checks both bounds); impossible sizes (rowBytes
// -1 here) fail like allocations.
TEST(BitmapAlloc, RowBytesBufferAndMaps) {
    struct Case {
        uint8_t type;
        int32_t width, height, rowBytes, withMap;
    };
    const Case cases[] = {{PIXEL_PAL8, 3, 2, 4, 0},
                          {PIXEL_RGB565, 3, 2, 8, 0},
                          {PIXEL_ARGB8888, 3, 2, 12, 0},
                          {PIXEL_RGB444, 3, 1, 8, 0},
                          {PIXEL_ALPHA8, 8, 1, 8, 0},
                          {PIXEL_PAL8, 0, 0, 0, 0},
                          {11, 7, 7, 0, 0},
                          {PIXEL_CMAP4, 5, 3, 8, 1},
                          {PIXEL_CMAP4_KEY, 1, 1, 4, 1},
                          {PIXEL_PAL8_KEY, 4, 4, 4, 1},
                          {PIXEL_ARGB8888, -1, 4, -1, 0},
                          {PIXEL_ARGB8888, 4, -1, -1, 0},
                          {PIXEL_ARGB8888, INT32_MAX, 2, -1, 0},
                          {PIXEL_ARGB8888, 70000, 70000, -1, 0}};
    for (const auto& c : cases) {
        MessageCapture capture;
        bitmap_tag* bm = reinterpret_cast<bitmap_tag*>(1);
        int64_t before = memLiveBlocks();
        ASSERT_EQ(bitmapAlloc(&bm, c.type, c.width, c.height, uint8_t(c.withMap)), c.rowBytes >= 0);
        EXPECT_EQ(capture.debugText(),
                  c.rowBytes < 0 ? "memAlloc() failed in bitmapAlloc()\n" : "");
        EXPECT_EQ(bm == nullptr, c.rowBytes < 0);
        if (!bm) continue;
        EXPECT_EQ(bm->rowBytes, c.rowBytes) << int(c.type) << " " << c.width;
        EXPECT_EQ(memLiveBlocks(), before + 2 + c.withMap) << "record, pixels and map";
        std::memset(bm->pixels, 0xA5, size_t(c.height + 1) * size_t(c.rowBytes) + 1);
        if (c.withMap) std::memset(bm->map, 1, isIndexed4(c.type) ? 16 : 1024);
        bitmapFree(bm);
        EXPECT_EQ(memLiveBlocks(), before);
    }
    bitmapFree(nullptr);
}

// The record, the pixels, then the map: the map's failure names its
// allocator too.
TEST(BitmapAlloc, EveryAllocationFailureLeavesNothing) {
    for (const char* map : {"colormap", "palette"}) {
        size_t attempt = 0;
        int allocations = swtest::expectCleanOnEveryAllocationFailure([&] {
            MessageCapture capture;
            bitmap_tag* bm = reinterpret_cast<bitmap_tag*>(1);
            uint8_t ok = bitmapAlloc(&bm, *map == 'c' ? PIXEL_CMAP4 : PIXEL_PAL8_KEY, 5, 5, 1);
            const std::string expected =
                ++attempt < 3 ? std::string("memAlloc() failed in bitmapAlloc()\n")
                              : "memAlloc() failed in " + std::string(map) + "Alloc()\n" + map +
                                    "Alloc() failed in bitmapAlloc()\n";
            EXPECT_EQ(capture.debugText(), memFailureHit() ? expected : "");
            EXPECT_EQ(ok, !memFailureHit());
            EXPECT_EQ(ok ? nullptr : bm, nullptr);
            bitmapFree(ok ? bm : nullptr);
        });
        EXPECT_EQ(allocations, 3);
    }
}

TEST(BitmapMaps, RangesGoToTheSameIndexes) {
    bitmap_tag* bm = nullptr;
    ASSERT_TRUE(bitmapAlloc(&bm, PIXEL_PAL8, 2, 2, 1));
    uint32_t in[256], out[256];
    for (int i = 0; i < 256; ++i)
        in[i] = 0xFF000000u | uint32_t(i * 0x010203);
    EXPECT_TRUE(bitmapSetPalette(bm, in, 0, 256));
    // Entries 100 and 101 of the source.
    EXPECT_TRUE(bitmapSetPalette(bm, std::vector<uint32_t>(256, 7).data(), 100, 2));
    in[100] = in[101] = 7;
    std::fill(std::begin(out), std::end(out), 0xDEADBEEFu);
    // An empty range still succeeds; a range past 255 is cut at 255.
    EXPECT_TRUE(bitmapGetPalette(out, bm, 98, 5) && bitmapGetPalette(out, bm, 20, -4) &&
                bitmapGetPalette(out, bm, 250, 100));
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(out[i], (i >= 98 && i < 103) || i >= 250 ? in[i] : 0xDEADBEEFu) << i;
    bitmapFree(bm);
}

// Every refusal of the module prints exactly its one line.
TEST(BitmapMessages, EveryRefusalPrintsItsLine) {
    swtest::Owned pal8{swtest::filledBitmap(PIXEL_PAL8, 2, 2, 0)};
    bitmap_tag cmap4{PIXEL_CMAP4, 2, 2, 4, nullptr, pal8->pixels};
    uint32_t entries[256] = {}, mask[8] = {};
    uint8_t colormap[16] = {};
    bitmap_tag* out = nullptr;
    auto maps = [&](bitmap_tag* bm) {
        bitmapGetColormap(colormap, bm);
        bitmapSetColormap(bm, colormap);
        bitmapGetPalette(entries, bm, 0, 1);
        bitmapSetPalette(bm, entries, 0, 1);
        paletteSetCurrentFromBitmap(bm, 0, 256);
    };
    auto colours = [&](uint8_t type) {
        bitmap_tag bm = swtest::shape(type);
        colorA(&bm, 1), colorR(&bm, 1), colorG(&bm, 1), colorB(&bm, 1), colorRGB(&bm, 1, 2, 3),
            colorSubsetRGB(&bm, 1, 2, 3, mask), colorRGBA(&bm, 1, 2, 3, 4);
    };
    const char* colourNames =
        "colorA\ncolorR\ncolorG\ncolorB\ncolorRGB\ncolorSubsetRGB\ncolorRGBA\n";
    const struct {
        std::function<void()> call;
        std::string messages;
    } cases[] = {
        {[&] { bitmapAlloc(&out, PIXEL_ARGB1555, 3, 3, 1); },
         "Invalid pixel depth for map in bitmapAlloc()\n"},
        {[&] { maps(pal8); },
         "Invalid bitmap depth in bitmapGetColormap()\nInvalid bitmap depth in "
         "bitmapSetColormap()\nNo bitmap palette in bitmapGetPalette()\nNo bitmap palette in "
         "bitmapSetPalette()\nBitmap has no palette in paletteSetCurrentFromBitmap()\n"},
        {[&] { maps(&cmap4); },
         "No bitmap colormap in bitmapGetColormap()\nNo bitmap colormap in "
         "bitmapSetColormap()\nInvalid bitmap depth in bitmapGetPalette()\nInvalid bitmap depth in "
         "bitmapSetPalette()\nBitmap is not 8-bit in paletteSetCurrentFromBitmap()\n"},
        {[&] { colours(PIXEL_ALPHA8); }, colourNames},
        {[&] { colours(11); }, colourNames},
    };
    swtest::SelectionGuard guard;
    int64_t before = memLiveBlocks();
    for (const auto& c : cases) {
        MessageCapture capture;
        c.call();
        EXPECT_EQ(capture.debugText(), c.messages);
    }
    EXPECT_EQ(memLiveBlocks(), before) << "no refusal leaves anything allocated";
    EXPECT_EQ(out, nullptr);
}

// Inside the parent (top-down or bottom-up) an instance shares its rows;
// outside it never points into them, and rowBytes is the largest mode's
// width where the rectangle fits that mode, else 0.
TEST(Instance, SharesTheParentsRowsOnlyInsideIt) {
    bitmap_tag* parent = nullptr;
    ASSERT_TRUE(bitmapAlloc(&parent, PIXEL_RGB565, 16, 16, 0));
    screenmode_tag scratch;
    parent->map = &scratch; // any map, shared as it is
    bitmap_tag bottomUp = swtest::bottomUpView(parent);
    swtest::rewindModes();
    struct Case {
        int32_t x, y, w, h, rowBytes; // rowBytes 1 for the parent's
    };
    const Case cases[] = {{2, 1, 4, 3, 1},
                          {12, 0, 4, 16, 1},
                          {0, 0, 16, 16, 1},
                          {16, 16, 0, 0, 1},
                          {10, 0, 7, 4, 1024},
                          {0, 13, 4, 4, 1024},
                          {0, 0, 1024, 768, 1024},
                          {0, 0, 1025, 1, 0},
                          {0, 700, 4, 69, 0},
                          {-1, 0, 4, 4, 1024},
                          {0, -8, 4, 4, 1024},
                          {4, 4, -2, 2, 1024},
                          {0x7FFFFFF0, 0, 0x20, 1, 0}};
    for (bitmap_tag* p : {parent, &bottomUp})
        for (const Case& c : cases) {
            bitmap_tag inst;
            std::memset(&inst, 0xCC, sizeof inst);
            bitmapInstance(&inst, p, c.x, c.y, c.w, c.h);
            bool inside = c.rowBytes == 1;
            bitmap_tag expected{
                PIXEL_RGB565, c.w,
                c.h,          inside ? p->rowBytes : c.rowBytes,
                p->map,       inside ? p->pixels + c.y * p->rowBytes + c.x * 2 : nullptr};
            EXPECT_EQ(std::memcmp(&inst, &expected, sizeof inst), 0)
                << c.x << "," << c.y << " " << c.w << "x" << c.h << " rowBytes " << inst.rowBytes;
        }
    parent->map = nullptr;
    bitmapFree(parent);
}

TEST(Instance, AllocationFailureLeavesNothing) {
    swtest::Owned parent{swtest::filledBitmap(PIXEL_PAL8, 8, 8, 0)};
    swtest::expectCleanOnEveryAllocationFailure([&] {
        MessageCapture capture;
        bitmap_tag* inst = reinterpret_cast<bitmap_tag*>(1);
        uint8_t ok = bitmapInstanceAlloc(&inst, parent, 1, 1, 2, 2);
        EXPECT_EQ(ok, !memFailureHit());
        EXPECT_EQ(capture.debugText(), ok ? "" : "memAlloc() failed in bitmapInstanceAlloc()\n");
        EXPECT_EQ(ok ? inst->pixels : reinterpret_cast<uint8_t*>(inst),
                  ok ? parent->pixels + 9 : nullptr);
        bitmapInstanceFree(ok ? inst : nullptr);
    });
}

} // namespace
