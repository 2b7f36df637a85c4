// Opening and closing the display, the window procedure, screen modes,
// locking, the frame-rate readout, every message the display gives and the
// names of the DirectDraw result codes.
#include "fixture.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>

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
    EXPECT_EQ(headless::sendMessage(hostWindow, WM_ACTIVATEAPP, 1, 77), 42);
    EXPECT_EQ(hostMessages, (std::vector<std::vector<intptr_t>>{
                                {intptr_t(hostWindow), intptr_t(WM_ACTIVATEAPP), 1, 77}}));
    rasterEnd();
    EXPECT_EQ(windowsHeadless()->GetWindowProc(hostWindow), hostProc);

    ASSERT_TRUE(open());
    EXPECT_EQ(headless::sendMessage(hostWindow, WM_NCDESTROY, 0, 0), 42);
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
    screenmode_tag a = mode(640, 480, 8), b = mode(800, 600, 16), c = mode(1024, 768, 8);
    ASSERT_TRUE(screenBegin(&a)); // the record's shape at load: still set up
    EXPECT_EQ(scripted::count("SetDisplayMode"), 1);
    WinRect clip;
    ASSERT_TRUE(headless::cursorClip(&clip));
    EXPECT_EQ(clip.left + clip.top + clip.right + clip.bottom, 10 + 20 + 650 + 500);
    ASSERT_TRUE(screenBegin(&b));
    scripted::calls.clear();
    EXPECT_TRUE(screenEnd());
    EXPECT_EQ(scripted::count("SetDisplayMode"), 1);
    EXPECT_EQ(std::memcmp(bb, &atLoad, offsetof(bitmap_tag, map)), 0);
    EXPECT_EQ(std::memcmp(screenCurrentMode(), &a, sizeof a), 0);
    scripted::calls.clear();
    ASSERT_TRUE(screenBegin(&a)); // the same mode again: no new set-up
    EXPECT_TRUE(screenEnd());
    EXPECT_EQ(scripted::count("DirectDrawCreate"), 0);
    EXPECT_FALSE(screenEnd());
    EXPECT_EQ(std::count(reinterpret_cast<uint8_t*>(bb), reinterpret_cast<uint8_t*>(bb + 1), 0),
              int(sizeof *bb));
    EXPECT_EQ(screenCurrentMode(), nullptr);
    ASSERT_TRUE(screenBegin(&a)); // three deep: one end goes back to the first
    ASSERT_TRUE(screenBegin(&b));
    ASSERT_TRUE(screenBegin(&c));
    EXPECT_TRUE(screenEnd());
    EXPECT_EQ(+bb->width, 640);
    rasterEnd();
    EXPECT_FALSE(headless::cursorClip(nullptr));
}

// A lock is undone once; the internal lock words describe the locked
// buffer.
TEST_F(ScreenTest, Locking) {
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
    EXPECT_EQ(scripted::calls, (std::vector<std::string>{"back.Lock", "back.Unlock"}));
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

// A driver that does not open.
const DisplayDriver unopenableDriver = {nullptr, [] { return false; }, nullptr,
                                        headlessDirectDrawCreate, scripted::driver.driver->windows};
const DisplayDriverRow unopenable = {"unopenable", &unopenableDriver};

TEST_F(ScreenTest, Messages) {
    using Strings = std::vector<std::string>;
    auto screenBeginWith = [&](int32_t width, int32_t bits) {
        screenmode_tag m = mode(width, width * 3 / 4, bits);
        return screenBegin(&m);
    };
    auto screenType = [](int32_t pitch) {
        return Strings{"ddsd.lPitch = " + std::to_string(pitch) + "\n",
                       "ddsd.lpSurface = 00000000\n"};
    };
    struct Row {
        const char* situation;
        std::function<bool()> run; // false: refused
        Strings debug = {}, errors = {};
        std::string box = {}; // the text of the message box; empty: none
    } rows[] = {
        {"mode refused",
         [&] {
             scripted::fail("SetDisplayMode", DDERR_INVALIDMODE);
             return open() && screenBeginWith(1024, 16);
         },
         {"CDDWin::ChangeDisplayMode failed: 88760078\n", "DDERR DDERR_INVALIDMODE\n"},
         {},
         "DDERR DDERR_INVALIDMODE"},
        {"class not registered",
         [&] { return headless::setFailRegisterClass(true), open(true); },
         {"RegisterClassA() failed in screenOpenDisplay()\n"}},
        {"window not made",
         [&] { return headless::setFailCreateWindow(true), open(true); },
         {"CreateWindowExA() failed in screenOpenDisplay()\n"}},
        {"driver does not open",
         [&] { return displayDriverOverride(&unopenable), open(); },
         {"displayDriverOpen() failed in screenOpenDisplay()\n"}},
        {"8-bit screen",
         [&] { return !(open() && screenBeginWith(640, 8)); },
         screenType(640),
         {"Screen pixel type is 8-bit\n\n"}},
        {"565 screen",
         [&] { return !(open() && screenBeginWith(800, 16)); },
         screenType(1600),
         {"Screen pixel type is 16-bit: 565\n\n"}},
        {"1555 screen",
         [&] {
             return memoryDisplaySetModeGreenMask(0x3E0), !(open() && screenBeginWith(640, 16));
         },
         screenType(1280),
         {"Screen pixel type is 16-bit: 1555\n\n"}},
        {"no display",
         [&] { return !screenBeginWith(640, 8); },
         screenType(0),
         {"Unknown Screen pixel type\n\n"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.situation);
        SetUp();
        messages.clear();
        EXPECT_FALSE(row.run());
        EXPECT_EQ(messages.debug(), row.debug);
        EXPECT_EQ(messages.errors(), row.errors);
        EXPECT_EQ(logHas("MessageBoxA"), !row.box.empty());
        EXPECT_TRUE(
            row.box.empty() ||
            logHas("MessageBoxA host \"Error Initializing Direct Draw\" \"" + row.box + "\" 0\n"))
            << headless::callLog();
        rasterEnd();
    }
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
