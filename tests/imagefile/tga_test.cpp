// TGA writing (header, pixel conversion, packet rules) and reading.
#include "filetest.h"
#include "imagefile/imagefile.h"
#include "imagefile/tga.h"

using namespace swtest;

namespace {

Bytes writeTga(const TempDir& dir, bitmap_tag* bm, const uint32_t* palette, bool compress, int bits,
               bool withColorMap = false) {
    {
        OpenFile f(dir.file("o.tga"), 'w');
        EXPECT_TRUE(tgaWriteBitmap(bm, palette, f, compress, withColorMap, bits));
    }
    return readFile(dir.file("o.tga"));
}

// The documented packing of a colour for each bits-per-pixel value.
Bytes packed(uint8_t r, uint8_t g, uint8_t b, uint8_t a, int bits) {
    if (bits == 24) return {b, g, r};
    if (bits == 32) return {b, g, r, a};
    uint32_t v = (a ? 0x8000u : 0u) | uint32_t(r >> 3) << 10 | uint32_t(g >> 3) << 5 | (b >> 3);
    return {uint8_t(v), uint8_t(v >> 8)};
}

Bytes header(int w, int h, bool compress, int bits) {
    Bytes b{0, 0, uint8_t(compress ? 10 : 2), 0, 0, 0, 0, 0, 0, 0, 0, 0};
    putLe16(b, uint32_t(w));
    putLe16(b, uint32_t(h));
    b.push_back(uint8_t(bits));
    b.push_back(bits == 15 ? 0x21 : bits == 32 ? 0x28 : 0x20);
    return b;
}

// A PAL8 bitmap of the given indexes in one row, with palette entry i
// having a distinct 5-bit red so packets compare as the indexes do.
struct IndexRow {
    BitmapHolder bm;
    uint32_t* palette;
    explicit IndexRow(const std::vector<int>& indexes) {
        bitmapAlloc(&bm.bm, PIXEL_PAL8, int32_t(indexes.size()), 1, 0);
        for (size_t i = 0; i < indexes.size(); ++i)
            bm.bm->pixels[i] = uint8_t(indexes[i]);
        paletteAlloc(&palette);
        for (int i = 0; i < 256; ++i)
            palette[i] = 0xFF000000u | uint32_t(i * 8 & 0xF8) << 16;
    }
    ~IndexRow() { paletteFree(palette); }
    Bytes pixel(int index, int bits) const {
        return packed(uint8_t(index * 8 & 0xF8), 0, 0, 255, bits);
    }
};

uint8_t loadAs(const TempDir& dir, const Bytes& bytes, bitmap_tag** out, const char* name) {
    writeFile(dir.file(name), bytes);
    OpenFile f(dir.file(name), 'r');
    return bitmapLoadFile(out, f, 0);
}

} // namespace

TEST(Tga, FileNamesDecideTheFormat) {
    TempDir dir;
    const struct {
        const char* name;
        bool tga;
    } cases[] = {{"PIC.TGA", true}, {"pic.tgax", true}, {"p.TgA", true},
                 {"pic.tg", false}, {"pic", false},     {"pic.pcx", false}};
    for (const auto& c : cases) {
        writeFile(dir.file(c.name), {0});
        OpenFile f(dir.file(c.name), 'r');
        // The directory's name has no dot; the file's first dot decides.
        EXPECT_EQ(tgaFileIsTga(f), c.tga) << c.name;
    }
    std::filesystem::create_directory(dir.file("my.dir"));
    writeFile(dir.file("my.dir/pic.tga"), {0});
    ChangeDir inDir(dir.path());
    OpenFile f("my.dir/pic.tga", 'r');
    EXPECT_FALSE(tgaFileIsTga(f));
}

