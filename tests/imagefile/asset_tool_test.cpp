// spanwright-asset, run as a program on files the tests make.
#include "filetest.h"
#include "imagefile/imagefile.h"

using namespace swtest;

namespace {

#ifdef SW_ASSET_TOOL
const std::string tool = SW_ASSET_TOOL;
#else
const std::string tool;
#endif

#define REQUIRE_TOOL()                                                                             \
    if (tool.empty()) GTEST_SKIP() << "spanwright-asset is not built (no libpng or tools off)"

int asset(const std::string& arguments, std::string* output = nullptr) {
    return runCommand("'" + tool + "' " + arguments, output);
}

// A PCX of a random 8-bit picture with a random palette.
void writeRandomPcx(const std::string& path, int w, int h, uint32_t seed, bitmap_tag** keep) {
    bitmap_tag* bm = randomBitmapWithMap(PIXEL_PAL8, w, h, seed);
    OpenFile f(path, 'w');
    ASSERT_EQ(bitmapWritePcx(f, bm, static_cast<uint32_t*>(bm->map)), 1);
    *keep = bm;
}

// Uncached: the cache would take all files of the temporary directory,
// whose paths agree over their first 16 characters, for one.
bitmap_tag* loadPicture(const std::string& path) {
    OpenFile f(path, 'r');
    bitmap_tag* bm = nullptr;
    EXPECT_EQ(bitmapLoadFile(&bm, f, 0), 1) << path;
    return bm;
}

} // namespace

TEST(AssetTool, UsageAndExitStatus) {
    REQUIRE_TOOL();
    std::string out;
    EXPECT_EQ(asset("", &out), 2);
    EXPECT_NE(out.find("usage:"), std::string::npos);
    EXPECT_EQ(asset("--help", &out), 0);
    EXPECT_NE(out.find("spanwright-asset convert IN OUT"), std::string::npos);
    EXPECT_EQ(asset("frobnicate a b", &out), 2);
    EXPECT_NE(out.find("unknown command frobnicate"), std::string::npos);
    EXPECT_EQ(asset("mip a b", &out), 2);
    EXPECT_NE(out.find("mip needs --levels N"), std::string::npos);
    EXPECT_EQ(asset("mip a b --levels 0", &out), 2);
    EXPECT_EQ(asset("mip a b --levels 3 --subset 1-300", &out), 2);
    EXPECT_EQ(asset("convert a", &out), 2);
    EXPECT_EQ(asset("info /nonexistent/file.pcx", &out), 1);
    EXPECT_NE(out.find("cannot open /nonexistent/file.pcx"), std::string::npos);
}

TEST(AssetTool, InfoOfEveryKindOfFile) {
    REQUIRE_TOOL();
    TempDir dir;
    BitmapHolder pcx;
    writeRandomPcx(dir.file("p.pcx"), 21, 9, 1, &pcx.bm);
    BitmapHolder four{randomBitmapWithMap(PIXEL_CMAP4, 6, 4, 2)};
    {
        OpenFile f(dir.file("four.bm"), 'w');
        ASSERT_EQ(bitmapWrite(f, four.bm), 1);
    }
    std::string out;
    ASSERT_EQ(asset("info " + dir.file("p.pcx"), &out), 0);
    EXPECT_EQ(
        out, "format: PCX\nsize: 21 x 9\npixel type: PIXEL_PAL8 (2)\npalette: yes\ncolormap: no\n");
    ASSERT_EQ(asset("info " + dir.file("four.bm"), &out), 0);
    EXPECT_EQ(out, "format: native bitmap (BMAP)\nsize: 6 x 4\npixel type: PIXEL_CMAP4 (0)\n"
                   "palette: no\ncolormap: yes\n");
    writeFile(dir.file("junk"), {1, 2, 3, 4, 5});
    EXPECT_EQ(asset("info " + dir.file("junk"), &out), 1);
    EXPECT_NE(out.find("not a file this tool reads"), std::string::npos);
}

