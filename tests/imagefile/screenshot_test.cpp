// Screenshots of the back buffer: names, counter, pixel conversion and
// failures.
#include "support.h"

#include "bitmap/bitmap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

using swtest::MessageCapture;
using swtest::TempDir;

// Points the library's back buffer record at a test bitmap and homedir at
// a fresh directory; puts both back afterwards.
class ScreenshotTest : public testing::Test {
  protected:
    void SetUp() override {
        std::memcpy(&savedBack_, screenGetBackBuffer(), sizeof savedBack_);
        std::memcpy(savedHome_, homedir, sizeof savedHome_);
        ASSERT_TRUE(libfileGetDir(savedCwd_));
        ASSERT_LT(dir_.path().size(), sizeof homedir);
        std::strcpy(homedir, dir_.path().c_str());
        savedPalette_ = paletteCurrent;
    }
    void TearDown() override {
        std::memcpy(screenGetBackBuffer(), &savedBack_, sizeof savedBack_);
        std::memcpy(homedir, savedHome_, sizeof savedHome_);
        fileChDir(savedCwd_);
        paletteCurrent = savedPalette_;
        bitmapFree(image_);
    }
    void useBackBuffer(uint8_t type, int32_t w, int32_t h, uint32_t seed) {
        image_ = swtest::randomBitmap(type, w, h, seed);
        ASSERT_NE(image_, nullptr);
        std::memcpy(screenGetBackBuffer(), image_, sizeof(bitmap_tag));
    }
    // Takes one screenshot in an emptied directory; returns its number and
    // its bytes (number -1 when no file appeared).
    std::pair<int, std::vector<uint8_t>> takeShot() {
        for (int n = 0; n < 100; ++n)
            unlink(dir_.file(shotName(n)).c_str());
        saveScreenshot();
        for (int n = 0; n < 100; ++n)
            if (access(dir_.file(shotName(n)).c_str(), F_OK) == 0)
                return {n, swtest::readFile(dir_.file(shotName(n)))};
        return {-1, {}};
    }
    static std::string shotName(int n) {
        char text[16];
        std::snprintf(text, sizeof text, "zvss%02d.tga", n);
        return text;
    }
    TempDir dir_;
    bitmap_tag* image_ = nullptr;

  private:
    bitmap_tag savedBack_;
    char savedHome_[256];
    char savedCwd_[256];
    uint32_t* savedPalette_ = nullptr;
};

TEST_F(ScreenshotTest, SixteenBitBackBuffersAndTheCounter) {
    useBackBuffer(PIXEL_ARGB1555, 13, 5, 1);
    auto [first, file] = takeShot();
    ASSERT_GE(first, 0);
    ASSERT_EQ(file.size(), 18u + 13 * 5 * 2);
    EXPECT_EQ(file[2], 2) << "uncompressed";
    EXPECT_EQ(file[16], 16);
    EXPECT_EQ(file[17], 0x20);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 13; ++x) {
            const uint8_t* p = image_->pixels + y * image_->rowBytes + 2 * x;
            // Written top row first, as the descriptor says; values unchanged.
            size_t at = 18 + 2 * (size_t(y) * 13 + x);
            ASSERT_EQ(uint16_t(file[at] | file[at + 1] << 8), uint16_t(p[0] | p[1] << 8))
                << x << "," << y;
        }

    char cwd[256];
    ASSERT_TRUE(libfileGetDir(cwd));
    char resolved[4096];
    ASSERT_NE(realpath(dir_.path().c_str(), resolved), nullptr);
    EXPECT_STREQ(cwd, resolved) << "the current directory stays the home directory";

    // Numbers run 1..99 and then 00; a hundred shots later a number repeats.
    int previous = first;
    for (int i = 0; i < 100; ++i) {
        int n = takeShot().first;
        ASSERT_EQ(n, previous == 99 ? 0 : previous + 1);
        previous = n;
    }
    EXPECT_EQ(previous, first);
}

TEST_F(ScreenshotTest, RGB565SetsBitFifteenAndDropsTheLowGreenBit) {
    useBackBuffer(PIXEL_RGB565, 9, 4, 2);
    auto [number, file] = takeShot();
    ASSERT_GE(number, 0);
    ASSERT_EQ(file.size(), 18u + 9 * 4 * 2);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 9; ++x) {
            const uint8_t* p = image_->pixels + y * image_->rowBytes + 2 * x;
            uint16_t v = uint16_t(p[0] | p[1] << 8);
            uint16_t expected = uint16_t(0x8000 | (v >> 1 & 0x7FE0) | (v & 0x1F));
            size_t at = 18 + 2 * (size_t(y) * 9 + x);
            ASSERT_EQ(uint16_t(file[at] | file[at + 1] << 8), expected) << x << "," << y;
        }
}

TEST_F(ScreenshotTest, EightBitPixelsTakeTheCurrentPaletteAndItsAlpha) {
    useBackBuffer(PIXEL_PAL8, 7, 3, 3);
    uint32_t* palette = swtest::randomPalette(4);
    paletteCurrent = palette;
    auto [number, file] = takeShot();
    ASSERT_GE(number, 0);
    ASSERT_EQ(file.size(), 18u + 7 * 3 * 2);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x) {
            uint32_t e = palette[image_->pixels[y * image_->rowBytes + x]];
            uint16_t expected = uint16_t((e >> 24 ? 0x8000 : 0) | ((e >> 19) & 31) << 10 |
                                         ((e >> 11) & 31) << 5 | ((e >> 3) & 31));
            size_t at = 18 + 2 * (size_t(y) * 7 + x);
            ASSERT_EQ(uint16_t(file[at] | file[at + 1] << 8), expected) << x << "," << y;
        }
    paletteFree(palette);
}

TEST_F(ScreenshotTest, FailuresReportThroughError) {
    useBackBuffer(PIXEL_RGB565, 4, 4, 5);
    {
        MessageCapture capture;
        std::strcpy(homedir, dir_.file("absent").c_str());
        saveScreenshot();
        EXPECT_EQ(capture.errors(),
                  std::vector<std::string>{"fileChDir() failed in saveScreenshot()"});
        std::strcpy(homedir, dir_.path().c_str());
    }
    {
        // Every name taken by a directory: the file cannot be created.
        for (int n = 0; n < 100; ++n)
            ASSERT_EQ(mkdir(dir_.file(shotName(n)).c_str(), 0700), 0);
        MessageCapture capture;
        saveScreenshot();
        EXPECT_EQ(capture.errors(),
                  std::vector<std::string>{"fileCreate() failed in saveScreenshot()"});
        for (int n = 0; n < 100; ++n)
            rmdir(dir_.file(shotName(n)).c_str());
    }
    {
        MessageCapture capture;
        int64_t before = memLiveBlocks();
        memFailNth(1);
        saveScreenshot();
        memFailNth(0);
        EXPECT_EQ(memLiveBlocks(), before);
        EXPECT_TRUE(capture.sawError("paletteAlloc() failed in saveScreenshot()"))
            << capture.dump();
    }
    {
        MessageCapture capture;
        screenGetBackBuffer()->pixels = nullptr;
        saveScreenshot();
        EXPECT_EQ(capture.errors(),
                  std::vector<std::string>{"bitmapWritePcx() failed in saveScreenshot()"});
    }
}

} // namespace
