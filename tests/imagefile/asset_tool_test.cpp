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

int asset(const std::string& arguments, std::string* output = nullptr) {
    return runCommand("'" + tool + "' " + arguments, output);
}

} // namespace

// Each command's exit status and what it prints, in a directory holding a
// PCX, a 4-bit native file, a PCX without its trailing palette, one of a
// variant the library does not load, and a file of no known format. Then
// every output format and option, read back by the library (PNG through
// the tool): colours agree wherever the format keeps them (`mask`: the
// bits an output keeps).
TEST(AssetTool, CommandsAndEveryOutput) {
    if (tool.empty()) GTEST_SKIP() << "spanwright-asset is not built (no libpng or tools off)";
    TempDir dir;
    ChangeDir inDir(dir.path());
    Owned pcx{randomBitmapWithMap(PIXEL_PAL8, 32, 16, 1)},
        four{randomBitmapWithMap(PIXEL_CMAP4, 6, 4, 2)},
        argb{randomBitmap(PIXEL_ARGB8888, 32, 16, 5)};
    auto* pal = static_cast<uint32_t*>(pcx->map);
    EXPECT_TRUE(bitmapWritePcx(OpenFile("p.pcx", 'w'), pcx, pal));
    EXPECT_TRUE(bitmapWrite(OpenFile("four.bm", 'w'), four));
    EXPECT_TRUE(tgaWriteBitmap(argb, nullptr, OpenFile("a.img", 'w'), true, false, 32));
    Bytes cut = readFile("p.pcx"), planes = cut;
    cut.resize(cut.size() - 769);
    cut.resize(cut.size() + 2000, 0x3F);
    planes[65] = 2;
    writeFile("cut.pcx", cut);
    writeFile("planes.pcx", planes);
    writeFile("junk", {1, 2, 3, 4, 5});
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
        {"info p.pcx", 0,
         "format: PCX\nvariant: version 5, 8 bits x 1 planes, run-length\nsize: 32 x 16\n"
         "pixel type: PIXEL_PAL8 (2)\npalette: 256 colours at the end of the file\ncolormap: no\n"},
        {"info four.bm", 0,
         "format: native bitmap (BMAP)\nvariant: \"BMAP\" container, BMHD type 0, compression 0\n"
         "size: 6 x 4\npixel type: PIXEL_CMAP4 (0)\npalette: no\ncolormap: yes\n"},
        {"info cut.pcx", 0, "palette: header (16 colours)\n"},
        {"info planes.pcx", 1,
         "variant: version 5, 8 bits x 2 planes, run-length\nspanwright-asset: planes.pcx: the "
         "library cannot load this variant\n  PCX with 2 planes of 8 bits is not supported in "
         "bitmapLoad()\n"},
        {"info junk", 1, "not a file this tool reads"},
        // 32 x 16 halves to 8 x 4 in 2 levels, and is 16 x 8 at level 1.
        {"mip p.pcx p.mip --levels 3", 1,
         "p.pcx is 32 x 16: its mip chain can have at most 2 levels (each level at least 8 "
         "pixels a side); asked for 3"},
        {"mip p.pcx p.mip --levels 2 --subset 1-255", 0, "p.mip: 2 levels\n"},
        {"info p.mip", 0, "mip levels: 2"},
        {"palette p.mip x.plet", 1, "no palette found"},
        {"palette p.pcx p.plet", 0, ""},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(asset(c.arguments, &out), c.status) << c.arguments;
        EXPECT_NE(out.find(c.output), std::string::npos) << c.arguments << ": " << out;
    }
    // The mip chain holds the library's levels of the palette subset.
    MipHolder m, expected;
    const uint32_t subset[8] = {~1u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u};
    ASSERT_EQ(mipLoad(&m.mip, OpenFile("p.mip", 'r')), 1);
    ASSERT_EQ(mipCreateFromSubset(&expected.mip, pcx, 2, 0, subset), 1);
    ASSERT_EQ(+m.mip->levels, 2u);
    for (uint32_t i = 0; i < 2; ++i)
        EXPECT_EQ(visiblePixels(&m.mip->level[i]), visiblePixels(&expected.mip->level[i]));

    const uint32_t rgb = 0xFFFFFF, five = 0xF8F8F8;
    const struct {
        const char *in, *out, *options;
        uint32_t mask;
    } conversions[] = {
        {"p.pcx", "p.png", "", rgb},
        {"p.png", "pp.pcx", "", rgb},
        {"p.pcx", "p.bm", "", rgb},
        {"p.pcx", "p15.tga", "--tga-bits 15", five},
        {"p.pcx", "p32r.tga", "--tga-bits 32 --rle", rgb},
        {"p.mip", "m.png", "--level 0 --palette p.plet", rgb}, // the palette command's file
        {"p.mip", "m.bm", "--level 0", 0},                     // palette-less: the indexes are kept
        {"m.bm", "m.pcx", "--palette p.png", rgb},
        {"a.img", "a.bm", "", ~0u},
        {"a.img", "a.png", "", five | 0x80000000u}, // read back as PIXEL_ARGB1555
        {"a.img", "a24.tga", "--tga-bits 24", rgb},
        {"a.png", "a565.bm", "--565", 0xF8FCF8},
    };
    for (const auto& c : conversions) {
        SCOPED_TRACE(std::string(c.in) + " -> " + c.out + " " + c.options);
        std::string out, back = c.out;
        ASSERT_EQ(asset("convert " + std::string(c.in) + " " + back + " " + c.options, &out), 0)
            << out;
        if (back.find(".png") != std::string::npos) {
            back += ".bm";
            ASSERT_EQ(asset("convert " + std::string(c.out) + " " + back), 0);
        }
        // Uncached: the cache takes names equal over 16 characters for one.
        Owned read{loadBytes(readFile(back), back.c_str())};
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(coloursOf(read, c.mask), coloursOf(c.in[0] == 'a' ? argb : pcx, c.mask));
    }
}
