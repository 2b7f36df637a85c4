// Interoperability with independent codecs: Debian's Pillow (through
// /usr/bin/python3) and ImageMagick read the PCX and TGA files we write and
// see the same pixels; we read the files they write. A test skips, with a
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

#define REQUIRE_PILLOW()                                                                           \
    if (access(python, X_OK) != 0 || runCommand(std::string(python) + " -c 'import PIL'") != 0)    \
    GTEST_SKIP() << "Pillow for /usr/bin/python3 is not installed (python3-pil)"
#define REQUIRE_MAGICK()                                                                           \
    if (runCommand(std::string("command -v ") + magick) != 0)                                      \
    GTEST_SKIP() << magick << " is not installed (imagemagick)"

// Pillow's view of an image file: prints mode and size, writes the raw
// bytes (converted to argv[3] when given) and, for 'P', the palette.
const char dumpImage[] = R"(
import sys
from PIL import Image
im = Image.open(sys.argv[1])
im.load()
print(im.mode, im.size[0], im.size[1])
if len(sys.argv) > 3:
    im = im.convert(sys.argv[3])
open(sys.argv[2], 'wb').write(im.tobytes())
if im.mode == 'P':
    open(sys.argv[2] + '.pal', 'wb').write(bytes(im.getpalette()[:768]))
)";

// Runs a Python program with Pillow on `arguments` (file names in `dir`);
// returns its output, failing the test when it fails.
std::string runPython(const TempDir& dir, const std::string& program,
                      const std::string& arguments) {
    writeFile(dir.file("script.py"), Bytes(program.begin(), program.end()));
    std::string output;
    EXPECT_EQ(
        runCommand(std::string(python) + " " + dir.file("script.py") + " " + arguments, &output), 0)
        << output;
    return output;
}

// ImageMagick's 8-bit RGB of an image file.
Bytes magickRgb(const TempDir& dir, const std::string& file) {
    std::string output;
    EXPECT_EQ(
        runCommand(std::string(magick) + " " + file + " -depth 8 rgb:" + dir.file("raw"), &output),
        0)
        << output;
    return readFile(dir.file("raw"));
}

Bytes rgbOf(uint32_t colour) {
    return {uint8_t(colour >> 16), uint8_t(colour >> 8), uint8_t(colour)};
}
Bytes rgbThrough(const Bytes& indexes, const uint32_t* pal) {
    Bytes out;
    for (uint8_t v : indexes)
        append(out, rgbOf(pal[v]));
    return out;
}

bitmap_tag* loadFile(const std::string& path) {
    OpenFile f(path, 'r');
    bitmap_tag* bm = nullptr;
    EXPECT_EQ(bitmapLoadFile(&bm, f, 0), 1) << path;
    return bm;
}

// An 8-bit picture with runs (long and short) and random stretches.
bitmap_tag* pictureWithRuns(int w, int h, uint32_t seed) {
    bitmap_tag* bm = randomBitmapWithMap(PIXEL_PAL8, w, h, seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if ((x / 23 + y) % 2) bm->pixels[y * bm->rowBytes + x] = uint8_t(0xC0 + y % 64);
    return bm;
}

} // namespace

TEST(Interop, PillowReadsOurPcx) {
    REQUIRE_PILLOW();
    TempDir dir;
    BitmapHolder bm{pictureWithRuns(101, 37, 1)};
    const auto* pal = static_cast<const uint32_t*>(bm.bm->map);
    writeFile(dir.file("o.pcx"),
              written([&](file_tag* f) { return bitmapWritePcx(f, bm.bm, pal); }));
    EXPECT_EQ(runPython(dir, dumpImage, dir.file("o.pcx") + " " + dir.file("raw")), "P 101 37\n");
    EXPECT_EQ(readFile(dir.file("raw")), visiblePixels(bm.bm));
    Bytes identity(256);
    for (int i = 0; i < 256; ++i)
        identity[i] = uint8_t(i);
    EXPECT_EQ(readFile(dir.file("raw.pal")), rgbThrough(identity, pal));
}

