// The native "BMAP" file, bare "PLET"/"CMAP" chunks and their loaders.
#include "filetest.h"
#include "imagefile/imagefile.h"

using namespace swtest;

namespace {

// Writes `bm` with bitmapWrite and returns the file's bytes.
Bytes writeNative(const TempDir& dir, bitmap_tag* bm) {
    std::string path = dir.file("out.bm");
    {
        OpenFile f(path, 'w');
        EXPECT_EQ(bitmapWrite(f, bm), 1);
    }
    return readFile(path);
}

// Loads bytes written to a file through the uncached loader.
uint8_t loadBytes(const TempDir& dir, const Bytes& bytes, bitmap_tag** out,
                  const char* name = "in.bm") {
    writeFile(dir.file(name), bytes);
    OpenFile f(dir.file(name), 'r');
    return bitmapLoadFile(out, f, 0);
}

uint8_t readBytesInto(const TempDir& dir, const Bytes& bytes, bitmap_tag* bm) {
    writeFile(dir.file("in.bm"), bytes);
    OpenFile f(dir.file("in.bm"), 'r');
    return bitmapRead(bm, f);
}

} // namespace

TEST(NativeFile, RoundTripEveryPixelType) {
    TempDir dir;
    for (uint8_t type = 0; type <= PIXEL_ALPHA8; ++type) {
        SCOPED_TRACE(int(type));
        BitmapHolder src{randomBitmapWithMap(type, 13, 7, type)};
        if (type <= PIXEL_CMAP4_KEY) // one value 0..15 per byte in memory
            for (int i = 0; i < (src.bm->height + 1) * src.bm->rowBytes; ++i)
                src.bm->pixels[i] &= 15;
        writeNative(dir, src.bm);
        BitmapHolder loaded;
        {
            OpenFile f(dir.file("out.bm"), 'r');
            ASSERT_EQ(bitmapLoadFile(&loaded.bm, f, 0), 1);
        }
        EXPECT_EQ(+loaded.bm->pixelType, type);
        EXPECT_EQ(+loaded.bm->width, 13);
        EXPECT_EQ(+loaded.bm->height, 7);
        EXPECT_EQ(visiblePixels(loaded.bm), visiblePixels(src.bm));
        if (type <= PIXEL_CMAP4_KEY) {
            ASSERT_NE(+loaded.bm->map, nullptr);
            EXPECT_EQ(0, std::memcmp(loaded.bm->map, src.bm->map, 16));
        } else if (type <= PIXEL_PAL8_KEY) {
            ASSERT_NE(+loaded.bm->map, nullptr);
            EXPECT_EQ(0, std::memcmp(loaded.bm->map, src.bm->map, 1024));
        } else {
            EXPECT_EQ(+loaded.bm->map, nullptr);
        }
        // bitmapRead into a bitmap of the same shape gives the same pixels.
        BitmapHolder same{randomBitmapWithMap(type, 13, 7, 99)};
        OpenFile f(dir.file("out.bm"), 'r');
        ASSERT_EQ(bitmapRead(same.bm, f), 1);
        EXPECT_EQ(visiblePixels(same.bm), visiblePixels(src.bm));
    }
}

TEST(NativeFile, FourBitPackingOfFiveByThree) {
    TempDir dir;
    BitmapHolder bm;
    ASSERT_EQ(bitmapAlloc(&bm.bm, PIXEL_CMAP4, 5, 3, 0), 1);
    ASSERT_EQ(+bm.bm->rowBytes, 8);
    for (int i = 0; i < 24; ++i)
        bm.bm->pixels[i] = uint8_t((i * 7) & 15);
    Bytes file = writeNative(dir, bm.bm);
    // BMAP header, BMHD chunk, DATA chunk of 12 packed bytes.
    Bytes expected = container(
        "BMAP", {chunk("BMHD", bmhd(PIXEL_CMAP4, 5, 3, 8)), [&] {
                     Bytes packed;
                     for (int i = 0; i < 24; i += 2)
                         packed.push_back(uint8_t(((i * 7) & 15) << 4 | (((i + 1) * 7) & 15)));
                     return chunk("DATA", packed);
                 }()});
    EXPECT_EQ(file, expected);
    BitmapHolder back;
    ASSERT_EQ(loadBytes(dir, file, &back.bm), 1);
    EXPECT_EQ(visiblePixels(back.bm), visiblePixels(bm.bm));
}

