// TGA writing (header, pixel conversion, packet rules) and reading.
#include "filetest.h"
#include "imagefile/imagefile.h"
#include "imagefile/tga.h"

using namespace swtest;

namespace {

Bytes writeTga(bitmap_tag* bm, const uint32_t* palette, bool compress, int bits,
               bool withMap = false) {
    return written(
        [&](file_tag* f) { return tgaWriteBitmap(bm, palette, f, compress, withMap, bits); });
}

// The documented packing of a colour for each bits-per-pixel value.
Bytes packed(uint32_t argb, int bits) {
    uint8_t a = uint8_t(argb >> 24), r = uint8_t(argb >> 16), g = uint8_t(argb >> 8),
            b = uint8_t(argb);
    if (bits == 24) return {b, g, r};
    if (bits == 32) return {b, g, r, a};
    Bytes out;
    putLe16(out, (a ? 0x8000u : 0u) | uint32_t(r >> 3) << 10 | uint32_t(g >> 3) << 5 | (b >> 3));
    return out;
}

// The header the writer puts before the pixels.
Bytes header(int w, int h, bool compress, int bits) {
    Bytes b = tgaBytes(w, h, compress ? 10 : 2, uint8_t(bits));
    b[17] = bits == 15 ? 0x21 : bits == 32 ? 0x28 : 0x20;
    return b;
}

// The colour the conversion table gives a stored value of each type.
uint32_t convertedColour(uint8_t type, uint32_t v, const uint32_t* pal) {
    auto argb = [](uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
        return a << 24 | r << 16 | g << 8 | b;
    };
    switch (type) {
    case PIXEL_PAL8: return pal[v];
    case PIXEL_RGB565: return argb(255, (v >> 8) & 0xF8, (v >> 3) & 0xFC, (v << 3) & 0xF8);
    case PIXEL_ARGB1555:
        return argb(v & 0x8000 ? 255 : 0, (v >> 7) & 0xF8, (v >> 2) & 0xF8, (v << 3) & 0xF8);
    case PIXEL_ARGB4444: return argb((v >> 8) & 0xF0, (v >> 4) & 0xF0, v & 0xF0, (v << 4) & 0xF0);
    case PIXEL_RGB888: return 0xFF000000 | v; // the word's top byte is unused
    case PIXEL_ARGB8888: return v;
    default: return 0xFF000000; // black after "Unknown PIXELTYPE."
    }
}

} // namespace

// The file's first dot decides, whatever the directory's name holds.
TEST(Tga, FileNamesDecideTheFormat) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("my.dir"));
    ChangeDir inDir(dir.path());
    const char* const tga[] = {"PIC.TGA", "pic.tgax", "p.TgA"};
    for (const char* name : {"PIC.TGA", "pic.tgax", "p.TgA", "pic.tg", "pic", "my.dir/pic.tga"}) {
        writeFile(name, {0});
        OpenFile f(name, 'r');
        EXPECT_EQ(tgaFileIsTga(f), std::count(tga, tga + 3, std::string(name)) == 1) << name;
    }
}

// Packets of 32-bit pixels from one ARGB8888 row of `values`: each
// packet's header byte and the values it carries.
TEST(Tga, PacketRules) {
    using Packets = std::vector<std::pair<uint8_t, std::vector<uint32_t>>>;
    auto check = [](const std::vector<uint32_t>& values, const Packets& packets) {
        Owned bm{filledBitmap(PIXEL_ARGB8888, int32_t(values.size()), 1, 0)};
        std::memcpy(bm->pixels, values.data(), 4 * values.size());
        Bytes expected = header(int(values.size()), 1, true, 32);
        for (const auto& [h, carried] : packets) {
            expected.push_back(h);
            for (uint32_t v : carried)
                putLe32(expected, v);
        }
        EXPECT_EQ(writeTga(bm, nullptr, true, 32), expected);
    };
    // 200 equal pixels: runs of 128 and 71, then the last pixel raw.
    check(std::vector<uint32_t>(200, 5), {{0xFF, {5}}, {0xC6, {5}}, {0x00, {5}}});
    check({1, 2, 3, 3, 3, 4}, {{0x02, {1, 2, 3}}, {0x81, {3}}, {0x00, {4}}});
    // Raw packets hold at most 128 pixels; two equal last pixels give a run
    // of one and a raw packet of one.
    std::vector<uint32_t> alternating;
    for (int i = 0; i < 132; ++i)
        alternating.push_back(i >= 130 ? 9 : i % 2 ? 1 : 2);
    check(alternating,
          {{0x7F, std::vector<uint32_t>(alternating.begin(), alternating.begin() + 128)},
           {0x02, {2, 1, 9}},
           {0x00, {9}}});
}

