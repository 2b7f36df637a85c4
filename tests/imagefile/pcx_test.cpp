// PCX writing (byte-exact run coding), reading and the PCX loaders.
#include "filetest.h"
#include "imagefile/imagefile.h"
#include "imagefile/pcx.h"

using namespace swtest;

namespace {

Bytes writePcx(const TempDir& dir, bitmap_tag* bm, const uint32_t* palette) {
    {
        OpenFile f(dir.file("o.pcx"), 'w');
        EXPECT_EQ(bitmapWritePcx(f, bm, palette), 1);
    }
    return readFile(dir.file("o.pcx"));
}

// The run coding of one row as the rules state it: runs of at most 63,
// single values escaped by 0xC1 from 0xC0 up, padding 0 after odd rows,
// runs ending at the row's end.
Bytes referenceRow(const uint8_t* row, int width) {
    std::vector<uint8_t> values(row, row + width);
    if (width & 1) values.push_back(0);
    Bytes out;
    for (size_t i = 0; i < values.size();) {
        size_t n = 1;
        while (i + n < values.size() && values[i + n] == values[i] && n < 63)
            ++n;
        if (n == 1 && values[i] < 0xC0)
            out.push_back(values[i]);
        else if (n == 1)
            out.insert(out.end(), {0xC1, values[i]});
        else
            out.insert(out.end(), {uint8_t(0xC0 | n), values[i]});
        i += n;
    }
    return out;
}

bitmap_tag* rowsOf(const std::vector<Bytes>& rows) {
    bitmap_tag* bm;
    bitmapAlloc(&bm, PIXEL_PAL8, int32_t(rows[0].size()), int32_t(rows.size()), 0);
    for (size_t y = 0; y < rows.size(); ++y)
        std::memcpy(bm->pixels + y * bm->rowBytes, rows[y].data(), rows[y].size());
    return bm;
}

// A hand-made PCX file: header fields, data and an optional palette.
Bytes pcxFile(int width, int height, uint8_t encoding, const Bytes& data, uint8_t version = 5,
              bool paletteAtEnd = true, uint8_t bits = 8, uint8_t planes = 1) {
    Bytes b(128, 0);
    b[0] = 10, b[1] = version, b[2] = encoding, b[3] = bits;
    b[8] = uint8_t(width - 1), b[9] = uint8_t((width - 1) >> 8);
    b[10] = uint8_t(height - 1), b[11] = uint8_t((height - 1) >> 8);
    for (int i = 0; i < 48; ++i)
        b[16 + i] = uint8_t(i * 5);
    b[65] = planes;
    append(b, data);
    if (paletteAtEnd) {
        b.push_back(12);
        for (int i = 0; i < 768; ++i)
            b.push_back(uint8_t(255 - i % 256));
    }
    return b;
}

uint8_t loadFrom(const TempDir& dir, const Bytes& bytes, bitmap_tag** out, uint8_t key = 0) {
    writeFile(dir.file("i.pcx"), bytes);
    OpenFile f(dir.file("i.pcx"), 'r');
    return bitmapLoadFile(out, f, key);
}

} // namespace

TEST(Pcx, RunCodingOfTheDocumentedRows) {
    TempDir dir;
    uint32_t* pal = randomPalette(1);
    const struct {
        Bytes row;
        Bytes coded;
    } cases[] = {
        {Bytes(70, 9), {0xFF, 9, 0xC7, 9}},
        {Bytes{0xC5}, {0xC1, 0xC5, 0}}, // the padding byte of the odd row follows
        {Bytes{0x3F, 0x40}, {0x3F, 0x40}},
        {Bytes{1, 2, 3}, {1, 2, 3, 0}},
        {Bytes{0, 0, 0}, {0xC4, 0}}, // padding 0 joins the run
        {Bytes(126, 0xC0), {0xFF, 0xC0, 0xFF, 0xC0}},
        {Bytes(64, 0xC0), {0xFF, 0xC0, 0xC1, 0xC0}},
    };
    for (const auto& c : cases) {
        BitmapHolder bm{rowsOf({c.row})};
        Bytes file = writePcx(dir, bm.bm, pal);
        ASSERT_EQ(file.size(), 128 + c.coded.size() + 769);
        EXPECT_EQ(Bytes(file.begin() + 128, file.end() - 769), c.coded);
        EXPECT_EQ(getLe16(file, 66), (c.row.size() + 1) & ~size_t(1)); // bytes per line
        BitmapHolder back;
        ASSERT_EQ(loadFrom(dir, file, &back.bm), 1);
        EXPECT_EQ(visiblePixels(back.bm), c.row);
    }
    paletteFree(pal);
}