TEST(NativeFile, HeaderRowBytesFollowTheFileRule) {
    TempDir dir;
    // (bits x width / 8 + 3) & ~3 for 16 and 32 bits.
    const struct {
        uint8_t type;
        int32_t width;
        uint32_t rowBytes;
    } cases[] = {{PIXEL_RGB565, 3, 8}, {PIXEL_ARGB8888, 3, 12}, {PIXEL_PAL8, 5, 8}};
    for (const auto& c : cases) {
        BitmapHolder bm{randomBitmap(c.type, c.width, 2, 1)};
        Bytes file = writeNative(dir, bm.bm);
        EXPECT_EQ(getLe32(file, 12 + 12 + 9), +c.rowBytes) << int(c.type);
    }
}

TEST(NativeFile, ColormapWriteZeroesTheTail) {
    TempDir dir;
    uint8_t cm[16];
    for (int i = 0; i < 16; ++i)
        cm[i] = uint8_t(200 + i);
    {
        OpenFile f(dir.file("c"), 'w');
        ASSERT_EQ(colormapWrite(f, cm), 1);
    }
    Bytes expected(cm, cm + 16);
    expected.resize(64, 0);
    EXPECT_EQ(readFile(dir.file("c")), chunk("CMAP", expected));
    uint8_t* loaded;
    OpenFile f(dir.file("c"), 'r');
    ASSERT_EQ(colormapLoad(&loaded, f), 1);
    EXPECT_EQ(0, std::memcmp(loaded, cm, 16));
    colormapFree(loaded);
}

TEST(NativeFile, PaletteFromBarePletBmapAndMipContainers) {
    TempDir dir;
    uint32_t* pal = randomPalette(5);
    Bytes plet;
    for (int i = 0; i < 256; ++i)
        putLe32(plet, pal[i]);
    const Bytes forms[] = {
        chunk("PLET", plet),
        container("BMAP", {chunk("BMHD", bmhd(2, 1, 1, 4)), chunk("PLET", plet)}),
        container("MIP ", {chunk("XXXX", {1, 2, 3}), chunk("PLET", plet)}),
    };
    for (const Bytes& form : forms) {
        writeFile(dir.file("p"), form);
        OpenFile f(dir.file("p"), 'r');
        uint32_t* loaded;
        ASSERT_EQ(paletteLoad(&loaded, f), 1);
        EXPECT_EQ(0, std::memcmp(loaded, pal, 1024));
        paletteFree(loaded);
    }
    {
        OpenFile f(dir.file("w"), 'w');
        ASSERT_EQ(paletteWrite(f, pal), 1);
    }
    EXPECT_EQ(readFile(dir.file("w")), chunk("PLET", plet));
    paletteFree(pal);
}

TEST(NativeFile, ReadAcceptsAHeaderThatAgreesWithItselfAndFitsTheBitmap) {
    TempDir dir;
    BitmapHolder bm{randomBitmap(PIXEL_PAL8, 8, 8, 3)};
    Bytes data(4 * 2, 0xAB);
    EXPECT_EQ(readBytesInto(dir,
                            container("BMAP", {chunk("BMHD", bmhd(PIXEL_ARGB8888, 1, 2, 4)),
                                               chunk("DATA", data)}),
                            bm.bm),
              1);
    EXPECT_EQ(bm.bm->pixels[0], 0xAB);
    EXPECT_EQ(bm.bm->pixels[7], 0xAB);
}

