// spanwright-asset, run as a program on files the tests make.
#include "filetest.h"
#include "imagefile/imagefile.h"
#include "imagefile/tga.h"

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

bool endsWith(const std::string& s, const char* end) {
    return s.size() >= std::strlen(end) &&
           s.compare(s.size() - std::strlen(end), std::string::npos, end) == 0;
}

uint32_t argbOf(const bitmap_tag* bm, uint32_t v) {
    return uint32_t(colorA(bm, v)) << 24 | uint32_t(colorR(bm, v)) << 16 |
           uint32_t(colorG(bm, v)) << 8 | colorB(bm, v);
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
    // A PCX without its trailing palette, and one of a variant the library
    // does not load.
    Bytes cut = readFile(dir.file("p.pcx")), planes = cut;
    cut.resize(cut.size() - 769);
    cut.resize(cut.size() + 2000, 0x3F);
    planes[65] = 2;
    writeFile(dir.file("cut.pcx"), cut);
    writeFile(dir.file("planes.pcx"), planes);
    writeFile(dir.file("junk"), {1, 2, 3, 4, 5});
    const struct {
        const char* file;
        int status;
        const char* output;
    } cases[] = {
        {"p.pcx", 0,
         "format: PCX\nvariant: version 5, 8 bits x 1 planes, run-length\nsize: 21 x 9\n"
         "pixel type: PIXEL_PAL8 (2)\npalette: 256 colours at the end of the file\ncolormap: no\n"},
        {"four.bm", 0,
         "format: native bitmap (BMAP)\nvariant: \"BMAP\" container, BMHD type 0, compression 0\n"
         "size: 6 x 4\npixel type: PIXEL_CMAP4 (0)\npalette: no\ncolormap: yes\n"},
        {"cut.pcx", 0, "palette: header (16 colours)\n"},
        {"planes.pcx", 1, "variant: version 5, 8 bits x 2 planes, run-length\nspanwright-asset: "},
        {"planes.pcx", 1, "PCX with 2 planes of 8 bits is not supported in bitmapLoad()\n"},
        {"junk", 1, "not a file this tool reads"},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(asset("info " + dir.file(c.file), &out), c.status) << c.file;
        EXPECT_NE(out.find(c.output), std::string::npos) << c.file << ": " << out;
    }
}

// Every output format and option, read back by `info` and by the library
// (PNG through the tool): colours agree wherever the format keeps them
// (`mask`: the bits an output keeps).
TEST(AssetTool, EveryOutputReadsBack) {
    REQUIRE_TOOL();
    TempDir dir;
    BitmapHolder pal8, argb{randomBitmap(PIXEL_ARGB8888, 32, 16, 5)};
    writeRandomPcx(dir.file("p.pcx"), 32, 16, 3, pal8);
    writeFile(dir.file("a.img"), written([&](file_tag* f) {
                  return tgaWriteBitmap(argb.bm, nullptr, f, true, false, 32);
              }));
    ChangeDir inDir(dir.path());
    ASSERT_EQ(asset("mip p.pcx p.mip --levels 2"), 0);
    const uint32_t rgb = 0xFFFFFF, all = ~0u, five = 0xF8F8F8;
    const struct {
        const char *in, *out, *options;
        uint32_t mask;
    } cases[] = {
        {"p.pcx", "p.pcx", "", rgb},
        {"p.pcx", "p.png", "", rgb},
        {"p.png", "pp.pcx", "", rgb},
        {"p.pcx", "p.bm", "", rgb},
        {"p.pcx", "p15.tga", "--tga-bits 15", five},
        {"p.pcx", "p16.tga", "", five},
        {"p.pcx", "p16r.tga", "--rle", five},
        {"p.pcx", "p24.tga", "--tga-bits 24", rgb},
        {"p.pcx", "p32r.tga", "--tga-bits 32 --rle", rgb},
        {"p24.tga", "p24r.tga", "--tga-bits 24 --rle", rgb},
        {"p.mip", "m.png", "--level 0 --palette p.pcx", rgb},
        {"p.mip", "m.bm", "--level 0", 0}, // palette-less: the indexes are kept
        {"m.bm", "m.pcx", "--palette p.png", rgb},
        {"a.img", "a.bm", "", all},
        {"a.img", "a.png", "", five | 0x80000000u}, // read back as PIXEL_ARGB1555
        {"a.img", "a32.tga", "--tga-bits 32", all},
        {"a.img", "a24.tga", "--tga-bits 24", rgb},
        {"a.png", "a1555.bm", "", five | 0x80000000u},
        {"a.png", "a565.bm", "--565", 0xF8FCF8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.in) + " -> " + c.out + " " + c.options);
        std::string out, back = c.out;
        ASSERT_EQ(asset("convert " + std::string(c.in) + " " + back + " " + c.options, &out), 0)
            << out;
        ASSERT_EQ(asset("info " + back, &out), 0) << out;
        EXPECT_NE(out.find("size: 32 x 16"), std::string::npos) << out;
        if (endsWith(c.out, ".png")) {
            back += ".bm";
            ASSERT_EQ(asset("convert " + std::string(c.out) + " " + back), 0);
        }
        BitmapHolder read{loadPicture(back)};
        const bitmap_tag* src = c.in[0] == 'a' ? argb.bm : pal8.bm;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 32; ++x) {
                uint32_t s = pixelAt(src, x, y), r = pixelAt(read.bm, x, y);
                if (c.mask == 0)
                    ASSERT_EQ(r, s) << x << ", " << y;
                else
                    ASSERT_EQ(argbOf(read.bm, r) & c.mask, argbOf(src, s) & c.mask)
                        << x << ", " << y;
            }
    }
}

TEST(AssetTool, MipAndPalette) {
    REQUIRE_TOOL();
    TempDir dir;
    BitmapHolder src;
    writeRandomPcx(dir.file("p.pcx"), 32, 32, 4, src);
    std::string out;
    // 32 x 32 halves to 8 x 8 in 3 levels; more are refused.
    const std::string mip = "mip " + dir.file("p.pcx") + " " + dir.file("p.mip");
    EXPECT_EQ(asset(mip + " --levels 4", &out), 1);
    EXPECT_NE(out.find("p.pcx is 32 x 32: its mip chain can have at most 3 levels (each level at "
                       "least 8 pixels a side); asked for 4"),
              std::string::npos)
        << out;
    ASSERT_EQ(asset(mip + " --levels 3 --subset 1-255", &out), 0) << out;
    EXPECT_EQ(out, dir.file("p.mip") + ": 3 levels\n");
    {
        OpenFile f(dir.file("p.mip"), 'r');
        MipHolder m, expected;
        ASSERT_EQ(mipLoad(&m.mip, f), 1);
        ASSERT_EQ(+m.mip->levels, 3u);
        uint32_t subset[8];
        std::memset(subset, 0xFF, sizeof subset);
        subset[0] = ~1u;
        ASSERT_EQ(mipCreateFromSubset(&expected.mip, src.bm, 3, 0, subset), 1);
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
