// Screenshots of the back buffer: pixels, names and counter, failures.
#include "bitmap/bitmap.h"
#include "filetest.h"
#include "imagefile/tga.h"

#include <unistd.h>

using namespace swtest;

namespace {

// Points the library's back buffer record at a test bitmap and homedir at
// a fresh directory; puts both, and the current directory, back afterwards.
class ScreenshotTest : public testing::Test {
  protected:
    ScreenshotTest() : savedBack_(*screenGetBackBuffer()) {
        std::memcpy(savedHome_, homedir, sizeof savedHome_);
        std::snprintf(homedir, sizeof homedir, "%s", dir_.path().c_str());
    }
    ~ScreenshotTest() override {
        *screenGetBackBuffer() = savedBack_;
        std::memcpy(homedir, savedHome_, sizeof savedHome_);
        bitmapFree(image_);
    }
    void useBackBuffer(uint8_t type, uint32_t seed) {
        bitmapFree(image_);
        image_ = randomBitmap(type, 13, 5, seed);
        *screenGetBackBuffer() = *image_;
    }
    // One screenshot in an emptied directory: its number (-1 when no file
    // appeared) and its bytes.
    std::pair<int, Bytes> takeShot() {
        for (int n = 0; n < 100; ++n)
            unlink(shotPath(n).c_str());
        saveScreenshot();
        for (int n = 0; n < 100; ++n)
            if (access(shotPath(n).c_str(), F_OK) == 0) return {n, readFile(shotPath(n))};
        return {-1, {}};
    }
    std::string shotPath(int n) const {
        return dir_.file("zvss" + std::to_string(n / 10) + std::to_string(n % 10) + ".tga");
    }
    TempDir dir_;
    ChangeDir cwd_{"."};
    SelectionGuard selection_;
    bitmap_tag* image_ = nullptr;
    bitmap_tag savedBack_;
    char savedHome_[256];
};

// A 16-bit TGA of the back buffer (an 8-bit one through the current
// palette) in the home directory, which stays the current one. Numbers run
// 1..99 and then 00.
TEST_F(ScreenshotTest, NumberedTgasOfTheBackBuffer) {
    uint32_t* palette = randomPalette(4);
    paletteCurrent = palette;
    for (int i = 0, previous = -1; i < 101; ++i) {
        useBackBuffer(i % 2 ? PIXEL_PAL8 : PIXEL_RGB565, uint32_t(i));
        auto [number, file] = takeShot();
        ASSERT_EQ(number, previous < 0 ? number : previous == 99 ? 0 : previous + 1);
        ASSERT_EQ(file, written([&](file_tag* f) {
                      return tgaWriteBitmap(image_, palette, f, false, false, 16);
                  }));
        previous = number;
    }
    char cwd[256];
    ASSERT_TRUE(libfileGetDir(cwd));
    std::error_code error;
    EXPECT_TRUE(std::filesystem::equivalent(cwd, dir_.path(), error));
    paletteFree(palette);
}

TEST_F(ScreenshotTest, FailuresReportThroughError) {
    useBackBuffer(PIXEL_RGB565, 5);
    MessageCapture capture;
    std::strcpy(homedir, dir_.file("absent").c_str());
    saveScreenshot();
    std::strcpy(homedir, dir_.path().c_str());
    // Every name taken by a directory: the file cannot be created.
    for (int n = 0; n < 100; ++n)
        ASSERT_TRUE(std::filesystem::create_directory(shotPath(n)));
    saveScreenshot();
    for (int n = 0; n < 100; ++n)
        std::filesystem::remove(shotPath(n));
    int64_t before = memLiveBlocks();
    memFailNth(1);
    saveScreenshot();
    memFailNth(0);
    EXPECT_EQ(memLiveBlocks(), before);
    screenGetBackBuffer()->pixels = nullptr;
    saveScreenshot();
    EXPECT_EQ(capture.errors(),
              (std::vector<std::string>{"fileChDir() failed in saveScreenshot()",
                                        "fileCreate() failed in saveScreenshot()",
                                        "paletteAlloc() failed in saveScreenshot()",
                                        "bitmapWritePcx() failed in saveScreenshot()"}));
}

} // namespace
