// Interoperability with independent codecs: Debian's Pillow (through
// /usr/bin/python3) and ImageMagick read the PCX and TGA files we write and
// see the same pixels; we read the PCX files they write. A test skips, with
// a message, only when its codec is not installed.
#include "filetest.h"
#include "imagefile/imagefile.h"
#include "imagefile/tga.h"

#include <unistd.h>

using namespace swtest;

namespace {

const char python[] = "/usr/bin/python3";
const char magick[] = "convert-im6.q16";

bool havePillow() {
    return access(python, X_OK) == 0 && runCommand(std::string(python) + " -c 'import PIL'") == 0;
}
bool haveMagick() {
    return runCommand(std::string("command -v ") + magick) == 0;
}

#define REQUIRE_PILLOW()                                                                           \
    if (!havePillow())                                                                             \
    GTEST_SKIP() << "Pillow for /usr/bin/python3 is not installed "                                \
                    "(python3-pil)"
#define REQUIRE_MAGICK()                                                                           \
    if (!haveMagick()) GTEST_SKIP() << magick << " is not installed (imagemagick)"

// Runs a Python program with Pillow; its arguments follow.
int runPython(const TempDir& dir, const std::string& program, const std::string& arguments,
              std::string* output) {
    writeFile(dir.file("script.py"), Bytes(program.begin(), program.end()));
    return runCommand(std::string(python) + " " + dir.file("script.py") + " " + arguments, output);
}

// Pillow's view of an image file: mode, size, raw bytes, and the palette.
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

// An 8-bit picture with runs (long and short) and random stretches.
bitmap_tag* pictureWithRuns(int w, int h, uint32_t seed) {
    bitmap_tag* bm = randomBitmap(PIXEL_PAL8, w, h, seed);
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
    uint32_t* pal = randomPalette(42);
    {
        OpenFile f(dir.file("o.pcx"), 'w');
        ASSERT_EQ(bitmapWritePcx(f, bm.bm, pal), 1);
    }
    std::string out;
    ASSERT_EQ(runPython(dir, dumpImage, dir.file("o.pcx") + " " + dir.file("raw"), &out), 0) << out;
    EXPECT_EQ(out, "P 101 37\n");
    EXPECT_EQ(readFile(dir.file("raw")), visiblePixels(bm.bm));
    Bytes rgb;
    for (int i = 0; i < 256; ++i)
        rgb.insert(rgb.end(), {uint8_t(pal[i] >> 16), uint8_t(pal[i] >> 8), uint8_t(pal[i])});
    EXPECT_EQ(readFile(dir.file("raw.pal")), rgb);
    paletteFree(pal);
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
            reinterpret_cast<uint32_t*>(src.bm->pixels + y * src.bm->rowBytes)[x] =
                0xFF102030u + uint32_t(y);
    for (int bits : {16, 24, 32})
        for (bool compress : {false, true}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, compress " << compress);
            {
                OpenFile f(dir.file("o.tga"), 'w');
                ASSERT_TRUE(tgaWriteBitmap(src.bm, nullptr, f, compress, false, bits));
            }
            std::string out;
            ASSERT_EQ(runPython(dir, dumpImage,
                                dir.file("o.tga") + " " + dir.file("raw") + " " +
                                    (bits == 32 ? "RGBA" : "RGB"),
                                &out),
                      0)
                << out;
            Bytes raw = readFile(dir.file("raw"));
            int channels = bits == 32 ? 4 : 3;
            ASSERT_EQ(raw.size(), size_t(width * height * channels));
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    uint32_t v =
                        reinterpret_cast<uint32_t*>(src.bm->pixels + y * src.bm->rowBytes)[x];
                    const uint8_t* p = raw.data() + (y * width + x) * channels;
                    uint8_t r = uint8_t(v >> 16), g = uint8_t(v >> 8), b = uint8_t(v);
                    if (bits == 16) // Pillow widens the 5-bit fields; their top bits are ours
                        ASSERT_EQ(
                            (Bytes{uint8_t(p[0] >> 3), uint8_t(p[1] >> 3), uint8_t(p[2] >> 3)}),
                            (Bytes{uint8_t(r >> 3), uint8_t(g >> 3), uint8_t(b >> 3)}));
                    else
                        ASSERT_EQ(Bytes(p, p + channels),
                                  (bits == 24 ? Bytes{r, g, b} : Bytes{r, g, b, uint8_t(v >> 24)}));
                }
        }
}

TEST(Interop, PillowSeesOurReaderAgreeOnSixteenBitTga) {
    REQUIRE_PILLOW();
    TempDir dir;
    // A hand-made bottom-up run-length file; Pillow takes packets that stay
    // within their row.
    Bytes tga = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 3, 0, 16, 0};
    tga.insert(tga.end(),
               {0x84, 0x1F, 0x80,                                                 // row 1
                0x00, 0xE0, 0x03, 0x81, 0x00, 0x7C, 0x01, 0x34, 0x12, 0xFF, 0x7F, // row 2
                0x82, 0x00, 0x40, 0x01, 0x01, 0x00, 0x00, 0x02});                 // row 3
    writeFile(dir.file("h.tga"), tga);
    BitmapHolder ours;
    {
        OpenFile f(dir.file("h.tga"), 'r');
        ASSERT_EQ(bitmapLoadFile(&ours.bm, f, 0), 1);
    }
    std::string out;
    ASSERT_EQ(runPython(dir, dumpImage, dir.file("h.tga") + " " + dir.file("raw") + " RGB", &out),
              0)
        << out;
    Bytes raw = readFile(dir.file("raw"));
    ASSERT_EQ(raw.size(), 45u);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            uint32_t v = getLe16(visiblePixels(ours.bm), size_t(2 * (y * 5 + x)));
            const uint8_t* p = raw.data() + 3 * (y * 5 + x);
            ASSERT_EQ((p[0] >> 3) << 10 | (p[1] >> 3) << 5 | (p[2] >> 3), int(v & 0x7FFF))
                << x << ", " << y;
        }
}