// Pillow refuses run-length packets that run from one row into the next,
// which our writer emits (it codes the image as one sequence); ImageMagick
// takes them (below). Here every row is random colours followed by a run
// up to its end, and each row starts unlike the last one ended, so no
// packet crosses a row and Pillow reads every form.
TEST(Interop, PillowReadsOurTga) {
    REQUIRE_PILLOW();
    TempDir dir;
    const int width = 150, height = 9;
    BitmapHolder src{randomBitmap(PIXEL_ARGB8888, width, height, 2)};
    for (int y = 0; y < height; ++y)
        for (int x = 40 + 9 * y; x < width; ++x)
            storeLe32(src.bm->pixels + y * src.bm->rowBytes + 4 * x, 0xFF102030u + uint32_t(y));
    for (int bits : {16, 24, 32})
        for (bool compress : {false, true}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, compress " << compress);
            writeFile(dir.file("o.tga"), written([&](file_tag* f) {
                          return tgaWriteBitmap(src.bm, nullptr, f, compress, false, bits);
                      }));
            runPython(dir, dumpImage,
                      dir.file("o.tga") + " " + dir.file("raw") + (bits == 32 ? " RGBA" : " RGB"));
            Bytes raw = readFile(dir.file("raw"));
            const int channels = bits == 32 ? 4 : 3;
            ASSERT_EQ(raw.size(), size_t(width * height * channels));
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    uint32_t v = loadLe32(src.bm->pixels + y * src.bm->rowBytes + 4 * x);
                    Bytes expected = rgbOf(v), seen(&raw[(y * width + x) * channels],
                                                    &raw[(y * width + x + 1) * channels]);
                    if (bits == 32) expected.push_back(uint8_t(v >> 24));
                    if (bits == 16) // Pillow widens the 5-bit fields; their top bits are ours
                        for (Bytes* b : {&expected, &seen})
                            for (uint8_t& c : *b)
                                c >>= 3;
                    ASSERT_EQ(seen, expected) << x << ", " << y;
                }
        }
}

TEST(Interop, ImageMagickReadsOurPcxAndTga) {
    REQUIRE_MAGICK();
    TempDir dir;
    // Runs cross rows: ImageMagick takes packets that span row ends.
    BitmapHolder bm{pictureWithRuns(45, 11, 3)};
    const auto* pal = static_cast<const uint32_t*>(bm.bm->map);
    writeFile(dir.file("o.pcx"),
              written([&](file_tag* f) { return bitmapWritePcx(f, bm.bm, pal); }));
    for (int bits : {24, 16})
        writeFile(dir.file(bits == 24 ? "o24.tga" : "o16.tga"), written([&](file_tag* f) {
                      return tgaWriteBitmap(bm.bm, pal, f, true, false, bits);
                  }));
    const Bytes expected = rgbThrough(visiblePixels(bm.bm), pal);
    EXPECT_EQ(magickRgb(dir, dir.file("o.pcx")), expected);
    EXPECT_EQ(magickRgb(dir, dir.file("o24.tga")), expected);
    // The 16-bit file keeps the top five bits of every channel.
    Bytes raw = magickRgb(dir, dir.file("o16.tga"));
    ASSERT_EQ(raw.size(), expected.size());
    for (size_t i = 0; i < raw.size(); ++i)
        ASSERT_EQ(raw[i] >> 3, expected[i] >> 3) << i;
}

// Every TGA and PCX variant the loaders take, in files other tools wrote
// (art_files.py), loaded by the library and compared pixel for pixel with
// the RGBA that Pillow (or ImageMagick) decodes from the same file.
TEST(Interop, WeReadEveryVariantAsOtherToolsDecodeIt) {
    REQUIRE_PILLOW();
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
        BitmapHolder bm{loadFile(dir.file(name))};
        ASSERT_NE(bm.bm, nullptr);
        const Bytes expected = readFile(dir.file(name + ".rgba"));
        ASSERT_EQ(expected.size(), size_t(4 * bm.bm->width * bm.bm->height));
        for (int y = 0; y < bm.bm->height; ++y)
            for (int x = 0; x < bm.bm->width; ++x) {
                const bitmap_tag* b = bm.bm;
                const uint32_t v = pixelAt(b, x, y), c = uint32_t(colorA(b, v)) << 24 |
                                                         colorR(b, v) << 16 | colorG(b, v) << 8 |
                                                         colorB(b, v);
                const uint8_t* e = &expected[4 * (y * bm.bm->width + x)];
                uint32_t want = uint32_t(e[3]) << 24 | e[0] << 16 | e[1] << 8 | e[2];
                const uint32_t mask = alpha == 1 ? ~0u : alpha == 5 ? 0xF8F8F8 : 0xFFFFFF;
                ASSERT_EQ(c & mask, want & mask) << x << ", " << y;
            }
        ++compared;
    }
    EXPECT_EQ(compared, 56) << manifest;
}