TEST(Tga, PacketRules) {
    TempDir dir;
    {
        IndexRow row(std::vector<int>(200, 5));
        Bytes file = writeTga(dir, row.bm.bm, row.palette, true, 16);
        Bytes expected = header(200, 1, true, 16);
        for (auto [h, n] : {std::pair{0xFF, 128}, {0xC6, 71}, {0x00, 1}}) {
            (void)n;
            expected.push_back(uint8_t(h));
            append(expected, row.pixel(5, 16));
        }
        EXPECT_EQ(file, expected);
    }
    {
        IndexRow row({1, 2, 3, 3, 3, 4});
        Bytes file = writeTga(dir, row.bm.bm, row.palette, true, 24);
        Bytes expected = header(6, 1, true, 24);
        expected.push_back(0x02);
        for (int i : {1, 2, 3})
            append(expected, row.pixel(i, 24));
        expected.push_back(0x81);
        append(expected, row.pixel(3, 24));
        expected.push_back(0x00);
        append(expected, row.pixel(4, 24));
        EXPECT_EQ(file, expected);
    }
    {
        // Raw packets hold at most 128 pixels; two equal last pixels give a
        // run of one and a raw packet of one.
        std::vector<int> indexes;
        for (int i = 0; i < 130; ++i)
            indexes.push_back(i % 2 ? 1 : 2);
        indexes.push_back(9);
        indexes.push_back(9);
        IndexRow row(indexes);
        Bytes file = writeTga(dir, row.bm.bm, row.palette, true, 32);
        Bytes expected = header(132, 1, true, 32);
        expected.push_back(0x7F);
        for (int i = 0; i < 128; ++i)
            append(expected, row.pixel(indexes[i], 32));
        expected.push_back(0x02);
        for (int i = 128; i < 131; ++i)
            append(expected, row.pixel(indexes[i], 32));
        expected.push_back(0x00);
        append(expected, row.pixel(9, 32));
        EXPECT_EQ(file, expected);
    }
}

TEST(Tga, PixelConversionOfEverySourceType) {
    TempDir dir;
    uint32_t* pal = randomPalette(4);
    const uint8_t types[] = {PIXEL_PAL8, PIXEL_RGB565, PIXEL_ARGB1555, PIXEL_ARGB4444,
                             PIXEL_ARGB8888};
    for (uint8_t type : types)
        for (int bits : {15, 16, 24, 32})
            for (bool compress : {false, true}) {
                SCOPED_TRACE(testing::Message() << int(type) << " " << bits << " " << compress);
                BitmapHolder bm{randomBitmap(type, 7, 3, type * 100u + uint32_t(bits))};
                Bytes file = writeTga(dir, bm.bm, pal, compress, bits);
                Bytes expected = header(7, 3, compress, bits);
                ASSERT_EQ(Bytes(file.begin(), file.begin() + 18), expected);
                // Expected pixels from the conversion table.
                std::vector<Bytes> pixels;
                for (int y = 0; y < 3; ++y)
                    for (int x = 0; x < 7; ++x) {
                        const uint8_t* p = bm.bm->pixels + y * bm.bm->rowBytes;
                        uint32_t v = type == PIXEL_PAL8 ? p[x]
                                     : type == PIXEL_ARGB8888
                                         ? getLe32(Bytes(p + 4 * x, p + 4 * x + 4), 0)
                                         : uint32_t(p[2 * x] | p[2 * x + 1] << 8);
                        uint8_t r, g, b, a;
                        switch (type) {
                        case PIXEL_PAL8:
                            r = uint8_t(pal[v] >> 16), g = uint8_t(pal[v] >> 8),
                            b = uint8_t(pal[v]), a = uint8_t(pal[v] >> 24);
                            break;
                        case PIXEL_RGB565:
                            r = uint8_t((v >> 8) & 0xF8), g = uint8_t((v >> 3) & 0xFC),
                            b = uint8_t((v << 3) & 0xF8), a = 255;
                            break;
                        case PIXEL_ARGB1555:
                            r = uint8_t((v >> 7) & 0xF8), g = uint8_t((v >> 2) & 0xF8),
                            b = uint8_t((v << 3) & 0xF8), a = v & 0x8000 ? 255 : 0;
                            break;
                        case PIXEL_ARGB4444:
                            r = uint8_t((v >> 4) & 0xF0), g = uint8_t(v & 0xF0),
                            b = uint8_t((v << 4) & 0xF0), a = uint8_t((v >> 8) & 0xF0);
                            break;
                        default:
                            r = uint8_t(v >> 16), g = uint8_t(v >> 8), b = uint8_t(v),
                            a = uint8_t(v >> 24);
                        }
                        pixels.push_back(packed(r, g, b, a, bits));
                    }
                Bytes body(file.begin() + 18, file.end());
                if (!compress) {
                    Bytes all;
                    for (const Bytes& p : pixels)
                        append(all, p);
                    EXPECT_EQ(body, all);
                } else {
                    // Decode the packets and compare pixel by pixel.
                    size_t pos = 0, k = 0, size = pixels[0].size();
                    while (pos < body.size()) {
                        uint8_t h = body[pos++];
                        int n = (h & 0x7F) + 1;
                        for (int i = 0; i < n; ++i, ++k) {
                            ASSERT_LT(k, pixels.size());
                            size_t at = h & 0x80 ? pos : pos + i * size;
                            EXPECT_EQ(Bytes(body.begin() + at, body.begin() + at + size),
                                      pixels[k]);
                        }
                        pos += h & 0x80 ? size : n * size;
                    }
                    EXPECT_EQ(k, pixels.size());
                }
            }
    paletteFree(pal);
}