TEST(Tga, PixelConversionOfEverySourceType) {
    uint32_t* pal = randomPalette(4);
    MessageCapture messages;
    for (uint8_t type : {PIXEL_PAL8, PIXEL_RGB565, PIXEL_ARGB1555, PIXEL_ARGB4444, PIXEL_RGB888,
                         PIXEL_ARGB8888, PIXEL_RGB444})
        for (int bits : {15, 16, 24, 32}) {
            SCOPED_TRACE(testing::Message() << int(type) << " " << bits);
            Owned bm{randomBitmap(type, 7, 3, type * 100u + uint32_t(bits))};
            Bytes expected = header(7, 3, false, bits);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 7; ++x)
                    append(expected, packed(convertedColour(type, pixelAt(bm, x, y), pal), bits));
            EXPECT_EQ(writeTga(bm, pal, false, bits), expected);
        }
    EXPECT_TRUE(messages.sawError("Unknown PIXELTYPE."));
    // A missing colour map only warns; bad arguments fail, writing nothing.
    Owned bm{randomBitmap(PIXEL_RGB565, 2, 2, 1)};
    EXPECT_EQ(writeTga(bm, nullptr, false, 16, true).size(), 18u + 8);
    EXPECT_TRUE(
        messages.sawError("Warning: no color map found in source TXR, skipping color map data.\n"));
    EXPECT_TRUE(written([&](file_tag* f) {
                    return !tgaWriteBitmap(bm, nullptr, f, false, false, 8) &&
                           !tgaWriteBitmap(nullptr, nullptr, f, false, false, 16) &&
                           !tgaWriteBitmap(bm, nullptr, nullptr, false, false, 16);
                }).empty());
    paletteFree(pal);
}

// Hand-made files: a run 0x83 gives 4 pixels, a raw 0x00 gives 1, and a
// run of 6 with 4 pixels left stops at the image's end (past it, it would
// wrap onto the last row's first pixel); an unused map of 16 15-bit
// entries takes 32 bytes (read 2 bytes early, every pixel would shift).
TEST(Tga, HandMadeFilesRead) {
    Bytes rle = header(5, 2, true, 15), mapped = tgaBytes(2, 1, 2, 16, Bytes(32, 0x11), 1, 15, 16);
    append(rle,
           {0x83, 0x34, 0x12, 0x00, 0x78, 0x56, 0x00, 0x09, 0x00, 0x85, 0x01, 0x00, 0x00, 0x7F});
    append(mapped, {0x01, 0x80, 0x02, 0x80});
    Owned r{loadBytes(rle, "t.tga")}, m{loadBytes(mapped, "t.tga")};
    EXPECT_EQ(visiblePixels(r), (Bytes{0x34, 0x12, 0x34, 0x12, 0x34, 0x12, 0x34, 0x12, 0x78, 0x56,
                                       9,    0,    1,    0,    1,    0,    1,    0,    1,    0}));
    EXPECT_EQ(visiblePixels(m), (Bytes{0x01, 0x80, 0x02, 0x80}));
}

// Run-length 15-bit packets of 257 bytes that once ran past the end of
// the writer's buffer: the one equal pair (8035, 8036) moves every later
// packet by its offset.
TEST(Tga, LongPacketsReadBack) {
    Owned bm{filledBitmap(PIXEL_ARGB1555, 8170, 1, 0)};
    for (int i = 0; i < 8170; ++i)
        storeLe16(bm->pixels + 2 * i, (i - (i > 8035)) % 2 ? 0xFC00 : 0x801F);
    Owned back{loadBytes(writeTga(bm, nullptr, true, 15), "t.tga")};
    EXPECT_EQ(visiblePixels(back), visiblePixels(bm));
}
