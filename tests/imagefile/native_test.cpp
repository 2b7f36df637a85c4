// The native "BMAP" file, bare "PLET"/"CMAP" chunks, and the writers'
// handling of bottom-up bitmaps.
#include "filetest.h"
#include "imagefile/imagefile.h"
#include "imagefile/tga.h"

using namespace swtest;

TEST(NativeFile, RoundTripEveryPixelType) {
    for (uint8_t type = 0; type < pixelTypeCount; ++type) {
        SCOPED_TRACE(int(type));
        Owned src{randomBitmapWithMap(type, 13, 7, type)};
        Bytes file = written([&](file_tag* f) { return bitmapWrite(f, src) == 1; });
        // rowBytes in the header: (bits x width / 8 + 3) rounded down to 4.
        EXPECT_EQ(loadLe32(&file[12 + 12 + 9]), uint32_t((pixelBitDepth(type) * 13 / 8 + 3) & ~3));
        Owned loaded{loadBytes(file)};
        ASSERT_NE(loaded, nullptr);
        EXPECT_EQ(std::tuple(+loaded->pixelType, +loaded->width, +loaded->height),
                  std::tuple(+type, 13, 7));
        EXPECT_EQ(visiblePixels(loaded), visiblePixels(src));
        ASSERT_EQ(loaded->map != nullptr, hasMap(type));
        if (hasMap(type)) {
            EXPECT_EQ(0, std::memcmp(loaded->map, src->map, isIndexed4(type) ? 16 : 1024));
        }
    }
}

// A palette is found alone, in a bitmap file or in a mip file.
TEST(NativeFile, PaletteChunksAloneAndInContainers) {
    uint32_t* pal = randomPalette(5);
    const Bytes plet = written([&](file_tag* f) { return paletteWrite(f, pal); });
    for (const Bytes& form : {plet, container("BMAP", {chunk("BMHD", bmhd(2, 1, 1, 4)), plet}),
                              container("MIP ", {chunk("XXXX", {1, 2, 3}), plet})}) {
        uint32_t* loaded;
        ASSERT_EQ(paletteLoad(&loaded, BytesFile(form)), 1);
        EXPECT_EQ(0, std::memcmp(loaded, pal, 1024));
        paletteFree(loaded);
    }
    paletteFree(pal);
}

TEST(NativeFile, ReadIntoAnExistingBitmapTrustsOnlyWhatFits) {
    // A header that agrees with itself is taken, whatever the bitmap's type.
    Owned bm{randomBitmap(PIXEL_PAL8, 8, 8, 3)};
    BytesFile agreeing(container(
        "BMAP", {chunk("BMHD", bmhd(PIXEL_ARGB8888, 1, 2, 4)), chunk("DATA", Bytes(8, 0xAB))}));
    ASSERT_EQ(bitmapRead(bm, agreeing), 1);
    EXPECT_EQ(bm->pixels[7], 0xAB);
    // A map of the wrong kind is never written: a palette chunk for a
    // 4-bit bitmap's colormap is skipped.
    Owned four{randomBitmapWithMap(PIXEL_CMAP4, 2, 2, 1)};
    uint8_t before[16];
    std::memcpy(before, four->map, 16);
    BytesFile f(container("BMAP", {chunk("BMHD", bmhd(2, 2, 2, 4)),
                                   chunk("PLET", Bytes(1024, 0x55)), chunk("DATA", Bytes(8))}));
    ASSERT_EQ(bitmapRead(four, f), 1);
    EXPECT_EQ(0, std::memcmp(four->map, before, 16));
}

// A bottom-up view (negative rowBytes) is written exactly as a top-down
// copy of the rows it shows, by every writer, and read back alike.
TEST(NativeFile, BottomUpBitmapsAreWrittenAndReadLikeTheirTopDownCopies) {
    const struct {
        bool (*takes)(uint32_t type);
        std::function<bool(file_tag*, bitmap_tag*)> write;
    } writers[] = {
        {pixelTypeValid, [](auto f, auto bm) { return bitmapWrite(f, bm) == 1; }},
        {isIndexed8,
         [](auto f, auto bm) {
             return bitmapWritePcx(f, bm, static_cast<uint32_t*>(bm->map)) == 1;
         }},
        {tgaWritesType,
         [](auto f, auto bm) { return tgaWriteBitmap(bm, nullptr, f, true, false, 32); }},
    };
    for (uint8_t type : {PIXEL_CMAP4, PIXEL_PAL8, PIXEL_RGB565, PIXEL_ARGB8888}) {
        SCOPED_TRACE(int(type));
        // The same bitmap twice, one with its rows reversed and seen
        // through a negative rowBytes.
        Owned src{randomBitmapWithMap(type, 7, 5, type)},
            copy{randomBitmapWithMap(type, 7, 5, type)};
        for (int y = 0; y < 5; ++y)
            std::memcpy(src->pixels + y * src->rowBytes, copy->pixels + (4 - y) * copy->rowBytes,
                        size_t(src->rowBytes));
        bitmap_tag view = bottomUpView(src);
        for (const auto& w : writers) {
            if (!w.takes(type)) continue;
            EXPECT_EQ(written([&](file_tag* f) { return w.write(f, &view); }),
                      written([&](file_tag* f) { return w.write(f, copy); }));
        }
        // bitmapRead puts each row of the file where the view shows it.
        const Bytes file = written([&](file_tag* f) { return writers[0].write(f, copy); });
        std::memset(src->pixels, 0, size_t(src->rowBytes) * 5);
        ASSERT_EQ(bitmapRead(&view, BytesFile(file)), 1);
        EXPECT_EQ(visiblePixels(&view), visiblePixels(copy));
    }
}