TEST(Pcx, HeaderPaletteAndRandomImagesMatchTheReferenceCoding) {
    TempDir dir;
    uint32_t* pal = randomPalette(2);
    Rng rng(3);
    for (int trial = 0; trial < 20; ++trial) {
        int w = rng.range(1, 150), h = rng.range(1, 9);
        BitmapHolder bm{randomBitmap(PIXEL_PAL8, w, h, uint32_t(trial))};
        // Long runs of few values, so the coding splits and escapes.
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                bm.bm->pixels[y * bm.bm->rowBytes + x] = uint8_t(0xBE + (x / rng.range(1, 80)) % 4);
        Bytes file = writePcx(dir, bm.bm, pal);
        Bytes expected = {10, 5, 1, 8, 0, 0, 0, 0};
        putLe16(expected, uint32_t(w - 1));
        putLe16(expected, uint32_t(h - 1));
        putLe16(expected, uint32_t(w));
        putLe16(expected, uint32_t(h));
        expected.resize(65, 0);
        expected.push_back(1);
        putLe16(expected, uint32_t(w + (w & 1)));
        putLe16(expected, 1);
        expected.resize(128, 0);
        for (int y = 0; y < h; ++y)
            append(expected, referenceRow(bm.bm->pixels + y * bm.bm->rowBytes, w));
        expected.push_back(12);
        for (int i = 0; i < 256; ++i)
            expected.insert(expected.end(),
                            {uint8_t(pal[i] >> 16), uint8_t(pal[i] >> 8), uint8_t(pal[i])});
        ASSERT_EQ(file, expected) << w << " x " << h;

        BitmapHolder back;
        ASSERT_EQ(loadFrom(dir, file, &back.bm, 1), 1);
        EXPECT_EQ(+back.bm->pixelType, PIXEL_PAL8_KEY);
        EXPECT_EQ(visiblePixels(back.bm), visiblePixels(bm.bm));
        for (int i = 0; i < 256; ++i) // palettes from PCX have alpha 0
            ASSERT_EQ(static_cast<uint32_t*>(back.bm->map)[i], pal[i] & 0xFFFFFF);
    }
    paletteFree(pal);
}

TEST(Pcx, SixteenBitSourcesAreWrittenAsPaletteIndexes) {
    TempDir dir;
    uint32_t* pal = randomPalette(9);
    for (int i = 0; i < 256; ++i) // distinct 16-bit colours
        pal[i] = uint32_t(i & 31) << 19 | uint32_t(i >> 5) << 10;
    paletteSetCurrent(pal, 0, 256);
    BitmapHolder bm;
    ASSERT_EQ(bitmapAlloc(&bm.bm, PIXEL_RGB565, 5, 2, 0), 1);
    Bytes indexes;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x) {
            uint8_t index = uint8_t(40 * y + 7 * x);
            reinterpret_cast<uint16_t*>(bm.bm->pixels + y * bm.bm->rowBytes)[x] =
                screenPalette565[index];
            indexes.push_back(index);
        }
    writePcx(dir, bm.bm, pal);
    BitmapHolder back;
    OpenFile f(dir.file("o.pcx"), 'r');
    ASSERT_EQ(bitmapLoadFile(&back.bm, f, 0), 1);
    EXPECT_EQ(visiblePixels(back.bm), indexes);
    paletteSetCurrent(nullptr, 0, 0);
    paletteFree(pal);
}