// Every quoted failure of the native reader and loader, one table row each.
TEST(NativeFile, FailureMessages) {
    TempDir dir;
    const Bytes plet(1024, 0), cmap(64, 0), data4(4, 0);
    const Bytes head = chunk("BMHD", bmhd(PIXEL_PAL8, 2, 2, 4));
    const struct {
        const char* what;
        Bytes file;
        const char* message;
    } cases[] = {
        {"no header", container("BMAP", {chunk("DATA", data4)}), "DATA chunk before BMHD\n"},
        {"empty container", container("BMAP", {}),
         "No required BMHD chunk in file in bitmapLoad()\n"},
        {"short palette first", container("BMAP", {chunk("PLET", Bytes(1000)), head}),
         "PLET chunk incorrect size\n"},
        {"palette first", container("BMAP", {chunk("PLET", plet), head}),
         "PLET chunk before BMHD\n"},
        {"colormap first", container("BMAP", {chunk("CMAP", cmap), head}),
         "CMAP chunk before BMHD\n"},
        {"palette in 16-bit",
         container("BMAP", {chunk("BMHD", bmhd(4, 2, 2, 4)), chunk("PLET", plet)}),
         "PLET chunk in non-8-bit bitmap\n"},
        {"colormap in 8-bit", container("BMAP", {head, chunk("CMAP", cmap)}),
         "CMAP chunk in non-4-bit bitmap\n"},
        {"short colormap",
         container("BMAP", {chunk("BMHD", bmhd(0, 2, 2, 4)), chunk("CMAP", Bytes(16))}),
         "Invalid CMAP size in colormapRead()\n"},
        {"header size", container("BMAP", {chunk("BMHD", Bytes(13))}),
         "Invalid BMHD size in readBMHD()\n"},
        {"compression",
         container("BMAP", {chunk("BMHD", bmhd(2, 2, 2, 4, 1)), chunk("DATA", Bytes(8))}),
         "Invalid compression type\n"},
        {"data size", container("BMAP", {head, chunk("DATA", Bytes(7))}),
         "Size and bitmap size don't match in readDATA()\n"},
        {"4-bit data size",
         container("BMAP", {chunk("BMHD", bmhd(0, 2, 2, 4)), chunk("DATA", Bytes(3))}),
         "Size and bitmap size don't match in readDATA()\n"},
        {"data larger than bitmap", container("BMAP", {head, chunk("DATA", Bytes(4 * 100))}),
         "Size and bitmap size don't match in readDATA()\n"},
        {"header lies about rows",
         container("BMAP", {chunk("BMHD", bmhd(2, 2, 2, 400)), chunk("DATA", Bytes(800))}),
         "DATA chunk larger than the bitmap in readDATA()\n"},
        {"two headers", container("BMAP", {head, head}),
         "More than one BMHD chunk in readBMHD()\n"},
        {"huge header", container("BMAP", {chunk("BMHD", bmhd(2, 40000, 2, 40000))}),
         "Invalid image size 40000 x 2 in readBMHD()\n"},
        {"zero width", container("BMAP", {chunk("BMHD", bmhd(2, 0, 2, 0))}),
         "Invalid image size 0 x 2 in readBMHD()\n"},
        {"too many pixels", container("BMAP", {chunk("BMHD", bmhd(2, 32768, 16385, 32768))}),
         "Invalid image size 32768 x 16385 in readBMHD()\n"},
        {"more than the file", container("BMAP", {chunk("BMHD", bmhd(9, 1000, 1000, 4000))}),
         "BMHD describes more data than the file holds in readBMHD()\n"},
        {"unknown type", container("BMAP", {chunk("BMHD", bmhd(11, 2, 2, 0))}),
         "Invalid pixel type 11 in readBMHD()\n"},
        {"not a bitmap", chunk("PLET", plet), "Invalid file type in bitmapLoad()\n"},
        {"too short", Bytes{1, 2, 3}, "brixPeekChunkHeader() failed in bitmapLoad()\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MessageCapture messages;
        bitmap_tag* bm = reinterpret_cast<bitmap_tag*>(1);
        int64_t blocks = memLiveBlocks();
        EXPECT_EQ(loadBytes(dir, c.file, &bm), 0);
        EXPECT_EQ(bm, nullptr);
        EXPECT_EQ(memLiveBlocks(), blocks);
        EXPECT_TRUE(messages.sawDebug(c.message)) << messages.dump();
    }
}

TEST(NativeFile, AlphaBitmapWithAMapIsWrittenWithAPaletteTheReaderRefuses) {
    TempDir dir;
    BitmapHolder bm{randomBitmap(PIXEL_ALPHA8, 4, 4, 1)};
    uint32_t* pal = randomPalette(1);
    bm.bm->map = pal;
    Bytes file = writeNative(dir, bm.bm);
    bm.bm->map = nullptr;
    paletteFree(pal);
    MessageCapture messages;
    bitmap_tag* out;
    EXPECT_EQ(loadBytes(dir, file, &out), 0);
    EXPECT_TRUE(messages.sawDebug("PLET chunk in non-8-bit bitmap\n"));
}

TEST(NativeFile, BitmapReadMessages) {
    TempDir dir;
    BitmapHolder bm{randomBitmap(PIXEL_PAL8, 4, 4, 1)};
    const struct {
        Bytes file;
        const char* message;
    } cases[] = {
        {container("BMAP", {}), "No required BMHD chunk in file in bitmapRead()\n"},
        {chunk("CMAP", Bytes(64)), "Invalid file type in bitmapRead()\n"},
        {Bytes{0}, "brixPeekChunkHeader() failed in bitmapRead()\n"},
        {container("BMAP", {chunk("DATA", Bytes(4))}),
         "brixParseContainer() failed in bitmapRead()\n"},
    };
    for (const auto& c : cases) {
        MessageCapture messages;
        EXPECT_EQ(readBytesInto(dir, c.file, bm.bm), 0);
        EXPECT_TRUE(messages.sawDebug(c.message)) << c.message << messages.dump();
    }
    // A map of the wrong kind is never written: a palette chunk for a
    // 4-bit bitmap's colormap is skipped.
    BitmapHolder four{randomBitmapWithMap(PIXEL_CMAP4, 2, 2, 1)};
    Bytes before(static_cast<uint8_t*>(four.bm->map), static_cast<uint8_t*>(four.bm->map) + 16);
    EXPECT_EQ(readBytesInto(
                  dir,
                  container("BMAP", {chunk("BMHD", bmhd(2, 2, 2, 4)),
                                     chunk("PLET", Bytes(1024, 0x55)), chunk("DATA", Bytes(8))}),
                  four.bm),
              1);
    EXPECT_EQ(Bytes(static_cast<uint8_t*>(four.bm->map), static_cast<uint8_t*>(four.bm->map) + 16),
              before);
}

TEST(NativeFile, PaletteAndColormapMessages) {
    TempDir dir;
    const struct {
        Bytes file;
        bool palette;
        std::vector<const char*> messages;
    } cases[] = {
        {chunk("PLET", Bytes(100)),
         true,
         {"Invalid PLET size in readPLET()\n", "readPLET() failed in paletteRead()\n",
          "paletteRead() failed in paletteLoad()\n"}},
        {chunk("DATA", Bytes(4)), true, {"Invalid file type in paletteRead()\n"}},
        {Bytes{7}, true, {"brixPeekChunkHeader() failed in paletteRead()\n"}},
        {container("BMAP", {chunk("BMHD", Bytes(14))}),
         true,
         {"paletteRead() failed in paletteLoad()\n"}},
        {chunk("PLET", Bytes(64)),
         false,
         {"Invalid type in colormapRead()\n", "colormapRead() failed in colormapLoad()\n"}},
        {chunk("CMAP", Bytes(63)), false, {"Invalid CMAP size in colormapRead()\n"}},
        {chunk("CMAP", Bytes(10), 64), false, {"libfileReadExact() failed in colormapRead()\n"}},
        {Bytes{1}, false, {"brixReadChunkHeader() failed in colormapRead()\n"}},
    };
    for (const auto& c : cases) {
        writeFile(dir.file("x"), c.file);
        OpenFile f(dir.file("x"), 'r');
        MessageCapture messages;
        int64_t blocks = memLiveBlocks();
        if (c.palette) {
            uint32_t* pal = reinterpret_cast<uint32_t*>(1);
            EXPECT_EQ(paletteLoad(&pal, f), 0);
            EXPECT_EQ(pal, nullptr);
        } else {
            uint8_t* cm = reinterpret_cast<uint8_t*>(1);
            EXPECT_EQ(colormapLoad(&cm, f), 0);
            EXPECT_EQ(cm, nullptr);
        }
        EXPECT_EQ(memLiveBlocks(), blocks);
        for (const char* m : c.messages)
            EXPECT_TRUE(messages.sawDebug(m)) << m << messages.dump();
    }
}

TEST(NativeFile, WriterMessagesOnAFileThatCannotBeWritten) {
    TempDir dir;
    writeFile(dir.file("ro"), {});
    OpenFile f(dir.file("ro"), 'r'); // opened for reading: every write fails
    BitmapHolder bm{randomBitmapWithMap(PIXEL_PAL8, 2, 2, 1)};
    MessageCapture messages;
    EXPECT_EQ(bitmapWrite(f, bm.bm), 0);
    EXPECT_EQ(paletteWrite(f, static_cast<uint32_t*>(bm.bm->map)), 0);
    EXPECT_EQ(colormapWrite(f, static_cast<uint8_t*>(bm.bm->map)), 0);
    EXPECT_TRUE(messages.sawDebug("brixStartChunk() failed in bitmapWrite()\n"));
    EXPECT_TRUE(messages.sawDebug("brixWriteChunk() failed in paletteWrite()\n"));
    EXPECT_TRUE(messages.sawDebug("brixWriteChunk() failed in colormapWrite()\n"));
}

TEST(NativeFile, CleanOnEveryAllocationFailure) {
    TempDir dir;
    MessageCapture quiet;
    for (uint8_t type : {PIXEL_CMAP4_KEY, PIXEL_PAL8, PIXEL_ARGB4444}) {
        BitmapHolder src{randomBitmapWithMap(type, 9, 5, 2)};
        writeNative(dir, src.bm);
        int allocations = expectCleanOnEveryAllocationFailure([&] {
            OpenFile f(dir.file("out.bm"), 'r');
            bitmap_tag* bm;
            if (bitmapLoadFile(&bm, f, 0))
                bitmapFree(bm);
            else
                EXPECT_EQ(bm, nullptr);
        });
        EXPECT_GE(allocations, type <= PIXEL_PAL8_KEY ? 3 : 2);
        // The 4-bit writer's packing buffer.
        expectCleanOnEveryAllocationFailure([&] {
            OpenFile f(dir.file("w.bm"), 'w');
            bitmapWrite(f, src.bm);
        });
    }
    Bytes plet(1024, 1);
    writeFile(dir.file("p"), chunk("PLET", plet));
    writeFile(dir.file("c"), chunk("CMAP", Bytes(64, 2)));
    expectCleanOnEveryAllocationFailure([&] {
        OpenFile f(dir.file("p"), 'r');
        uint32_t* pal;
        if (paletteLoad(&pal, f))
            paletteFree(pal);
        else
            EXPECT_EQ(pal, nullptr);
    });
    expectCleanOnEveryAllocationFailure([&] {
        OpenFile f(dir.file("c"), 'r');
        uint8_t* cm;
        if (colormapLoad(&cm, f))
            colormapFree(cm);
        else
            EXPECT_EQ(cm, nullptr);
    });
}