TEST(AssetTool, ConvertRoundTripsThroughEveryFormat) {
    REQUIRE_TOOL();
    TempDir dir;
    BitmapHolder src;
    writeRandomPcx(dir.file("p.pcx"), 33, 17, 3, &src.bm);
    // PCX -> PNG -> native -> TGA? (8-bit TGA is written as colour) -> PCX.
    ASSERT_EQ(asset("convert " + dir.file("p.pcx") + " " + dir.file("p.png")), 0);
    ASSERT_EQ(asset("convert " + dir.file("p.png") + " " + dir.file("p.bm")), 0);
    ASSERT_EQ(asset("convert " + dir.file("p.bm") + " " + dir.file("q.pcx")), 0);
    BitmapHolder back{loadPicture(dir.file("q.pcx"))};
    EXPECT_EQ(visiblePixels(back.bm), visiblePixels(src.bm));
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(static_cast<uint32_t*>(back.bm->map)[i],
                  static_cast<uint32_t*>(src.bm->map)[i] & 0xFFFFFF);

    // 8-bit to 16-bit TGA, then through PNG to 1555 and 565 native files:
    // the colours keep their top 5 (6 for green in 565) bits.
    std::string out;
    ASSERT_EQ(asset("convert " + dir.file("p.pcx") + " " + dir.file("t.tga") + " --rle", &out), 0)
        << out;
    ASSERT_EQ(asset("convert " + dir.file("t.tga") + " " + dir.file("t.png")), 0);
    ASSERT_EQ(asset("convert " + dir.file("t.png") + " " + dir.file("t555.bm")), 0);
    ASSERT_EQ(asset("convert " + dir.file("t.png") + " " + dir.file("t565.bm") + " --565"), 0);
    BitmapHolder tga{loadPicture(dir.file("t.tga"))};
    BitmapHolder c555{loadPicture(dir.file("t555.bm"))};
    BitmapHolder c565{loadPicture(dir.file("t565.bm"))};
    ASSERT_EQ(+c555.bm->pixelType, PIXEL_ARGB1555);
    ASSERT_EQ(+c565.bm->pixelType, PIXEL_RGB565);
    const auto* pal = static_cast<const uint32_t*>(src.bm->map);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 33; ++x) {
            uint32_t e = pal[src.bm->pixels[y * src.bm->rowBytes + x]];
            uint32_t r = (e >> 16) & 0xFF, g = (e >> 8) & 0xFF, b = e & 0xFF;
            auto at = [&](const bitmap_tag* bm) {
                return uint32_t(getLe16(Bytes(bm->pixels + y * bm->rowBytes + 2 * x,
                                              bm->pixels + y * bm->rowBytes + 2 * x + 2),
                                        0));
            };
            // PCX palettes carry alpha 0, so the TGA pixels are transparent.
            uint32_t rgb555 = (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
            ASSERT_EQ(at(tga.bm), rgb555);
            ASSERT_EQ(at(c555.bm), rgb555);
            ASSERT_EQ(at(c565.bm), (r >> 3) << 11 | (g >> 3) << 6 | (g >> 7) << 5 | (b >> 3))
                << "green widened from 5 bits repeats its top bit";
        }
    // Pictures the output cannot hold are refused.
    EXPECT_EQ(asset("convert " + dir.file("t.tga") + " " + dir.file("x.pcx"), &out), 1);
    EXPECT_NE(out.find("PCX holds 8-bit pictures with a palette"), std::string::npos);
}

TEST(AssetTool, MipAndPalette) {
    REQUIRE_TOOL();
    TempDir dir;
    BitmapHolder src;
    writeRandomPcx(dir.file("p.pcx"), 32, 32, 4, &src.bm);
    std::string out;
    ASSERT_EQ(
        asset("mip " + dir.file("p.pcx") + " " + dir.file("p.mip") + " --levels 9 --subset 1-255",
              &out),
        0)
        << out;
    EXPECT_EQ(out, dir.file("p.mip") + ": 3 levels\n");
    {
        OpenFile f(dir.file("p.mip"), 'r');
        MipHolder m;
        ASSERT_EQ(mipLoad(&m.mip, f), 1);
        ASSERT_EQ(+m.mip->levels, 3u);
        EXPECT_EQ(visiblePixels(&m.mip->level[0]), visiblePixels(src.bm));
        MipHolder expected;
        uint32_t subset[8];
        std::memset(subset, 0xFF, sizeof subset);
        subset[0] = ~1u;
        ASSERT_EQ(mipCreateFromSubset(&expected.mip, src.bm, 9, 0, subset), 1);
        for (uint32_t i = 1; i < 3; ++i)
            EXPECT_EQ(visiblePixels(&m.mip->level[i]), visiblePixels(&expected.mip->level[i]));
    }
    ASSERT_EQ(asset("info " + dir.file("p.mip"), &out), 0);
    EXPECT_NE(out.find("mip levels: 3"), std::string::npos);

    ASSERT_EQ(asset("palette " + dir.file("p.pcx") + " " + dir.file("p.plet")), 0);
    OpenFile f(dir.file("p.plet"), 'r');
    uint32_t* pal;
    ASSERT_EQ(paletteLoad(&pal, f), 1);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(pal[i], static_cast<uint32_t*>(src.bm->map)[i] & 0xFFFFFF);
    paletteFree(pal);
    EXPECT_EQ(asset("palette " + dir.file("p.mip") + " " + dir.file("x.plet"), &out), 1);
    EXPECT_NE(out.find("no palette found"), std::string::npos);
}
