// The headless driver: frames drawn into the back buffer reach the
// simulated primary surface, and the driver is chosen by name.
#include "fixture.h"

#include "bitmap/bitmap.h"

#include <cstring>

using namespace screentest;

namespace {

class HeadlessTest : public ScreenTest {
  protected:
    void SetUp() override {
        ScreenTest::SetUp();
        displayDriverOverride(nullptr);
        ASSERT_TRUE(rasterSetDisplayDriver("headless"));
    }
};

// Fills the locked back buffer with a seeded pattern, row by row.
void drawPattern(bitmap_tag* bb, uint32_t seed) {
    swtest::Rng rng(seed);
    const int bpp = bytesPerPixel(bb->pixelType);
    for (int32_t y = 0; y < bb->height; ++y)
        for (int32_t x = 0; x < bb->width * bpp; ++x)
            bb->pixels[int64_t(y) * bb->rowBytes + x] = uint8_t(rng.next());
}

bitmap_tag* frameLike(const bitmap_tag* bb) {
    bitmap_tag* frame = nullptr;
    EXPECT_TRUE(bitmapAlloc(&frame, bb->pixelType, bb->width, bb->height, 0));
    return frame;
}

} // namespace

TEST_F(HeadlessTest, PresentedFramesAreOnThePrimarySurface) {
    struct Case {
        uint8_t dedicated;
        int32_t width, height, bits;
        uint32_t green;
        uint8_t type;
    } cases[] = {
        {0, 640, 480, 8, 0x7E0, PIXEL_PAL8},
        {0, 800, 600, 16, 0x7E0, PIXEL_RGB565},
        {0, 1024, 768, 16, 0x3E0, PIXEL_ARGB1555},
        {1, 640, 480, 8, 0x7E0, PIXEL_RGB565}, // windowed on the 565 desktop
    };
    for (const auto& c : cases) {
        memoryDisplaySetModeGreenMask(c.green);
        ASSERT_TRUE(open(false, c.dedicated));
        screenmode_tag m = mode(c.width, c.height, c.bits);
        ASSERT_TRUE(screenBegin(&m));
        bitmap_tag* bb = screenGetBackBuffer();
        ASSERT_EQ(+bb->pixelType, c.type);
        bitmap_tag* frame = frameLike(bb);
        for (uint32_t seed = 1; seed <= 2; ++seed) {
            ASSERT_TRUE(lockBitmap());
            drawPattern(bb, seed * 100 + c.bits);
            const uint64_t drawn = swtest::bitmapHash(bb);
            // Not on screen before it is presented.
            ASSERT_TRUE(screenReadFrame(frame));
            EXPECT_NE(swtest::bitmapHash(frame), drawn);
            ASSERT_TRUE(screenDisplay(bb));
            ASSERT_TRUE(screenReadFrame(frame));
            EXPECT_EQ(swtest::bitmapHash(frame), drawn) << c.width << "x" << c.bits;
        }
        bitmapFree(frame);
        rasterEnd();
    }
}

TEST_F(HeadlessTest, WindowedFramesGoToTheClientAreaOrigin) {
    ASSERT_TRUE(open(false, 1));
    headless::setWindowRect(hostWindow, {100, 50, 740, 530});
    screenmode_tag m = mode(320, 200, 8);
    ASSERT_TRUE(screenBegin(&m));
    bitmap_tag* bb = screenGetBackBuffer();
    ASSERT_TRUE(lockBitmap());
    drawPattern(bb, 9);
    ASSERT_TRUE(screenDisplay(bb));
    bitmap_tag* frame = frameLike(bb);
    ASSERT_TRUE(screenReadFrame(frame));
    EXPECT_EQ(swtest::bitmapHash(frame), swtest::bitmapHash(bb));
    // The frame lies at the client origin: not at the corner of the screen.
    headless::setWindowRect(hostWindow, {0, 0, 640, 480});
    ASSERT_TRUE(screenReadFrame(frame));
    EXPECT_NE(swtest::bitmapHash(frame), swtest::bitmapHash(bb));
    bitmapFree(frame);
}

TEST_F(HeadlessTest, ScreenDisplayedShowsTheGivenRectangleOnly) {
    ASSERT_TRUE(open());
    screenmode_tag m = mode(640, 480, 8);
    ASSERT_TRUE(screenBegin(&m));
    bitmap_tag* bb = screenGetBackBuffer();
    ASSERT_TRUE(lockBitmap());
    std::memset(bb->pixels, 9, size_t(bb->rowBytes) * bb->height);
    bitmap_tag part = *bb;
    part.width = 100;
    part.height = 10;
    EXPECT_EQ(screenDisplayed(&part), 0);
    bitmap_tag* frame = frameLike(bb);
    ASSERT_TRUE(screenReadFrame(frame));
    for (int32_t y = 0; y < 12; ++y)
        for (int32_t x = 0; x < 102; ++x)
            ASSERT_EQ(frame->pixels[y * frame->rowBytes + x], x < 100 && y < 10 ? 9 : 0)
                << x << "," << y;
    bitmapFree(frame);
}