TEST(Tga, ReadsBothRowOrdersAndBothImageTypes) {
    TempDir dir;
    // 3 x 2 image; values 1..6 in file order.
    Bytes raw = header(3, 2, false, 16);
    raw[17] = 0; // bottom-up
    for (uint32_t v = 1; v <= 6; ++v)
        putLe16(raw, v | 0x8000);
    BitmapHolder bm;
    ASSERT_EQ(loadAs(dir, raw, &bm.bm, "a.tga"), 1);
    EXPECT_EQ(+bm.bm->pixelType, PIXEL_ARGB1555);
    auto px = [&](int x, int y) {
        return getLe16(Bytes(bm.bm->pixels + y * bm.bm->rowBytes + 2 * x,
                             bm.bm->pixels + y * bm.bm->rowBytes + 2 * x + 2),
                       0);
    };
    EXPECT_EQ(px(0, 1), 0x8001u); // first file row at the bottom
    EXPECT_EQ(px(2, 0), 0x8006u);

    // Run-length, top first, 15 bits, with an id field and a colour map to skip;
    // a run 0x83 gives 4 pixels, a raw 0x00 gives 1, a run across rows is cut.
    Bytes rle = header(5, 2, true, 15);
    rle[0] = 2, rle[1] = 1, rle[5] = 2, rle[7] = 16;
    append(rle, {0xAA, 0xBB, 1, 2, 3, 4});
    append(rle, {0x83, 0x34, 0x12, 0x00, 0x78, 0x56, 0x85, 0x01, 0x00, 0x7F});
    BitmapHolder r;
    ASSERT_EQ(loadAs(dir, rle, &r.bm, "b.tga"), 1);
    Bytes expected;
    for (int i = 0; i < 4; ++i)
        append(expected, {0x34, 0x12});
    append(expected, {0x78, 0x56});
    for (int i = 0; i < 5; ++i)
        append(expected, {0x01, 0x00});
    EXPECT_EQ(visiblePixels(r.bm), expected);
}

TEST(Tga, WrittenSixteenBitImagesReadBack) {
    TempDir dir;
    for (bool compress : {false, true})
        for (int bits : {15, 16})
            for (bool runs : {false, true}) {
                BitmapHolder src{randomBitmap(PIXEL_ARGB1555, 300, 70, 5)};
                // Horizontal runs so both packet kinds and buffer flushes occur;
                // without them the packets are longer than the raw pixels.
                for (int y = 0; y < 70; ++y)
                    for (int x = 0; x < 300; ++x)
                        if (runs && (x / 40 + y) % 3 == 0)
                            reinterpret_cast<uint16_t*>(src.bm->pixels + y * src.bm->rowBytes)[x] =
                                uint16_t(0x8000 | y);
                // 15 and 16 bits keep bit 15 as the alpha bit of the source.
                writeTga(dir, src.bm, nullptr, compress, bits);
                BitmapHolder back;
                OpenFile f(dir.file("o.tga"), 'r');
                ASSERT_EQ(bitmapLoadFile(&back.bm, f, 0), 1);
                EXPECT_EQ(visiblePixels(back.bm), visiblePixels(src.bm)) << compress << bits;
            }
}

