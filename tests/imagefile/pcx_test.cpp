// PCX writing (byte-exact run coding against a reference coder), reading,
// and the loaders that take PCX files.
#include "filetest.h"
#include "imagefile/imagefile.h"

using namespace swtest;

namespace {

// The run coding of one row as the rules state it: runs of at most 63,
// single values escaped by 0xC1 from 0xC0 up, padding 0 after odd rows,
// runs ending at the row's end.
Bytes referenceRow(const uint8_t* row, int width) {
    std::vector<uint8_t> values(row, row + width);
    if (width & 1) values.push_back(0);
    Bytes out;
    for (size_t i = 0, n; i < values.size(); i += n) {
        for (n = 1; i + n < values.size() && values[i + n] == values[i] && n < 63;)
            ++n;
        if (n > 1 || values[i] >= 0xC0) out.push_back(uint8_t(0xC0 | n));
        out.push_back(values[i]);
    }
    return out;
}

// The file the writer must produce: header, coded rows, palette.
Bytes referenceFile(const bitmap_tag* bm, const uint32_t* pal) {
    const int w = bm->width, h = bm->height;
    Bytes b = {10, 5, 1, 8, 0, 0, 0, 0};
    for (int v : {w - 1, h - 1, w, h})
        putLe16(b, uint32_t(v));
    b.resize(65, 0);
    b.push_back(1);
    for (int v : {w + (w & 1), 1})
        putLe16(b, uint32_t(v));
    b.resize(128, 0);
    for (int y = 0; y < h; ++y)
        append(b, referenceRow(bm->pixels + y * bm->rowBytes, w));
    b.push_back(12);
    for (int i = 0; i < 256; ++i)
        append(b, {uint8_t(pal[i] >> 16), uint8_t(pal[i] >> 8), uint8_t(pal[i])});
    return b;
}

} // namespace

// Random pictures, most of them long runs of few values, are coded as the
// reference codes them and read back; a 16-bit copy of each (pixels from
// the screen table of a current palette whose 16-bit colours differ) is
// written as the same indexes.
TEST(Pcx, RandomImagesMatchTheReferenceCodingAndReadBack) {
    SelectionGuard selection;
    uint32_t* pal = randomPalette(2);
    for (int i = 0; i < 256; ++i)
        pal[i] = (pal[i] & 0xFF0703FF) | uint32_t(i & 31) << 19 | uint32_t(i >> 5) << 10;
    paletteSetCurrent(pal, 0, 256);
    Rng rng(3);
    for (int trial = 0; trial < 20; ++trial) {
        int w = rng.range(1, 150), h = rng.range(1, 9), run = rng.range(1, 80);
        if (trial == 1) w = run = 150; // a run longer than two count bytes hold
        Owned bm{randomBitmap(PIXEL_PAL8, w, h, uint32_t(trial))},
            wide{filledBitmap(PIXEL_RGB565, w, h, 0)};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t& v = bm->pixels[y * bm->rowBytes + x];
                if (trial % 4) v = uint8_t(0xBE + (x / run) % 4); // runs that split and escape
                storeLe16(wide->pixels + y * wide->rowBytes + 2 * x, screenPalette565[v]);
            }
        Bytes file = written([&](file_tag* f) { return bitmapWritePcx(f, bm, pal); });
        ASSERT_EQ(file, referenceFile(bm, pal)) << w << " x " << h;
        EXPECT_EQ(written([&](file_tag* f) { return bitmapWritePcx(f, wide, pal); }), file);
        Owned back{loadBytes(file, "f", 1)};
        EXPECT_EQ(+back->pixelType, PIXEL_PAL8_KEY);
        EXPECT_EQ(visiblePixels(back), visiblePixels(bm));
        for (int i = 0; i < 256; ++i) // palettes from PCX have alpha 0
            ASSERT_EQ(static_cast<uint32_t*>(back->map)[i], pal[i] & 0xFFFFFF);
    }
    paletteFree(pal);
}

// Runs continue from one row into the next and 0xC0 yields its value
// once; the header's bytes per line are taken when they hold the row
// (other writers store odd lengths, or longer ones); raw encoding takes
// every byte as it is. Version 3, or no marker: the header's 16 colours,
// 16 times over.
TEST(Pcx, DecoderRunsRawDataAndOldPalettes) {
    Bytes odd = pcxBytes(3, 2, 1, {1, 2, 3, 4, 5, 6}), longer = pcxBytes(3, 2, 1, Bytes(10, 9));
    odd[66] = 3, longer[66] = 5;
    for (int i = 0; i < 3; ++i)
        longer[128 + i] = uint8_t(1 + i), longer[133 + i] = uint8_t(4 + i);
    for (const auto& [file, pixels] :
         {std::pair{pcxBytes(3, 2, 1, {0xC5, 7, 0xC0, 8, 0xC1, 0xD0}), Bytes{7, 7, 7, 7, 8, 0xD0}},
          {odd, {1, 2, 3, 4, 5, 6}},
          {longer, {1, 2, 3, 4, 5, 6}},
          {pcxBytes(2, 2, 0, {0xC5, 1, 0xFF, 3}), {0xC5, 1, 0xFF, 3}}}) {
        Owned bm{loadBytes(file)};
        EXPECT_EQ(visiblePixels(bm), pixels);
    }
    for (bool version3 : {true, false}) {
        Bytes file = pcxBytes(2, 1, 1, {1, 2}, version3);
        file[1] = version3 ? 3 : 5;
        if (!version3) file.resize(file.size() + 769, 0);
        Owned bm{loadBytes(file)};
        for (int i = 0; i < 256; ++i) {
            int c = 3 * (i % 16);
            ASSERT_EQ(static_cast<uint32_t*>(bm->map)[i],
                      uint32_t(c * 5) << 16 | uint32_t((c + 1) * 5) << 8 | uint32_t((c + 2) * 5));
        }
    }
}

TEST(Pcx, ReadIntoABitmapAndFourBitLoadsKeepValuesWithoutPalette) {
    const Bytes file = pcxBytes(3, 2, 1, {3, 0x1F, 0xC1, 0xEE, 0, 0xC4, 5});
    Owned bm{randomBitmapWithMap(PIXEL_PAL8, 4, 4, 1)};
    const Bytes palette(static_cast<uint8_t*>(bm->map), static_cast<uint8_t*>(bm->map) + 1024);
    ASSERT_EQ(bitmapRead(bm, BytesFile(file)), 1);
    EXPECT_EQ(Bytes(bm->pixels, bm->pixels + 7), (Bytes{3, 0x1F, 0xEE, bm->pixels[3], 5, 5, 5}));
    EXPECT_EQ(0, std::memcmp(bm->map, palette.data(), 1024)) << "the palette is not read";
    for (uint8_t key : {0, 1}) {
        bitmap_tag* loaded;
        ASSERT_EQ(bitmapLoad4(&loaded, BytesFile(file), key), 1);
        Owned four{loaded};
        EXPECT_EQ(+four->pixelType, key ? PIXEL_CMAP4_KEY : PIXEL_CMAP4);
        EXPECT_EQ(+four->map, nullptr);
        EXPECT_EQ(visiblePixels(four), (Bytes{3, 0x1F, 0xEE, 5, 5, 5}));
    }
}
