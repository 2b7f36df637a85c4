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

// A PCX of a random 8-bit picture with a random palette; the picture is
// kept in `keep`.
void writeRandomPcx(const std::string& path, int w, int h, uint32_t seed, BitmapHolder& keep) {
    keep.bm = randomBitmapWithMap(PIXEL_PAL8, w, h, seed);
    writeFile(path, written([&](file_tag* f) {
                  return bitmapWritePcx(f, keep.bm, static_cast<uint32_t*>(keep.bm->map));
              }));
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
    const struct {
        const char* arguments;
        int status;
        const char* output;
    } cases[] = {
        {"", 2, "usage:"},
        {"--help", 0, "spanwright-asset convert IN OUT"},
        {"frobnicate a b", 2, "unknown command frobnicate"},
        {"mip a b", 2, "mip needs --levels N"},
        {"mip a b --levels 3 --subset 1-300", 2, "--subset takes palette indexes"},
        {"info /nonexistent/file.pcx", 1, "cannot open /nonexistent/file.pcx"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(asset(c.arguments, &out), c.status) << c.arguments;
        EXPECT_NE(out.find(c.output), std::string::npos) << c.arguments << ": " << out;
    }
}

TEST(AssetTool, InfoOfEveryKindOfFile) {
    REQUIRE_TOOL();
    TempDir dir;
    BitmapHolder pcx;
    writeRandomPcx(dir.file("p.pcx"), 21, 9, 1, pcx);
    BitmapHolder four{randomBitmapWithMap(PIXEL_CMAP4, 6, 4, 2)};
    writeFile(dir.file("four.bm"), written([&](file_tag* f) { return bitmapWrite(f, four.bm); }));
    std::string out;
    ASSERT_EQ(asset("info " + dir.file("p.pcx"), &out), 0);
    EXPECT_EQ(out, "format: PCX\nvariant: version 5, 8 bits x 1 planes, run-length\nsize: 21 x 9\n"
                   "pixel type: PIXEL_PAL8 (2)\npalette: yes\ncolormap: no\n");
    ASSERT_EQ(asset("info " + dir.file("four.bm"), &out), 0);
    EXPECT_EQ(
        out,
        "format: native bitmap (BMAP)\nvariant: \"BMAP\" container, BMHD type 0, "
        "compression 0\nsize: 6 x 4\npixel type: PIXEL_CMAP4 (0)\npalette: no\ncolormap: yes\n");
    writeFile(dir.file("junk"), {1, 2, 3, 4, 5});
    EXPECT_EQ(asset("info " + dir.file("junk"), &out), 1);
    EXPECT_NE(out.find("not a file this tool reads"), std::string::npos);
}

TEST(AssetTool, ConvertRoundTripsThroughEveryFormat) {
    REQUIRE_TOOL();
    TempDir dir;
    BitmapHolder src;
    writeRandomPcx(dir.file("p.pcx"), 33, 17, 3, src);
    // PCX -> PNG -> native -> PCX keeps pixels and palette.
    for (auto [in, out] : {std::pair{"p.pcx", "p.png"}, {"p.png", "p.bm"}, {"p.bm", "q.pcx"}})
        ASSERT_EQ(asset("convert " + dir.file(in) + " " + dir.file(out)), 0) << in;
    BitmapHolder back{loadPicture(dir.file("q.pcx"))};
    EXPECT_EQ(visiblePixels(back.bm), visiblePixels(src.bm));
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(static_cast<uint32_t*>(back.bm->map)[i],
                  static_cast<uint32_t*>(src.bm->map)[i] & 0xFFFFFF);

    // 8-bit to 16-bit TGA (recognised by content whatever its name), then
    // through PNG to 1555 and 565 native files: the colours keep their top
    // 5 (6 for green in 565) bits.
    std::string out;
    ASSERT_EQ(asset("convert " + dir.file("p.pcx") + " " + dir.file("t.tga") + " --rle", &out), 0)
        << out;
    std::filesystem::rename(dir.file("t.tga"), dir.file("t.img"));
    ASSERT_EQ(asset("convert " + dir.file("t.img") + " " + dir.file("t.png")), 0);
    ASSERT_EQ(asset("convert " + dir.file("t.png") + " " + dir.file("t555.bm")), 0);
    ASSERT_EQ(asset("convert " + dir.file("t.png") + " " + dir.file("t565.bm") + " --565"), 0);
    BitmapHolder c555{loadPicture(dir.file("t555.bm"))};
    BitmapHolder c565{loadPicture(dir.file("t565.bm"))};
    ASSERT_EQ(+c555.bm->pixelType, PIXEL_ARGB1555);
    ASSERT_EQ(+c565.bm->pixelType, PIXEL_RGB565);
    const auto* pal = static_cast<const uint32_t*>(src.bm->map);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 33; ++x) {
            uint32_t e = pal[src.bm->pixels[y * src.bm->rowBytes + x]];
            uint32_t r = (e >> 16) & 0xFF, g = (e >> 8) & 0xFF, b = e & 0xFF;
            // PCX palettes carry alpha 0, so the TGA pixels are transparent.
            ASSERT_EQ(loadLe16(c555.bm->pixels + y * c555.bm->rowBytes + 2 * x),
                      (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
            ASSERT_EQ(loadLe16(c565.bm->pixels + y * c565.bm->rowBytes + 2 * x),
                      (r >> 3) << 11 | (g >> 3) << 6 | (g >> 7) << 5 | (b >> 3))
                << "green widened from 5 bits repeats its top bit";
        }
    // Pictures the output cannot hold are refused.
    EXPECT_EQ(asset("convert " + dir.file("t.img") + " " + dir.file("x.pcx"), &out), 1);
    EXPECT_NE(out.find("PCX holds 8-bit pictures with a palette"), std::string::npos);
}

TEST(AssetTool, MipAndPalette) {
    REQUIRE_TOOL();
    TempDir dir;
    BitmapHolder src;
    writeRandomPcx(dir.file("p.pcx"), 32, 32, 4, src);
    std::string out;
    ASSERT_EQ(
        asset("mip " + dir.file("p.pcx") + " " + dir.file("p.mip") + " --levels 9 --subset 1-255",
              &out),
        0)
        << out;
    EXPECT_EQ(out, dir.file("p.mip") + ": 3 levels\n");
    {
        OpenFile f(dir.file("p.mip"), 'r');
        MipHolder m, expected;
        ASSERT_EQ(mipLoad(&m.mip, f), 1);
        ASSERT_EQ(+m.mip->levels, 3u);
        uint32_t subset[8];
        std::memset(subset, 0xFF, sizeof subset);
        subset[0] = ~1u;
        ASSERT_EQ(mipCreateFromSubset(&expected.mip, src.bm, 9, 0, subset), 1);
        for (uint32_t i = 0; i < 3; ++i)
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
