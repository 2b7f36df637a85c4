// Opening and closing the display, the window procedure, screen modes, the
// back buffer, locking and the frame-rate readout.
#include "fixture.h"

#include <algorithm>
#include <cstring>

using namespace screentest;

namespace {

bool logHas(const std::string& line) {
    return std::string(headless::callLog()).find(line + "\n") != std::string::npos;
}

// Positions of lines in the call log, in the order given; -1 when missing.
std::vector<size_t> logPositions(const std::vector<std::string>& lines) {
    std::string log = headless::callLog();
    std::vector<size_t> at;
    for (const auto& line : lines) {
        size_t p = log.find(line + "\n");
        at.push_back(p == std::string::npos ? size_t(-1) : p);
    }
    return at;
}

bool allZero(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; ++i)
        if (b[i]) return false;
    return true;
}

} // namespace

TEST_F(ScreenTest, VersionAcceptance) {
    EXPECT_EQ(rasterVersion(), 0);
    struct {
        int32_t version;
        uint8_t accepted;
    } cases[] = {{0, 1}, {-1, 1}, {-999, 1}, {1, 0}, {999, 0}, {1000, 0}, {-1000, 0}, {-1001, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(rasterBegin(c.version, 0, nullptr), c.accepted) << c.version;
        rasterEnd();
    }
    // Accepted with a display to open: the display object exists.
    ASSERT_TRUE(open());
    EXPECT_NE(screenDisplayObject(), nullptr);
    rasterEnd();
    EXPECT_EQ(screenDisplayObject(), nullptr);
    // Refused: no display, though the window procedure is still replaced.
    EXPECT_FALSE(rasterBegin(1000, 1, &params));
    EXPECT_EQ(screenDisplayObject(), nullptr);
    EXPECT_EQ(windowsHeadless()->GetWindowProc(hostWindow), screenSubclassProc);
}

TEST_F(ScreenTest, WindowProcedureForwardsAndRestores) {
    ASSERT_TRUE(open());
    ASSERT_EQ(windowsHeadless()->GetWindowProc(hostWindow), screenSubclassProc);
    EXPECT_EQ(headless::sendMessage(hostWindow, WM_ACTIVATEAPP, 1, 77), 42);
    ASSERT_EQ(hostMessages.size(), 1u);
    EXPECT_EQ(hostMessages[0].window, hostWindow);
    EXPECT_EQ(hostMessages[0].message, WM_ACTIVATEAPP);
    EXPECT_EQ(hostMessages[0].wParam, 1u);
    EXPECT_EQ(hostMessages[0].lParam, 77);
    rasterEnd();
    EXPECT_EQ(windowsHeadless()->GetWindowProc(hostWindow), hostProc);
}

TEST_F(ScreenTest, WindowDestroyedFirstPutsItsProcedureBack) {
    ASSERT_TRUE(open());
    EXPECT_EQ(headless::sendMessage(hostWindow, WM_NCDESTROY, 0, 0), 42);
    EXPECT_EQ(windowsHeadless()->GetWindowProc(hostWindow), hostProc);
    ASSERT_EQ(hostMessages.size(), 1u);
    EXPECT_EQ(hostMessages[0].message, WM_NCDESTROY);
    // The previous procedure is forgotten: rasterEnd no longer touches it.
    headless::clearCallLog();
    rasterEnd();
    EXPECT_FALSE(logHas("SetWindowLongA host GWL_WNDPROC")) << headless::callLog();
}

TEST_F(ScreenTest, NoHostWindowNoReplacement) {
    EXPECT_TRUE(rasterBegin(0, 0, nullptr));
    EXPECT_EQ(std::string(headless::callLog()).find("SetWindowLongA"), std::string::npos);
}

TEST_F(ScreenTest, OpeningMakesTheDisplayWindowInOrder) {
    ASSERT_TRUE(open(true));
    auto at = logPositions(
        {"RegisterClassA spanwright test style=0x4000 extra=0,0 icon=32512 cursor=none "
         "background=5 menu=none",
         "CreateWindowExA ex=0x8 class=spanwright test title=spanwright test style=0x80080000 "
         "0,0 800x600 parent=none menu=none instance=none",
         "ShowWindow win1 3", "UpdateWindow win1", "SetFocus win1"});
    for (size_t i = 0; i < at.size(); ++i) {
        ASSERT_NE(at[i], size_t(-1)) << i << "\n" << headless::callLog();
        if (i) {
            EXPECT_LT(at[i - 1], at[i]);
        }
    }
    EXPECT_EQ(scripted::calls(), std::vector<std::string>{"DirectDrawCreate"});
    EXPECT_EQ(headless::liveWindows(), 1);
    headless::clearCallLog();
    rasterEnd();
    EXPECT_TRUE(logHas("DestroyWindow win1"));
    EXPECT_TRUE(logHas("ClipCursor null"));
    EXPECT_EQ(headless::liveWindows(), 0);
}

TEST_F(ScreenTest, OpeningFailures) {
    // An existing class is not registered again.
    headless::clearCallLog();
    SetDedicatedMode(0);
    params = {};
    params.className = "spanwright test";
    params.classRegistered = 1;
    EXPECT_TRUE(rasterBegin(0, 1, &params));
    EXPECT_EQ(std::string(headless::callLog()).find("RegisterClassA"), std::string::npos);
    rasterEnd();

    params.classRegistered = 0;
    headless::setFailRegisterClass(true);
    EXPECT_FALSE(rasterBegin(0, 1, &params));
    EXPECT_TRUE(messages.sawDebug("RegisterClassA() failed in screenOpenDisplay()\n"));
    rasterEnd();
    headless::setFailRegisterClass(false);

    headless::setFailCreateWindow(true);
    EXPECT_FALSE(rasterBegin(0, 1, &params));
    EXPECT_TRUE(messages.sawDebug("CreateWindowExA() failed in screenOpenDisplay()\n"));
    rasterEnd();
    headless::setFailCreateWindow(false);

    scripted::fail("DirectDrawCreate", DDERR_OUTOFMEMORY);
    EXPECT_FALSE(open());
    EXPECT_EQ(screenDisplayObject()->lastResult(), DDERR_OUTOFMEMORY);
    EXPECT_FALSE(screenDisplayObject()->hasPrimary());
}

TEST_F(ScreenTest, FirstModeInitialisesAndFillsTheBackBuffer) {
    ASSERT_TRUE(open());
    bitmap_tag* bb = screenGetBackBuffer();
    // Before any mode: 640 x 480 indexed, no pixels.
    EXPECT_EQ(+bb->pixelType, PIXEL_PAL8);
    EXPECT_EQ(+bb->width, 640);
    EXPECT_EQ(+bb->rowBytes, 640);
    EXPECT_EQ(+bb->pixels, nullptr);
    // The same shape as the first mode still initialises the display.
    screenmode_tag m = mode(640, 480, 8);
    ASSERT_TRUE(screenBegin(&m));
    EXPECT_EQ(scripted::count("SetDisplayMode"), 1);
    EXPECT_EQ(+bb->pixelType, PIXEL_PAL8);
    EXPECT_EQ(+bb->width, 640);
    EXPECT_EQ(+bb->height, 480);
    EXPECT_EQ(+bb->rowBytes, 640);
    EXPECT_EQ(+bb->map, nullptr);
    EXPECT_TRUE(messages.sawDebug("ddsd.lPitch = 640\n"));
    EXPECT_TRUE(messages.sawDebug("ddsd.lpSurface = 00000000\n")) << messages.dump();
    EXPECT_TRUE(messages.sawError("Screen pixel type is 8-bit\n\n"));
    // The cursor is confined to the host window.
    WinRect clip;
    ASSERT_TRUE(headless::cursorClip(&clip));
    EXPECT_EQ(clip.left, 10);
    EXPECT_EQ(clip.top, 20);
    EXPECT_EQ(clip.right, 650);
    EXPECT_EQ(clip.bottom, 500);
    rasterEnd();
    EXPECT_FALSE(headless::cursorClip(nullptr));
}

TEST_F(ScreenTest, ModeStackNesting) {
    ASSERT_TRUE(open());
    screenmode_tag a = mode(640, 480, 8), b = mode(800, 600, 16), c = mode(1024, 768, 8);
    std::strcpy(a.name, "mode A");
    ASSERT_TRUE(screenBegin(&a));
    ASSERT_TRUE(screenBegin(&b));
    bitmap_tag* bb = screenGetBackBuffer();
    EXPECT_EQ(+bb->width, 800);
    EXPECT_EQ(+bb->pixelType, PIXEL_RGB565);
    EXPECT_EQ(+bb->rowBytes, 1600);
    EXPECT_TRUE(messages.sawError("Screen pixel type is 16-bit: 565\n\n"));

    scripted::clear();
    EXPECT_TRUE(screenEnd());
    EXPECT_EQ(scripted::count("SetDisplayMode"), 1);
    EXPECT_NE(
        std::find(scripted::calls().begin(), scripted::calls().end(), "SetDisplayMode 640x480x8"),
        scripted::calls().end());
    EXPECT_EQ(+bb->width, 640);
    EXPECT_EQ(+bb->height, 480);
    EXPECT_EQ(+bb->pixelType, PIXEL_PAL8);
    ASSERT_NE(screenCurrentMode(), nullptr);
    EXPECT_EQ(std::memcmp(screenCurrentMode(), &a, sizeof a), 0);

    EXPECT_FALSE(screenEnd());
    EXPECT_TRUE(allZero(bb, sizeof *bb));
    EXPECT_EQ(screenCurrentMode(), nullptr);
    EXPECT_FALSE(screenEnd());

    // Three deep: the third is not remembered, one end goes back to the first.
    ASSERT_TRUE(screenBegin(&a));
    ASSERT_TRUE(screenBegin(&b));
    ASSERT_TRUE(screenBegin(&c));
    EXPECT_EQ(+screenGetBackBuffer()->width, 1024);
    EXPECT_TRUE(screenEnd());
    EXPECT_EQ(+screenCurrentMode()->width, 640);
    EXPECT_EQ(+bb->width, 640);
    EXPECT_EQ(+bb->pixelType, PIXEL_PAL8);
}

TEST_F(ScreenTest, SameModeAgainDoesNotReinitialise) {
    begin(800, 600, 16);
    screenmode_tag again = mode(800, 600, 16);
    ASSERT_TRUE(screenBegin(&again));
    EXPECT_EQ(scripted::count("DirectDrawCreate"), 0);
    EXPECT_EQ(+screenGetBackBuffer()->width, 800);
}

TEST_F(ScreenTest, LockCycleAndInternalLock) {
    begin(640, 480, 16);
    bitmap_tag* bb = screenGetBackBuffer();
    uintptr_t words[3];
    ASSERT_TRUE(lockBitmap());
    ASSERT_NE(+bb->pixels, nullptr);
    ASSERT_TRUE(getScreenInternalLock(words));
    EXPECT_EQ(words[0], reinterpret_cast<uintptr_t>(bb->pixels));
    EXPECT_EQ(words[1], uintptr_t(bb->rowBytes));
    EXPECT_EQ(words[2], uintptr_t(bb->pixelType));
    EXPECT_EQ(words[1], 1280u);
    EXPECT_EQ(words[2], uintptr_t(PIXEL_RGB565));
    // The whole back buffer, padding aside, is writable memory.
    std::memset(bb->pixels, 0x5A, size_t(bb->rowBytes) * bb->height);
    EXPECT_EQ(scripted::calls(), std::vector<std::string>{"back.Lock"});
    unlockBitmap();
    unlockBitmap();
    EXPECT_EQ(scripted::count("back.Unlock"), 1);
    EXPECT_FALSE(getScreenInternalLock(nullptr));
}

TEST_F(ScreenTest, NoDisplayObject) {
    EXPECT_FALSE(lockBitmap());
    EXPECT_EQ(ScreenGetPixelType(), 255);
    EXPECT_FALSE(screenSupportsTGA());
    EXPECT_TRUE(screenDisplay(screenGetBackBuffer()));
    EXPECT_EQ(screenDisplayed(screenGetBackBuffer()), 0);
    // Without a display the set-up takes pitch 0 and the unknown type.
    screenmode_tag m = mode(640, 480, 8);
    EXPECT_TRUE(screenBegin(&m));
    EXPECT_EQ(+screenGetBackBuffer()->rowBytes, 0);
    EXPECT_EQ(+screenGetBackBuffer()->pixelType, 255);
    EXPECT_TRUE(messages.sawError("Unknown Screen pixel type\n\n"));
    EXPECT_TRUE(scripted::calls().empty());
}

TEST_F(ScreenTest, RendererInterfaceEntryPoints) {
    EXPECT_EQ(screenIs3dfx(), 0);
    EXPECT_EQ(screenIsAccelerated(), 0);
    EXPECT_EQ(getFxAAEnabled(), 0);
    EXPECT_TRUE(ScreenBegin(nullptr));
    EXPECT_TRUE(ScreenSetMode(1, 2, 3));
    EXPECT_TRUE(ScreenRestoreMode(1, 2, 3));
    EXPECT_EQ(SetDedicatedMode(1), 0);
    EXPECT_EQ(SetDedicatedMode(0), 1);
    EXPECT_EQ(ShowFrameRate(7), 7);
    EXPECT_EQ(ShowFrameRate(0), 0);
    begin(640, 480, 8);
    setFxAA(1);
    setFxAAEnabled(1);
    screenReset();
    screenSetupLargestBitmap();
    freeScreenInternalLock();
    screenPalChanged();
    ScreenEnd();
    EXPECT_TRUE(scripted::calls().empty());
    EXPECT_STREQ(headless::callLog(), "");
}

TEST_F(ScreenTest, DisplayedPresentsWithoutReadoutAndAnswersZero) {
    begin(640, 480, 8);
    ShowFrameRate(1);
    ASSERT_TRUE(lockBitmap());
    bitmap_tag* bb = screenGetBackBuffer();
    std::memset(bb->pixels, 0, size_t(bb->rowBytes) * bb->height);
    EXPECT_EQ(screenDisplayed(bb), 0);
    EXPECT_EQ(scripted::count("back.Unlock"), 1);
    EXPECT_EQ(scripted::count("primary.BltFast"), 1);
    ASSERT_TRUE(lockBitmap());
    EXPECT_TRUE(allZero(bb->pixels, 64)) << "the readout was drawn";
}

// The readout after each frame, with the tick at the given second: the
// counts of whole seconds go into a ring of ten.
TEST_F(ScreenTest, FrameRateReadout) {
    begin(640, 480, 8);
    ShowFrameRate(1);
    bitmap_tag* target = nullptr;
    bitmap_tag* expected = nullptr;
    ASSERT_TRUE(bitmapAlloc(&target, PIXEL_PAL8, 64, 16, 0));
    ASSERT_TRUE(bitmapAlloc(&expected, PIXEL_PAL8, 64, 16, 0));
    struct Frame {
        uint32_t tick;
        const char* text;
    } frames[] = {
        {5000, " 0( 0)"}, // closes second 0, which held no frames
        {6000, " 0( 1)"}, // second 5 held one frame: (0 + 1) / 2
        {6500, " 0( 1)"}, {6900, " 0( 1)"},
        {7000, " 1( 3)"}, // second 6 held three: (0 + 1 + 3) / 3
    };
    for (const auto& f : frames) {
        headless::setTick(true, f.tick);
        std::memset(target->pixels, 0x11, size_t(target->rowBytes) * target->height);
        std::memset(expected->pixels, 0x11, size_t(expected->rowBytes) * expected->height);
        ASSERT_TRUE(screenDisplay(target));
        drawDebugText(expected, 255, 0, 0, f.text, 0);
        EXPECT_EQ(swtest::bitmapHash(target), swtest::bitmapHash(expected)) << f.tick;
        if (f.tick == 5000) {
            // " 0": a space cleared to 0, then the top row of "0" (3E: bit 0
            // leftmost) in colour 255.
            for (int x = 0; x < 16; ++x)
                EXPECT_EQ(target->pixels[x], x >= 9 && x <= 13 ? 255 : 0) << x;
        }
    }
    // Ten more seconds of two frames each: the ring holds only those.
    for (uint32_t s = 8; s < 18; ++s) {
        headless::setTick(true, s * 1000);
        screenDisplay(target);
        screenDisplay(target);
    }
    headless::setTick(true, 18000);
    std::memset(expected->pixels, 0x11, size_t(expected->rowBytes) * expected->height);
    screenDisplay(target);
    drawDebugText(expected, 255, 0, 0, " 2( 2)", 0);
    EXPECT_EQ(swtest::bitmapHash(target), swtest::bitmapHash(expected));
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
    // The display object, the DirectDraw object, two surfaces, a palette.
    EXPECT_GE(allocations, 5);
}
