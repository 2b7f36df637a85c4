// Opening and closing the display, the window procedure, screen modes,
// the frame-rate readout, every message the display gives and the
// names of the DirectDraw result codes.
#include "fixture.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <tuple>

using namespace screentest;

// Versions -999 through 0 are accepted. The host's window procedure is
// replaced once (even when the version is refused), forwards to the host's,
// and is put back at rasterEnd, or by itself when the window goes first.
TEST_F(ScreenTest, VersionAndWindowProcedure) {
    for (int32_t version : {0, -1, -999, 1, 999, 1000, -1000, -1001}) {
        EXPECT_EQ(rasterBegin(version, 0, nullptr), version <= 0 && version >= -999) << version;
        rasterEnd();
    }
    ASSERT_TRUE(open());
    rasterEnd();
    EXPECT_FALSE(rasterBegin(1000, 1, &params));
    EXPECT_EQ(screenDisplayObject(), nullptr);
    EXPECT_EQ(windowsHeadless()->GetWindowProc(hostWindow), screenSubclassProc);
    EXPECT_TRUE(rasterBegin(0, 1, &params));
    EXPECT_EQ(headless::sendMessage(hostWindow, WM_ACTIVATEAPP, 1, 77),
              hostProc(hostWindow, WM_ACTIVATEAPP, 1, 77));
    rasterEnd();
    EXPECT_EQ(windowsHeadless()->GetWindowProc(hostWindow), hostProc);

    ASSERT_TRUE(open());
    EXPECT_EQ(headless::sendMessage(hostWindow, WM_NCDESTROY, 0, 2),
              hostProc(hostWindow, WM_NCDESTROY, 0, 2));
    EXPECT_EQ(windowsHeadless()->GetWindowProc(hostWindow), hostProc);
    headless::clearCallLog();
    rasterEnd();
    EXPECT_FALSE(logHas("SetWindowLongA")) << headless::callLog();
}

// Two modes are remembered; ending one sets the one before up again, ending
// the last empties the record. The cursor is kept in the host window.
TEST_F(ScreenTest, ModeStack) {
    ASSERT_TRUE(open());
    bitmap_tag* bb = screenGetBackBuffer();
    const bitmap_tag atLoad = {PIXEL_PAL8, 640, 480, 640, nullptr, nullptr};
    ASSERT_TRUE(beginMode(mode(640, 480, 8)));
    WinRect clip;
    ASSERT_TRUE(headless::cursorClip(&clip));
    EXPECT_EQ(clip.left + clip.top + clip.right + clip.bottom, 10 + 20 + 650 + 500);
    ASSERT_TRUE(beginMode(mode(800, 600, 16)));
    scripted::calls.clear();
    EXPECT_TRUE(screenEnd());
    EXPECT_EQ(scripted::count("SetDisplayMode"), 1);
    EXPECT_EQ(std::memcmp(bb, &atLoad, offsetof(bitmap_tag, map)), 0);
    scripted::calls.clear();
    ASSERT_TRUE(beginMode(mode(640, 480, 8))); // the same mode again: no new set-up
    EXPECT_TRUE(screenEnd());
    EXPECT_EQ(scripted::count("DirectDrawCreate"), 0);
    EXPECT_FALSE(screenEnd());
    EXPECT_EQ(std::count(reinterpret_cast<uint8_t*>(bb), reinterpret_cast<uint8_t*>(bb + 1), 0),
              int(sizeof *bb));
    EXPECT_EQ(screenCurrentMode(), nullptr);
    ASSERT_TRUE(beginMode(mode(640, 480, 8))); // three deep: one end goes back to the first
    ASSERT_TRUE(beginMode(mode(800, 600, 16)));
    ASSERT_TRUE(beginMode(mode(1024, 768, 8)));
    EXPECT_TRUE(screenEnd());
    EXPECT_EQ(+bb->width, 640);
    rasterEnd();
    EXPECT_FALSE(headless::cursorClip(nullptr));
}

// The readout after each frame, with the tick at the given second: the
// counts of whole seconds go into a ring of ten.
TEST_F(ScreenTest, FrameRateReadout) {
    begin(640, 480, 8);
    ShowFrameRate(1);
    swtest::Owned target(swtest::filledBitmap(PIXEL_PAL8, 64, 16, 0)),
        expected(swtest::filledBitmap(PIXEL_PAL8, 64, 16, 0));
    auto frameShows = [&](uint32_t tick, const char* text) {
        headless::setTick(true, tick);
        bitmapFill(target, 0x11);
        bitmapFill(expected, 0x11);
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
}

TEST_F(ScreenTest, NothingLeftOnAnyAllocationFailure) {
    rasterSetDisplayDriver("headless");
    displayDriverOverride(nullptr);
    const int allocations = swtest::expectCleanOnEveryAllocationFailure([] {
        ScreenBegin(nullptr);
        RasterBeginParams p = {};
        p.window = hostWindow;
        if (rasterBegin(0, 1, &p) && beginMode(mode(640, 480, 8)) && lockBitmap())
            screenDisplay(screenGetBackBuffer());
        rasterEnd();
    });
    EXPECT_GE(allocations, 5); // display object, DirectDraw object, two surfaces, a palette
}

// A driver that does not open.
const DisplayDriver unopenableDriver = {nullptr, [] { return false; }, nullptr,
                                        headlessDirectDrawCreate, scripted::driver.driver->windows};
const DisplayDriverRow unopenable = {"unopenable", &unopenableDriver};

// Opening fails with one debug line and no message box; without a display
// the screen type is unknown. (Set-up failures: FailedSetUpStep.)
TEST_F(ScreenTest, Messages) {
    const std::tuple<void (*)(), bool, const char*> unopened[] = {
        {[] { headless::setFailRegisterClass(true); }, true, "RegisterClassA() failed"},
        {[] { headless::setFailCreateWindow(true); }, true, "CreateWindowExA() failed"},
        {[] { displayDriverOverride(&unopenable); }, false, "displayDriverOpen() failed"},
    };
    for (const auto& [arrange, ownWindow, debug] : unopened) {
        SetUp();
        messages.clear();
        arrange();
        EXPECT_FALSE(open(ownWindow));
        EXPECT_EQ(messages.debug(), Lines{std::string(debug) + " in screenOpenDisplay()\n"});
        EXPECT_EQ(messages.errors(), Lines{});
        EXPECT_FALSE(logHas("MessageBoxA"));
        rasterEnd();
    }
    messages.clear();
    EXPECT_TRUE(beginMode(mode(640, 480, 8)));
    EXPECT_EQ(messages.debug(), (Lines{"ddsd.lPitch = 0\n", "ddsd.lpSurface = 00000000\n"}));
    EXPECT_EQ(messages.errors(), Lines{"Unknown Screen pixel type\n\n"});
}

TEST_F(ScreenTest, ErrorNames) {
    EXPECT_STREQ(DDErrorName(DDResult(0x887601C2u)), "DDERR_SURFACELOST");
    EXPECT_STREQ(DDErrorName(DDResult(0x80070057u)), "DDERR_INVALIDPARAMS"); // a platform code
    EXPECT_STREQ(DDErrorName(0), "DD_OK");
    // One static text: the next unknown code overwrites it.
    const char* unknown = DDErrorName(DDResult(0x8876FFFFu));
    EXPECT_STREQ(unknown, "Unknown error 65535");
    EXPECT_EQ(DDErrorName(DDResult(0x88760001u)), unknown);
    EXPECT_STREQ(unknown, "Unknown error 1");
}
