// Interoperability with independent codecs: ImageMagick reads the PCX and
// TGA files we write and sees the same pixels; we read the files it and
// Debian's Pillow (through /usr/bin/python3) write. A test skips, with a
// message, only when its codec is not installed.
#include "filetest.h"
#include "imagefile/imagefile.h"
#include "imagefile/tga.h"

#include <sstream>
#include <unistd.h>

using namespace swtest;

namespace {

const char python[] = "/usr/bin/python3";
const char magick[] = "convert-im6.q16";

#define REQUIRE_MAGICK()                                                                           \
    if (runCommand(std::string("command -v ") + magick) != 0)                                      \
    GTEST_SKIP() << magick << " is not installed (imagemagick)"

// ImageMagick's 8-bit RGB of an image file.
Bytes magickRgb(const TempDir& dir, const std::string& file) {
    std::string output;
    EXPECT_EQ(
        runCommand(std::string(magick) + " " + file + " -depth 8 rgb:" + dir.file("raw"), &output),
        0)
        << output;
    return readFile(dir.file("raw"));
}

} // namespace

// ImageMagick sees our pixels in every file we write; it takes packets
// that run from one row into the next, as ours do.
TEST(Interop, ImageMagickReadsOurPcxAndTga) {
    REQUIRE_MAGICK();
    TempDir dir;
    // Runs (long and short, some crossing rows) and random stretches.
    Owned bm{randomBitmapWithMap(PIXEL_PAL8, 45, 11, 3)};
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 45; ++x)
            if ((x / 23 + y) % 2) bm->pixels[y * bm->rowBytes + x] = uint8_t(0xC0 + y);
    const auto* pal = static_cast<const uint32_t*>(bm->map);
    Bytes expected;
    for (uint8_t v : visiblePixels(bm))
        append(expected, {uint8_t(pal[v] >> 16), uint8_t(pal[v] >> 8), uint8_t(pal[v])});
    EXPECT_TRUE(bitmapWritePcx(OpenFile(dir.file("o.pcx"), 'w'), bm, pal));
    EXPECT_EQ(magickRgb(dir, dir.file("o.pcx")), expected);
    for (int bits : {16, 24, 32})
        for (bool compress : {false, true}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, compress " << compress);
            EXPECT_TRUE(
                tgaWriteBitmap(bm, pal, OpenFile(dir.file("o.tga"), 'w'), compress, false, bits));
            Bytes raw = magickRgb(dir, dir.file("o.tga"));
            ASSERT_EQ(raw.size(), expected.size());
            // 16 bits keep the top five bits of every channel.
            for (size_t i = 0; i < raw.size(); ++i)
                ASSERT_EQ(raw[i] >> (bits == 16 ? 3 : 0), expected[i] >> (bits == 16 ? 3 : 0)) << i;
        }
}

// Every TGA and PCX variant the loaders take, in files other tools wrote
// (art_files.py), loaded by the library and compared pixel for pixel with
// the RGBA that Pillow (or ImageMagick) decodes from the same file.
TEST(Interop, WeReadEveryVariantAsOtherToolsDecodeIt) {
    if (access(python, X_OK) != 0 || runCommand(std::string(python) + " -c 'import PIL'") != 0)
        GTEST_SKIP() << "Pillow for /usr/bin/python3 is not installed (python3-pil)";
    REQUIRE_MAGICK();
    TempDir dir;
    std::string manifest;
    ASSERT_EQ(runCommand(std::string(python) + " " + SW_ART_FILES + " " + dir.path(), &manifest), 0)
        << manifest;
    std::istringstream lines(manifest);
    std::string name, decoder;
    int alpha, compared = 0;
    while (lines >> name >> decoder >> alpha) {
        SCOPED_TRACE(name + " against " + decoder);
        Owned bm{loadBytes(readFile(dir.file(name)), name.c_str())};
        ASSERT_NE(bm, nullptr);
        const uint32_t mask = alpha == 1 ? ~0u : alpha == 5 ? 0xF8F8F8 : 0xFFFFFF;
        const Bytes rgba = readFile(dir.file(name + ".rgba"));
        std::vector<uint32_t> expected;
        for (size_t i = 0; i + 3 < rgba.size(); i += 4)
            expected.push_back(
                (uint32_t(rgba[i + 3]) << 24 | rgba[i] << 16 | rgba[i + 1] << 8 | rgba[i + 2]) &
                mask);
        EXPECT_EQ(coloursOf(bm, mask), expected);
        ++compared;
    }
    EXPECT_EQ(compared, 51) << manifest;
}
