// Opening and closing the display, the window procedure, screen modes, the
// back buffer, locking and the frame-rate readout.
#include "fixture.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

using namespace screentest;

TEST_F(ScreenTest, VersionAcceptance) {
    EXPECT_EQ(rasterVersion(), 0);
    for (int32_t version : {0, -1, -999, 1, 999, 1000, -1000, -1001}) {
        EXPECT_EQ(rasterBegin(version, 0, nullptr), version <= 0 && version >= -999) << version;
        rasterEnd();
    }
    // Refused: no display, though the window procedure is still replaced.
    ASSERT_TRUE(open());
    rasterEnd();
    EXPECT_FALSE(rasterBegin(1000, 1, &params));
    EXPECT_EQ(screenDisplayObject(), nullptr);
    EXPECT_EQ(windowsHeadless()->GetWindowProc(hostWindow), screenSubclassProc);
}

TEST_F(ScreenTest, WindowProcedureForwardsAndIsRestored) {
    EXPECT_TRUE(rasterBegin(0, 0, nullptr)); // no host window: nothing replaced
    EXPECT_FALSE(logHas("SetWindowLongA"));
    ASSERT_TRUE(open());
    EXPECT_TRUE(rasterBegin(0, 1, &params)); // a second one keeps the first replacement
    EXPECT_EQ(headless::sendMessage(hostWindow, WM_ACTIVATEAPP, 1, 77), 42);
    EXPECT_EQ(hostMessages, (std::vector<std::vector<intptr_t>>{
                                {intptr_t(hostWindow), intptr_t(WM_ACTIVATEAPP), 1, 77}}));
    rasterEnd();
    EXPECT_EQ(windowsHeadless()->GetWindowProc(hostWindow), hostProc);

    // The host window destroyed first: the procedure puts itself back and
    // is forgotten, so rasterEnd no longer touches it.
    ASSERT_TRUE(open());
    EXPECT_EQ(headless::sendMessage(hostWindow, WM_NCDESTROY, 0, 0), 42);
    EXPECT_EQ(windowsHeadless()->GetWindowProc(hostWindow), hostProc);
    headless::clearCallLog();
    rasterEnd();
    EXPECT_FALSE(logHas("SetWindowLongA")) << headless::callLog();
}

TEST_F(ScreenTest, OpeningMakesTheDisplayWindow) {
    ASSERT_TRUE(open(true));
    EXPECT_TRUE(logHas("RegisterClassA spanwright test style=0x4000 extra=0,0 icon=32512 "
                       "cursor=none background=5 menu=none\n"
                       "CreateWindowExA ex=0x8 class=spanwright test title=spanwright test "
                       "style=0x80080000 0,0 800x600 parent=none menu=none instance=none\n"
                       "ShowWindow win1 3\nUpdateWindow win1\nSetFocus win1\n"))
        << headless::callLog();
    EXPECT_EQ(scripted::calls(), std::vector<std::string>{"DirectDrawCreate"});
    // Opened again: the first window goes, an existing class is kept.
    params.classRegistered = 1;
    headless::clearCallLog();
    EXPECT_TRUE(rasterBegin(0, 1, &params));
    EXPECT_FALSE(logHas("RegisterClassA"));
    EXPECT_TRUE(logHas("DestroyWindow win1\n"));
    headless::clearCallLog();
    rasterEnd();
    EXPECT_TRUE(logHas("DestroyWindow win2\n"));
    EXPECT_TRUE(logHas("ClipCursor null\n"));
}

TEST_F(ScreenTest, ModeStack) {
    ASSERT_TRUE(open());
    bitmap_tag* bb = screenGetBackBuffer();
    const bitmap_tag atLoad = {PIXEL_PAL8, 640, 480, 640, nullptr, nullptr};
    screenmode_tag a = mode(640, 480, 8), b = mode(800, 600, 16), c = mode(1024, 768, 8);
    // The shape of the record at load still initialises the display.
    ASSERT_TRUE(screenBegin(&a));
    EXPECT_EQ(scripted::count("SetDisplayMode"), 1);
    WinRect clip;
    ASSERT_TRUE(headless::cursorClip(&clip)); // confined to the host window
    EXPECT_EQ(clip.left + clip.top + clip.right + clip.bottom, 10 + 20 + 650 + 500);
    ASSERT_TRUE(screenBegin(&b));
    EXPECT_EQ(+bb->rowBytes, 1600);
    scripted::clear();
    EXPECT_TRUE(screenEnd());
    const auto& calls = scripted::calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "SetDisplayMode 640x480x8"), 1);
    EXPECT_EQ(std::memcmp(bb, &atLoad, offsetof(bitmap_tag, map)), 0);
    EXPECT_EQ(std::memcmp(screenCurrentMode(), &a, sizeof a), 0);
    scripted::clear();
    ASSERT_TRUE(screenBegin(&a)); // the same mode again: no new set-up
    EXPECT_TRUE(screenEnd());
    EXPECT_EQ(scripted::count("DirectDrawCreate"), 0);
    EXPECT_FALSE(screenEnd());
    EXPECT_EQ(std::count(reinterpret_cast<uint8_t*>(bb), reinterpret_cast<uint8_t*>(bb + 1), 0),
              int(sizeof *bb));
    EXPECT_EQ(screenCurrentMode(), nullptr);

    // Three deep: the third is not remembered, one end goes back to the first.
    ASSERT_TRUE(screenBegin(&a));
    ASSERT_TRUE(screenBegin(&b));
    ASSERT_TRUE(screenBegin(&c));
    EXPECT_TRUE(screenEnd());
    EXPECT_EQ(+bb->width, 640);
    rasterEnd();
    EXPECT_FALSE(headless::cursorClip(nullptr));
}