TEST_F(HeadlessTest, ReadFrameRefusesOtherShapes) {
    bitmap_tag* frame = nullptr;
    ASSERT_TRUE(bitmapAlloc(&frame, PIXEL_PAL8, 640, 480, 0));
    EXPECT_FALSE(screenReadFrame(frame)); // no display
    ASSERT_TRUE(open());
    screenmode_tag m = mode(640, 480, 8);
    ASSERT_TRUE(screenBegin(&m));
    EXPECT_TRUE(screenReadFrame(frame));
    EXPECT_FALSE(screenReadFrame(nullptr));
    bitmap_tag wrong = *frame;
    wrong.pixelType = PIXEL_RGB565;
    EXPECT_FALSE(screenReadFrame(&wrong));
    wrong = *frame;
    wrong.width = 641;
    EXPECT_FALSE(screenReadFrame(&wrong));
    wrong = *frame;
    wrong.rowBytes = 639;
    EXPECT_FALSE(screenReadFrame(&wrong));
    wrong = *frame;
    wrong.pixels = nullptr;
    EXPECT_FALSE(screenReadFrame(&wrong));
    bitmapFree(frame);
}

TEST_F(HeadlessTest, DriverChoiceByName) {
    EXPECT_FALSE(rasterSetDisplayDriver(nullptr));
    EXPECT_FALSE(rasterSetDisplayDriver("directdraw"));
    EXPECT_FALSE(rasterSetDisplayDriver(""));
    EXPECT_TRUE(rasterSetDisplayDriver("HEADLESS"));
    EXPECT_TRUE(rasterSetDisplayDriver("auto"));
#if SPANWRIGHT_HAVE_SDL2
    EXPECT_TRUE(rasterSetDisplayDriver("sdl"));
#else
    EXPECT_FALSE(rasterSetDisplayDriver("sdl"));
#endif
    EXPECT_TRUE(rasterSetDisplayDriver("headless"));
    ASSERT_TRUE(open());
    ASSERT_NE(displayDriverActive(), nullptr);
    EXPECT_STREQ(displayDriverActive()->name, "headless");
    // Not while the display is open.
    EXPECT_FALSE(rasterSetDisplayDriver("auto"));
    rasterEnd();
    EXPECT_EQ(displayDriverActive(), nullptr);
    EXPECT_TRUE(rasterSetDisplayDriver("auto"));
}

TEST_F(HeadlessTest, MemoryDisplayRefusesBadRequests) {
    DDObject* dd = nullptr;
    ASSERT_EQ(headlessDirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    DDSurfaceDesc desc = {};
    desc.size = sizeof desc;
    desc.flags = DDSD_CAPS;
    desc.caps = DDSCAPS_PRIMARYSURFACE;
    DDSurface* primary = nullptr;
    EXPECT_EQ(dd->CreateSurface(&desc, &primary, nullptr), DDERR_NOCOOPERATIVELEVELSET);
    EXPECT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DDERR_NOHWND);
    ASSERT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
    EXPECT_EQ(dd->SetDisplayMode(640, 480, 8), DDERR_NOEXCLUSIVEMODE);
    ASSERT_EQ(dd->SetCooperativeLevel(hostWindow, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
    EXPECT_EQ(dd->SetDisplayMode(640, 480, 24), DDERR_INVALIDMODE);
    EXPECT_EQ(dd->SetDisplayMode(100000, 480, 8), DDERR_INVALIDMODE);
    ASSERT_EQ(dd->SetDisplayMode(64, 32, 8), DD_OK);
    ASSERT_EQ(dd->CreateSurface(&desc, &primary, nullptr), DD_OK);
    DDSurface* second = nullptr;
    EXPECT_EQ(dd->CreateSurface(&desc, &second, nullptr), DDERR_PRIMARYSURFACEALREADYEXISTS);
    DDSurfaceDesc back = desc;
    back.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    back.caps = DDSCAPS_OFFSCREENPLAIN;
    back.width = 70000;
    back.height = 10;
    DDSurface* big = nullptr;
    EXPECT_EQ(dd->CreateSurface(&back, &big, nullptr), DDERR_INVALIDPARAMS);
    back.width = 32;
    ASSERT_EQ(dd->CreateSurface(&back, &second, nullptr), DD_OK);
    // A blit that leaves the surface without a clipper, or stretches.
    DDRect outside = {40, 0, 72, 10};
    EXPECT_EQ(primary->Blt(&outside, second, nullptr, 0, nullptr), DDERR_INVALIDRECT);
    DDRect larger = {0, 0, 40, 10};
    EXPECT_EQ(primary->Blt(&larger, second, nullptr, 0, nullptr), DDERR_NOSTRETCHHW);
    EXPECT_EQ(primary->BltFast(40, 0, second, nullptr, 0), DDERR_INVALIDRECT);
    DDSurfaceDesc lock = {};
    EXPECT_EQ(second->Lock(nullptr, &lock, 0, nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(second->Unlock(nullptr), DDERR_NOTLOCKED);
    second->Release();
    primary->Release();
    dd->Release();
}