TEST(Pcx, DecoderRunsRawDataAndOldPalettes) {
    TempDir dir;
    // Runs continue from one row into the next; 0xC0 yields its value once.
    {
        BitmapHolder bm;
        ASSERT_EQ(loadFrom(dir, pcxFile(3, 2, 1, {0xC5, 7, 0xC0, 8, 0xC1, 0xD0}), &bm.bm), 1);
        EXPECT_EQ(visiblePixels(bm.bm), (Bytes{7, 7, 7, 7, 8, 0xD0}));
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(static_cast<uint32_t*>(bm.bm->map)[i],
                      uint32_t(255 - (3 * i) % 256) << 16 | uint32_t(255 - (3 * i + 1) % 256) << 8 |
                          uint32_t(255 - (3 * i + 2) % 256));
    }
    // Bytes per line from the header when it holds the row: other writers
    // store odd lengths (no padding) or longer ones.
    for (int perLine : {3, 5}) {
        Bytes file = pcxFile(
            3, 2, 1, perLine == 3 ? Bytes{1, 2, 3, 4, 5, 6} : Bytes{1, 2, 3, 9, 9, 4, 5, 6, 9, 9});
        file[66] = uint8_t(perLine);
        BitmapHolder bm;
        ASSERT_EQ(loadFrom(dir, file, &bm.bm), 1);
        EXPECT_EQ(visiblePixels(bm.bm), (Bytes{1, 2, 3, 4, 5, 6}));
    }
    // Raw encoding takes every byte as it is.
    {
        BitmapHolder bm;
        ASSERT_EQ(loadFrom(dir, pcxFile(2, 2, 0, {0xC5, 1, 0xFF, 3}), &bm.bm), 1);
        EXPECT_EQ(visiblePixels(bm.bm), (Bytes{0xC5, 1, 0xFF, 3}));
    }
    // Version 3, or no marker: the header's 16 colours, 16 times over.
    for (bool version3 : {true, false}) {
        Bytes file = pcxFile(2, 1, 1, {1, 2}, version3 ? 3 : 5, version3);
        if (!version3) file.resize(file.size() + 769, 0);
        BitmapHolder bm;
        ASSERT_EQ(loadFrom(dir, file, &bm.bm), 1);
        for (int i = 0; i < 256; ++i) {
            int c = 3 * (i % 16);
            ASSERT_EQ(static_cast<uint32_t*>(bm.bm->map)[i],
                      uint32_t(c * 5) << 16 | uint32_t((c + 1) * 5) << 8 | uint32_t((c + 2) * 5));
        }
    }
}

TEST(Pcx, ReadIntoAnExistingBitmapFillsPixelsOnly) {
    TempDir dir;
    writeFile(dir.file("i.pcx"), pcxFile(2, 2, 1, {0xC4, 5}));
    BitmapHolder bm{randomBitmapWithMap(PIXEL_PAL8, 4, 4, 1)};
    Bytes palette(static_cast<uint8_t*>(bm.bm->map), static_cast<uint8_t*>(bm.bm->map) + 1024);
    OpenFile f(dir.file("i.pcx"), 'r');
    ASSERT_EQ(bitmapRead(bm.bm, f), 1);
    EXPECT_EQ(bm.bm->pixels[0], 5);
    EXPECT_EQ(bm.bm->pixels[bm.bm->rowBytes + 1], 5);
    EXPECT_EQ(Bytes(static_cast<uint8_t*>(bm.bm->map), static_cast<uint8_t*>(bm.bm->map) + 1024),
              palette);
}

TEST(Pcx, FourBitLoaderKeepsValuesAndReadsNoPalette) {
    TempDir dir;
    writeFile(dir.file("i.pcx"), pcxFile(3, 1, 1, {3, 0x1F, 0xC1, 0xEE, 0}));
    for (uint8_t key : {0, 1}) {
        OpenFile f(dir.file("i.pcx"), 'r');
        BitmapHolder bm;
        ASSERT_EQ(bitmapLoad4(&bm.bm, f, key), 1);
        EXPECT_EQ(+bm.bm->pixelType, key ? PIXEL_CMAP4_KEY : PIXEL_CMAP4);
        EXPECT_EQ(+bm.bm->map, nullptr);
        EXPECT_EQ(visiblePixels(bm.bm), (Bytes{3, 0x1F, 0xEE}));
    }
}