TEST_F(ScreenTest, LockCycleAndInternalLock) {
    begin(640, 480, 16);
    bitmap_tag* bb = screenGetBackBuffer();
    uintptr_t words[3];
    ASSERT_TRUE(lockBitmap());
    ASSERT_TRUE(getScreenInternalLock(words));
    EXPECT_EQ(words[0], reinterpret_cast<uintptr_t>(bb->pixels));
    EXPECT_EQ(words[1], 1280u);
    EXPECT_EQ(words[2], uintptr_t(PIXEL_RGB565));
    std::memset(bb->pixels, 0x5A, size_t(bb->rowBytes) * bb->height); // all writable
    unlockBitmap();
    unlockBitmap();
    EXPECT_EQ(scripted::calls(), (std::vector<std::string>{"back.Lock", "back.Unlock"}));
    EXPECT_FALSE(getScreenInternalLock(nullptr));
}

TEST_F(ScreenTest, NoDisplayObject) {
    EXPECT_FALSE(lockBitmap());
    EXPECT_EQ(ScreenGetPixelType(), 255);
    EXPECT_FALSE(screenSupportsTGA());
    EXPECT_TRUE(screenDisplay(screenGetBackBuffer()));
    EXPECT_EQ(screenDisplayed(screenGetBackBuffer()), 0);
    screenmode_tag m = mode(640, 480, 8);
    EXPECT_TRUE(screenBegin(&m));
    EXPECT_EQ(+screenGetBackBuffer()->rowBytes, 0);
    EXPECT_EQ(+screenGetBackBuffer()->pixelType, 255);
    EXPECT_TRUE(scripted::calls().empty());
}

TEST_F(ScreenTest, DisplayedPresentsItsRectangleWithoutReadoutAndAnswersZero) {
    begin(640, 480, 8);
    ShowFrameRate(1);
    ASSERT_TRUE(lockBitmap());
    bitmap_tag* bb = screenGetBackBuffer();
    std::memset(bb->pixels, 0, size_t(bb->rowBytes) * bb->height);
    bitmap_tag part = *bb;
    part.width = 100;
    part.height = 10;
    EXPECT_EQ(screenDisplayed(&part), 0);
    EXPECT_EQ(scripted::calls(),
              (std::vector<std::string>{"back.Lock", "back.Unlock",
                                        "primary.BltFast 0,0 <- back 0,0,100,10 flags=0x0"}));
    ASSERT_TRUE(lockBitmap());
    EXPECT_EQ(std::count(bb->pixels, bb->pixels + 64, 0), 64) << "the readout was drawn";
}

// The readout after each frame, with the tick at the given second: the
// counts of whole seconds go into a ring of ten.
TEST_F(ScreenTest, FrameRateReadout) {
    begin(640, 480, 8);
    ShowFrameRate(1);
    bitmap_tag *target = nullptr, *expected = nullptr;
    ASSERT_TRUE(bitmapAlloc(&target, PIXEL_PAL8, 64, 16, 0));
    ASSERT_TRUE(bitmapAlloc(&expected, PIXEL_PAL8, 64, 16, 0));
    auto frameShows = [&](uint32_t tick, const char* text) {
        headless::setTick(true, tick);
        std::memset(target->pixels, 0x11, size_t(target->rowBytes) * target->height);
        std::memset(expected->pixels, 0x11, size_t(expected->rowBytes) * expected->height);
        EXPECT_TRUE(screenDisplay(target));
        drawDebugText(expected, 255, 0, 0, text, 0);
        EXPECT_EQ(swtest::bitmapHash(target), swtest::bitmapHash(expected)) << tick;
    };
    frameShows(5000, " 0( 0)"); // closes second 0, which held no frames
    frameShows(6000, " 0( 1)"); // second 5 held one frame: (0 + 1) / 2
    frameShows(6500, " 0( 1)");
    frameShows(7000, " 1( 2)");         // second 6 held two: (0 + 1 + 2) / 3
    for (uint32_t s = 8; s < 18; ++s) { // ten seconds of two frames: the ring holds only those
        headless::setTick(true, s * 1000);
        screenDisplay(target);
        screenDisplay(target);
    }
    frameShows(18000, " 2( 2)");
    bitmapFree(target);
    bitmapFree(expected);
}

TEST_F(ScreenTest, NothingLeftOnAnyAllocationFailure) {
    rasterSetDisplayDriver("headless");
    displayDriverOverride(nullptr);
    const int allocations = swtest::expectCleanOnEveryAllocationFailure([] {
        ScreenBegin(nullptr);
        RasterBeginParams p = {};
        p.window = hostWindow;
        if (rasterBegin(0, 1, &p)) {
            screenmode_tag m = mode(640, 480, 8);
            if (screenBegin(&m) && lockBitmap()) screenDisplay(screenGetBackBuffer());
        }
        rasterEnd();
    });
    EXPECT_GE(allocations, 5); // display object, DirectDraw object, two surfaces, a palette
}