TEST(Interop, WeReadPillowsPcx) {
    REQUIRE_PILLOW();
    TempDir dir;
    const char program[] = R"(
import sys, random
from PIL import Image
random.seed(7)
w, h = 77, 23
im = Image.new('P', (w, h))
im.putpalette([random.randrange(256) for _ in range(768)])
im.putdata([random.choice([5, 5, 5, 200, random.randrange(256)]) for _ in range(w * h)])
im.save(sys.argv[1])
open(sys.argv[2], 'wb').write(im.tobytes())
open(sys.argv[2] + '.pal', 'wb').write(bytes(im.getpalette()[:768]))
)";
    std::string out;
    ASSERT_EQ(runPython(dir, program, dir.file("p.pcx") + " " + dir.file("raw"), &out), 0) << out;
    BitmapHolder bm;
    OpenFile f(dir.file("p.pcx"), 'r');
    ASSERT_EQ(bitmapLoadFile(&bm.bm, f, 0), 1);
    EXPECT_EQ(+bm.bm->width, 77);
    EXPECT_EQ(visiblePixels(bm.bm), readFile(dir.file("raw")));
    Bytes pal = readFile(dir.file("raw.pal"));
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(static_cast<uint32_t*>(bm.bm->map)[i],
                  uint32_t(pal[3 * i]) << 16 | uint32_t(pal[3 * i + 1]) << 8 | pal[3 * i + 2]);
}

TEST(Interop, ImageMagickReadsOurPcxAndTga) {
    REQUIRE_MAGICK();
    TempDir dir;
    // Runs cross rows: ImageMagick takes packets that span row ends.
    BitmapHolder bm{pictureWithRuns(45, 11, 3)};
    uint32_t* pal = randomPalette(3);
    {
        OpenFile f(dir.file("o.pcx"), 'w');
        ASSERT_EQ(bitmapWritePcx(f, bm.bm, pal), 1);
        OpenFile t(dir.file("o.tga"), 'w');
        ASSERT_TRUE(tgaWriteBitmap(bm.bm, pal, t, true, false, 24));
        OpenFile t16(dir.file("o16.tga"), 'w');
        ASSERT_TRUE(tgaWriteBitmap(bm.bm, pal, t16, true, false, 16));
    }
    Bytes expected;
    for (uint8_t v : visiblePixels(bm.bm))
        expected.insert(expected.end(),
                        {uint8_t(pal[v] >> 16), uint8_t(pal[v] >> 8), uint8_t(pal[v])});
    for (const char* name : {"o.pcx", "o.tga"}) {
        std::string out;
        ASSERT_EQ(runCommand(std::string(magick) + " " + dir.file(name) +
                                 " -depth 8 rgb:" + dir.file("raw"),
                             &out),
                  0)
            << out;
        EXPECT_EQ(readFile(dir.file("raw")), expected) << name;
    }
    // The 16-bit file keeps the top five bits of every channel.
    std::string out;
    ASSERT_EQ(runCommand(std::string(magick) + " " + dir.file("o16.tga") +
                             " -depth 8 rgb:" + dir.file("raw"),
                         &out),
              0)
        << out;
    Bytes raw = readFile(dir.file("raw"));
    ASSERT_EQ(raw.size(), expected.size());
    for (size_t i = 0; i < raw.size(); ++i)
        ASSERT_EQ(raw[i] >> 3, expected[i] >> 3) << i;
    paletteFree(pal);
}

TEST(Interop, WeReadImageMagicksPcx) {
    REQUIRE_MAGICK();
    TempDir dir;
    // A 12-colour picture as a plain PPM; ImageMagick writes it as an
    // 8-bit paletted PCX without changing a colour.
    Bytes ppm = {'P', '6', '\n', '1', '9', ' ', '7', '\n', '2', '5', '5', '\n'};
    Bytes rgb;
    Rng rng(5);
    uint8_t colours[12][3];
    for (auto& c : colours)
        for (uint8_t& ch : c)
            ch = uint8_t(rng.next());
    for (int i = 0; i < 19 * 7; ++i) {
        const uint8_t* c = colours[(i / 5 + i % 3) % 12];
        rgb.insert(rgb.end(), c, c + 3);
    }
    append(ppm, rgb);
    writeFile(dir.file("in.ppm"), ppm);
    std::string out;
    ASSERT_EQ(runCommand(std::string(magick) + " " + dir.file("in.ppm") + " -type Palette " +
                             dir.file("m.pcx"),
                         &out),
              0)
        << out;
    BitmapHolder bm;
    OpenFile f(dir.file("m.pcx"), 'r');
    ASSERT_EQ(bitmapLoadFile(&bm.bm, f, 0), 1);
    const auto* pal = static_cast<const uint32_t*>(bm.bm->map);
    Bytes seen;
    for (uint8_t v : visiblePixels(bm.bm))
        seen.insert(seen.end(), {uint8_t(pal[v] >> 16), uint8_t(pal[v] >> 8), uint8_t(pal[v])});
    EXPECT_EQ(seen, rgb);
}