TEST(Pcx, FailureMessages) {
    TempDir dir;
    const struct {
        const char* what;
        Bytes file;
        std::vector<const char*> messages;
    } cases[] = {
        {"encoding 2",
         pcxFile(2, 2, 2, Bytes(8)),
         {"Bad encoding in pcxReadBitmap()\n", "pcxReadBitmap() failed in bitmapLoad()\n"}},
        {"4 bits",
         pcxFile(2, 2, 1, Bytes(8), 5, true, 4),
         {"Invalid pixel depth in bitmapLoad()\n"}},
        {"4 planes of 1 bit",
         pcxFile(2, 2, 1, Bytes(8), 5, true, 1, 4),
         {"Invalid pixel depth in bitmapLoad()\n"}},
        {"short header",
         Bytes{10, 5, 1},
         {"libfileReadExact() failed in pcxSetup()\n", "pcxSetup() failed in bitmapLoad()\n"}},
        {"data ends in a run",
         pcxFile(4, 1, 1, {1, 2, 0xC2}, 5, false),
         {"Unexpected end of file in pcxrunGetCh()\n", "pcxrunGetCh() failed in pcxrunReadByte()\n",
          "pcxrunGetRLE() failed in pcxReadBitmap()\n"}},
        {"no room for a palette",
         pcxFile(2, 1, 1, {1, 2}, 5, false),
         {"libfileReadExact() failed in pcxReadPalette()\n",
          "pcxReadPalette() failed in bitmapLoad()\n"}},
        {"negative width",
         pcxFile(-5, 1, 1, Bytes(8)),
         {"Invalid image size -5 x 1 in bitmapLoad()\n"}},
        {"huge image from a small file",
         pcxFile(16000, 16000, 1, Bytes(10)),
         {"PCX data too short for a 16000 x 16000 image in bitmapLoad()\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MessageCapture messages;
        bitmap_tag* bm = reinterpret_cast<bitmap_tag*>(1);
        int64_t blocks = memLiveBlocks();
        EXPECT_EQ(loadFrom(dir, c.file, &bm), 0);
        EXPECT_EQ(bm, nullptr);
        EXPECT_EQ(memLiveBlocks(), blocks);
        for (const char* m : c.messages)
            EXPECT_TRUE(messages.sawDebug(m)) << m << messages.dump();
    }
    MessageCapture messages;
    writeFile(dir.file("n.bm"), container("BMAP", {}));
    OpenFile f(dir.file("n.bm"), 'r');
    bitmap_tag* bm;
    EXPECT_EQ(bitmapLoad4(&bm, f, 0), 0);
    EXPECT_TRUE(messages.sawDebug("Invalid file type in bitmapLoad4()\n"));
    // Decoding stops at the end of the file, in the pixels or the padding.
    BitmapHolder target{randomBitmap(PIXEL_PAL8, 4, 1, 1)};
    for (const Bytes& file :
         {pcxFile(4, 1, 0, {1, 2, 3}, 5, false), pcxFile(3, 1, 0, {1, 2, 3}, 5, false)}) {
        messages.clear();
        writeFile(dir.file("t.pcx"), file);
        OpenFile t(dir.file("t.pcx"), 'r');
        EXPECT_EQ(bitmapRead(target.bm, t), 0);
        EXPECT_TRUE(messages.sawDebug("pcxrunGetCh() failed in pcxReadBitmap()\n"))
            << messages.dump();
    }
    // The reader never writes past the bitmap it is handed.
    writeFile(dir.file("big.pcx"), pcxFile(8, 8, 1, {0xFF, 1, 0xC1, 1}));
    BitmapHolder small{randomBitmap(PIXEL_PAL8, 4, 8, 1)};
    OpenFile big(dir.file("big.pcx"), 'r');
    EXPECT_EQ(bitmapRead(small.bm, big), 0);
    EXPECT_TRUE(messages.sawDebug("PCX image larger than the bitmap in pcxReadBitmap()\n"));
    EXPECT_TRUE(messages.sawDebug("pcxReadBitmap() failed in bitmapRead()\n"));
}

TEST(Pcx, WriterFailures) {
    TempDir dir;
    writeFile(dir.file("ro"), {});
    OpenFile f(dir.file("ro"), 'r');
    BitmapHolder bm{randomBitmap(PIXEL_PAL8, 3, 3, 1)};
    uint32_t* pal = randomPalette(1);
    MessageCapture messages;
    EXPECT_EQ(bitmapWritePcx(f, bm.bm, pal), 0);
    EXPECT_TRUE(messages.sawDebug("Unable to write pcx header\n"));
    EXPECT_TRUE(messages.sawDebug("pcxWriteBitmap() failed in bitmapWritePcx()\n"));
    paletteFree(pal);
}

TEST(Pcx, CleanOnEveryAllocationFailure) {
    TempDir dir;
    MessageCapture quiet;
    writeFile(dir.file("i.pcx"), pcxFile(5, 3, 1, Bytes(18, 4)));
    int allocations = expectCleanOnEveryAllocationFailure([&] {
        OpenFile f(dir.file("i.pcx"), 'r');
        bitmap_tag* bm;
        if (bitmapLoadFile(&bm, f, 0))
            bitmapFree(bm);
        else
            EXPECT_EQ(bm, nullptr);
    });
    EXPECT_EQ(allocations, 3); // record, pixels, palette
    expectCleanOnEveryAllocationFailure([&] {
        OpenFile f(dir.file("i.pcx"), 'r');
        bitmap_tag* bm;
        if (bitmapLoad4(&bm, f, 0)) bitmapFree(bm);
    });
}