TEST(Tga, Messages) {
    TempDir dir;
    MessageCapture messages;
    bitmap_tag* bm = reinterpret_cast<bitmap_tag*>(1);
    Bytes deep = header(2, 2, false, 24);
    EXPECT_EQ(loadAs(dir, deep, &bm, "d.tga"), 0);
    EXPECT_EQ(bm, nullptr);
    EXPECT_TRUE(messages.sawDebug("tgaSetup() failed in bitmapLoad()\n"));

    Bytes shortRaw = header(4, 4, false, 16);
    shortRaw.resize(18 + 30);
    EXPECT_EQ(loadAs(dir, shortRaw, &bm, "s.tga"), 0);
    EXPECT_TRUE(messages.sawDebug("TGA data too short for a 4 x 4 image in bitmapLoad()\n"));

    Bytes shortRuns = header(100, 1, true, 16);
    append(shortRuns, {0x7F, 1, 0});
    EXPECT_EQ(loadAs(dir, shortRuns, &bm, "r.tga"), 0);
    EXPECT_TRUE(messages.sawError("TGA run-length data ends early in tgaReadBitmap."));
    EXPECT_TRUE(messages.sawDebug("tgaReadBitmap() failed in bitmapLoad()\n"));

    Bytes zero = header(0, 3, false, 16);
    EXPECT_EQ(loadAs(dir, zero, &bm, "z.tga"), 0);
    EXPECT_TRUE(messages.sawDebug("Invalid image size 0 x 3 in bitmapLoad()\n"));

    // Straight through the reader: an unknown type, a bitmap too small.
    TgaReader reader{nullptr, {}};
    writeFile(dir.file("u.tga"), Bytes(64, 0));
    OpenFile f(dir.file("u.tga"), 'r');
    reader.file = f;
    reader.header[2] = 3;
    BitmapHolder target{randomBitmap(PIXEL_ARGB1555, 2, 2, 1)};
    EXPECT_FALSE(tgaReadBitmap(target.bm, &reader));
    EXPECT_TRUE(messages.sawError("Unknown TGA image type."));
    reader.header[12] = 3;
    EXPECT_FALSE(tgaReadBitmap(target.bm, &reader));
    EXPECT_TRUE(messages.sawError("Bitmap too small for the TGA image in tgaReadBitmap."));

    // Writer: no map with a colour map asked for, a type without conversion,
    // and the silent argument checks.
    messages.clear();
    BitmapHolder six{randomBitmap(PIXEL_RGB444, 2, 2, 1)};
    writeTga(dir, six.bm, nullptr, false, 16, true);
    EXPECT_TRUE(
        messages.sawError("Warning: no color map found in source TXR, skipping color map data.\n"));
    EXPECT_TRUE(messages.sawError("Unknown PIXELTYPE."));
    EXPECT_EQ(messages.errors().size(), 2u);
    OpenFile w(dir.file("x.tga"), 'w');
    EXPECT_FALSE(tgaWriteBitmap(six.bm, nullptr, w, false, false, 8));
    EXPECT_FALSE(tgaWriteBitmap(nullptr, nullptr, w, false, false, 16));
    EXPECT_FALSE(tgaWriteBitmap(six.bm, nullptr, nullptr, false, false, 16));
    EXPECT_EQ(libfileSize(w), 0u);
}

TEST(Tga, CleanOnEveryAllocationFailure) {
    TempDir dir;
    MessageCapture quiet;
    BitmapHolder src{randomBitmap(PIXEL_ARGB1555, 9, 4, 2)};
    for (bool compress : {false, true}) {
        writeTga(dir, src.bm, nullptr, compress, 16);
        int allocations = expectCleanOnEveryAllocationFailure([&] {
            OpenFile f(dir.file("o.tga"), 'r');
            bitmap_tag* bm;
            if (bitmapLoadFile(&bm, f, 0))
                bitmapFree(bm);
            else
                EXPECT_EQ(bm, nullptr);
        });
        EXPECT_EQ(allocations, 3); // record, pixels, temporary data
    }
}
