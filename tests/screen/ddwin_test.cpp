// The display object: its order of steps, retry and restore rules, error
// names and the error box, the screen pixel type.
#include "fixture.h"

#include <cstring>
#include <set>

using namespace screentest;
using Calls = std::vector<std::string>;

namespace {

// The steps Init takes after the display object it replaces is released
// and a new one made, as the display object defines them.
// The host window's client area is at (10, 20) on the screen.
Calls windowedInit(int w, int h) {
    std::string size = std::to_string(w) + "x" + std::to_string(h);
    std::string rect = "0,0," + std::to_string(w) + "," + std::to_string(h);
    std::string onScreen = "10,20," + std::to_string(10 + w) + "," + std::to_string(20 + h);
    return {"Release",
            "DirectDrawCreate",
            "SetCooperativeLevel window 0x8",
            "CreateSurface primary flags=0x1 caps=0x200",
            "CreateSurface back flags=0x7 caps=0x840 " + size,
            "CreateClipper 0x0",
            "clipper.SetHWnd window",
            "primary.SetClipper",
            "primary.Restore",
            "back.Restore",
            "back.Lock",
            "back.Unlock",
            "GetDisplayMode",
            "back.Blt colorfill " + rect + " 0",
            "primary.Blt " + onScreen + " <- back " + rect + " flags=0x800 fx=0x8",
            "back.Blt colorfill " + rect + " 0",
            "primary.Blt " + onScreen + " <- back " + rect + " flags=0x800 fx=0x8",
            "CreatePalette 0x4C",
            "primary.SetPalette",
            "back.SetPalette"};
}

Calls fullScreenInit(int w, int h, int bits) {
    std::string size = std::to_string(w) + "x" + std::to_string(h);
    std::string rect = "0,0," + std::to_string(w) + "," + std::to_string(h);
    return {"Release",
            "DirectDrawCreate",
            "SetCooperativeLevel window 0x51",
            "SetDisplayMode " + size + "x" + std::to_string(bits),
            "CreateSurface primary flags=0x1 caps=0x200",
            "CreateSurface back flags=0x7 caps=0x840 " + size,
            "primary.Restore",
            "back.Lock",
            "back.Unlock",
            "GetDisplayMode",
            "back.Blt colorfill " + rect + " 0",
            "primary.BltFast 0,0 <- back " + rect + " flags=0x0",
            "back.Blt colorfill " + rect + " 0",
            "primary.BltFast 0,0 <- back " + rect + " flags=0x0",
            "CreatePalette 0x4C",
            "primary.SetPalette",
            "back.SetPalette"};
}

Calls withoutTrailingQueries(Calls calls) {
    while (!calls.empty() && calls.back() == "GetDisplayMode")
        calls.pop_back();
    return calls;
}

} // namespace

TEST_F(ScreenTest, WindowedInitUsesAClipperAndKeepsTheDesktopMode) {
    ASSERT_TRUE(open(false, 1));
    scripted::clear();
    screenmode_tag m = mode(640, 480, 8);
    ASSERT_TRUE(screenBegin(&m));
    EXPECT_EQ(withoutTrailingQueries(scripted::calls()), windowedInit(640, 480));
    CDDWin* d = screenDisplayObject();
    // The desktop is 16-bit 565: the back surface takes its format.
    EXPECT_EQ(+screenGetBackBuffer()->pixelType, PIXEL_RGB565);
    EXPECT_EQ(d->GetPitch(1), 1280);
}

TEST_F(ScreenTest, FullScreenInitChangesTheModeWithoutAClipper) {
    ASSERT_TRUE(open(false, 0));
    scripted::clear();
    screenmode_tag m = mode(800, 600, 8);
    ASSERT_TRUE(screenBegin(&m));
    EXPECT_EQ(withoutTrailingQueries(scripted::calls()), fullScreenInit(800, 600, 8));
    CDDWin* d = screenDisplayObject();
    EXPECT_EQ(d->lastResult(), DD_OK);
    EXPECT_EQ(d->GetPitch(1), 800);
    // Both surfaces start black.
    bitmap_tag* frame = nullptr;
    ASSERT_TRUE(bitmapAlloc(&frame, PIXEL_PAL8, 800, 600, 0));
    std::memset(frame->pixels, 0x77, size_t(frame->rowBytes) * frame->height);
    ASSERT_TRUE(screenReadFrame(frame));
    bitmap_tag* black = nullptr;
    ASSERT_TRUE(bitmapAlloc(&black, PIXEL_PAL8, 800, 600, 0));
    std::memset(black->pixels, 0, size_t(black->rowBytes) * black->height);
    EXPECT_EQ(swtest::bitmapHash(frame), swtest::bitmapHash(black));
    ASSERT_TRUE(lockBitmap());
    bitmap_tag* bb = screenGetBackBuffer();
    for (int32_t y = 0; y < bb->height; ++y)
        for (int32_t x = 0; x < bb->width; ++x)
            ASSERT_EQ(bb->pixels[y * bb->rowBytes + x], 0);
    bitmapFree(frame);
    bitmapFree(black);
}

TEST_F(ScreenTest, ShutdownRestoresTheDesktopAndReleasesAll) {
    begin(640, 480, 8);
    scripted::fail("RestoreDisplayMode", DDERR_GENERIC, 2);
    rasterEnd();
    EXPECT_EQ(scripted::calls(),
              (Calls{"SetCooperativeLevel null 0x8", "RestoreDisplayMode", "RestoreDisplayMode",
                     "RestoreDisplayMode", "primary.SetPalette null", "palette.Release",
                     "back.Release", "primary.Release", "Release"}));
}

TEST_F(ScreenTest, FailedInitShowsTheErrorBox) {
    ASSERT_TRUE(open(false, 0));
    scripted::fail("SetDisplayMode", DDERR_INVALIDMODE);
    screenmode_tag m = mode(1024, 768, 16);
    EXPECT_FALSE(screenBegin(&m));
    EXPECT_EQ(screenCurrentMode(), nullptr);
    EXPECT_TRUE(messages.sawDebug("CDDWin::ChangeDisplayMode failed: 88760078\n"))
        << messages.dump();
    EXPECT_TRUE(messages.sawDebug("DDERR DDERR_INVALIDMODE\n"));
    EXPECT_STREQ(headless::lastMessageBoxText(), "DDERR DDERR_INVALIDMODE");
    EXPECT_STREQ(headless::lastMessageBoxCaption(), "Error Initializing Direct Draw");
    EXPECT_NE(std::string(headless::callLog())
                  .find("MessageBoxA host \"Error Initializing Direct Draw\" \"DDERR "
                        "DDERR_INVALIDMODE\" 0\n"),
              std::string::npos)
        << headless::callLog();
    // Everything was released; the next mode starts afresh.
    EXPECT_FALSE(screenDisplayObject()->hasPrimary());
    ASSERT_TRUE(screenBegin(&m));
    EXPECT_EQ(+screenGetBackBuffer()->width, 1024);
}

TEST_F(ScreenTest, RefusedCooperativeLevelGivesTheDesktopBack) {
    ASSERT_TRUE(open(false, 0));
    scripted::clear();
    scripted::fail("SetCooperativeLevel", ddCode(581), 1);
    scripted::fail("RestoreDisplayMode", DDERR_GENERIC, 2);
    screenmode_tag m = mode(640, 480, 8);
    EXPECT_FALSE(screenBegin(&m));
    EXPECT_EQ(scripted::calls(),
              (Calls{"Release", "DirectDrawCreate", "SetCooperativeLevel window 0x51",
                     "SetCooperativeLevel null 0x8", "RestoreDisplayMode", "RestoreDisplayMode",
                     "RestoreDisplayMode", "Release"}));
    EXPECT_STREQ(headless::lastMessageBoxText(), "DDERR DDERR_EXCLUSIVEMODEALREADYSET");
}

TEST_F(ScreenTest, FailedSurfaceOrPaletteCreation) {
    struct Case {
        const char* call;
        bool surfacesKept;
    } cases[] = {{"CreateSurface", false},
                 {"CreateClipper", false},
                 {"primary.SetClipper", false},
                 {"primary.Restore", false},
                 {"CreatePalette", true}};
    for (const auto& c : cases) {
        ASSERT_TRUE(open(false, 1));
        scripted::fail(c.call, ddCode(380));
        screenmode_tag m = mode(640, 480, 8);
        EXPECT_FALSE(screenBegin(&m)) << c.call;
        EXPECT_EQ(screenDisplayObject()->hasPrimary(), c.surfacesKept) << c.call;
        EXPECT_STREQ(headless::lastMessageBoxText(), "DDERR DDERR_OUTOFVIDEOMEMORY") << c.call;
        rasterEnd();
    }
}

TEST_F(ScreenTest, LostSurfaceDropsOneFrame) {
    begin(640, 480, 8);
    CDDWin* d = screenDisplayObject();
    scripted::fail("primary.BltFast", DDERR_SURFACELOST);
    EXPECT_FALSE(d->Present(nullptr));
    EXPECT_EQ(scripted::calls(),
              (Calls{"primary.BltFast 0,0 <- back 0,0,640,480 flags=0x0", "primary.Restore",
                     "palette.Release", "CreatePalette 0x44", "primary.SetPalette"}));
    EXPECT_EQ(d->lastResult(), DD_OK);
    scripted::clear();
    EXPECT_TRUE(d->Present(nullptr));
    EXPECT_EQ(scripted::calls(), Calls{"primary.BltFast 0,0 <- back 0,0,640,480 flags=0x0"});

    // Through screenDisplay: the lost frame is not reported.
    ASSERT_TRUE(lockBitmap());
    scripted::fail("primary.BltFast", DDERR_SURFACELOST);
    EXPECT_TRUE(screenDisplay(screenGetBackBuffer()));
    EXPECT_EQ(scripted::count("primary.Restore"), 1);
}

TEST_F(ScreenTest, WindowedRestoreIncludesTheBackSurfaceAndItsColourKey) {
    begin(640, 480, 8, 1);
    CDDWin* d = screenDisplayObject();
    d->SetColorKey(1, 5);
    scripted::clear();
    scripted::fail("primary.Blt", DDERR_SURFACELOST);
    EXPECT_FALSE(d->Present(nullptr));
    EXPECT_EQ(scripted::calls(),
              (Calls{"primary.Blt 10,20,650,500 <- back 0,0,640,480 flags=0x800 fx=0x8",
                     "primary.Restore", "palette.Release", "CreatePalette 0x44",
                     "primary.SetPalette", "back.Restore", "back.SetColorKey 0x8 5,5"}));
}

TEST_F(ScreenTest, StillDrawingIsRetried) {
    begin(640, 480, 8);
    CDDWin* d = screenDisplayObject();
    scripted::fail("back.Lock", DDERR_WASSTILLDRAWING, 3);
    EXPECT_TRUE(lockBitmap());
    EXPECT_EQ(scripted::count("back.Lock"), 4);
    unlockBitmap();

    scripted::clear();
    scripted::fail("primary.BltFast", DDERR_WASSTILLDRAWING, 2);
    EXPECT_TRUE(d->Present(nullptr));
    EXPECT_EQ(scripted::count("primary.BltFast"), 3);

    scripted::clear();
    scripted::fail("back.Blt", DDERR_WASSTILLDRAWING, 5);
    DDRect r = {1, 2, 3, 4};
    d->Clear(&r, 0x1234, 1);
    EXPECT_EQ(scripted::calls(), Calls(6, "back.Blt colorfill 1,2,3,4 52"));
    EXPECT_EQ(d->lastResult(), DD_OK);
}

TEST_F(ScreenTest, LostSurfaceOnLockRestoresAndFailsOnce) {
    begin(640, 480, 8);
    bitmap_tag* bb = screenGetBackBuffer();
    scripted::fail("back.Lock", DDERR_SURFACELOST);
    EXPECT_FALSE(lockBitmap());
    EXPECT_EQ(+bb->pixels, nullptr);
    EXPECT_EQ(scripted::count("primary.Restore"), 1);
    EXPECT_EQ(scripted::count("back.Lock"), 1);
    EXPECT_TRUE(lockBitmap());
    EXPECT_NE(+bb->pixels, nullptr);
    unlockBitmap();
    // A failed restore ends the lock too.
    scripted::clear();
    scripted::fail("back.Lock", DDERR_SURFACELOST);
    scripted::fail("primary.Restore", DDERR_GENERIC);
    EXPECT_FALSE(lockBitmap());
    EXPECT_EQ(screenDisplayObject()->lastResult(), DDERR_GENERIC);
    // Clear meets a lost surface: restores and stops.
    scripted::clear();
    scripted::fail("back.Blt", DDERR_SURFACELOST);
    screenDisplayObject()->Clear(nullptr, 0, 1);
    EXPECT_EQ(scripted::count("back.Blt"), 1);
    EXPECT_EQ(scripted::count("primary.Restore"), 1);
}

TEST_F(ScreenTest, EmptySlotsAndNoDisplayDoNothing) {
    CDDWin d(headlessDirectDrawCreate, windowsHeadless());
    EXPECT_EQ(d.Lock(1), nullptr);
    EXPECT_EQ(d.GetPitch(1), 0);
    EXPECT_FALSE(d.SetPaletteEntries(nullptr));
    EXPECT_FALSE(d.RestoreAll());
    EXPECT_FALSE(d.Present(nullptr));
    EXPECT_EQ(d.GetDisplayBits(), 0);
    EXPECT_FALSE(d.ChangeDisplayMode(640, 480, 8));
    d.Clear(nullptr, 0, 1);
    d.SetColorKey(1, 3);
    d.Unlock(1);
    d.ApplyPalette();
    EXPECT_TRUE(scripted::calls().empty());

    begin(640, 480, 8);
    CDDWin* display = screenDisplayObject();
    EXPECT_EQ(display->Lock(-1), nullptr);
    EXPECT_EQ(display->Lock(2), nullptr);
    EXPECT_EQ(display->Lock(10), nullptr);
    EXPECT_EQ(display->GetPitch(10), 0);
    display->SetColorKey(5, 1);
    EXPECT_TRUE(scripted::calls().empty());
}

TEST_F(ScreenTest, ErrorNames) {
    EXPECT_STREQ(DDErrorName(DDResult(0x887601C2u)), "DDERR_SURFACELOST");
    EXPECT_STREQ(DDErrorName(DDResult(0x8876021Cu)), "DDERR_WASSTILLDRAWING");
    EXPECT_STREQ(DDErrorName(0), "DD_OK");
    EXPECT_STREQ(DDErrorName(DDResult(0x80004005u)), "DDERR_GENERIC");
    EXPECT_STREQ(DDErrorName(DDResult(0x80004001u)), "DDERR_UNSUPPORTED");
    EXPECT_STREQ(DDErrorName(DDResult(0x800401F0u)), "DDERR_NOTINITIALIZED");
    EXPECT_STREQ(DDErrorName(DDResult(0x8007000Eu)), "DDERR_OUTOFMEMORY");
    EXPECT_STREQ(DDErrorName(DDResult(0x80070057u)), "DDERR_INVALIDPARAMS");
    EXPECT_STREQ(DDErrorName(DDResult(0x88760005u)), "DDERR_ALREADYINITIALIZED");
    EXPECT_STREQ(DDErrorName(DDResult(0x88760230u)), "DDERR_XALIGN");
    EXPECT_STREQ(DDErrorName(DDResult(0x887602A8u)), "DDERR_NOTPAGELOCKED");
    EXPECT_STREQ(DDErrorName(DDResult(0x88760001u)), "Unknown error 1");
    const char* unknown = DDErrorName(DDResult(0x8876FFFFu));
    EXPECT_STREQ(unknown, "Unknown error 65535");
    // One static text: the next unknown code overwrites it.
    EXPECT_EQ(DDErrorName(7), unknown);
    EXPECT_STREQ(unknown, "Unknown error 7");

    ASSERT_EQ(ddErrorTableSize(), 101);
    std::set<DDResult> codes;
    std::set<std::string> names;
    for (int i = 0; i < ddErrorTableSize(); ++i) {
        DDResult code = ddErrorTableCode(i);
        codes.insert(code);
        names.insert(DDErrorName(code));
        std::string name = DDErrorName(code);
        EXPECT_TRUE(name == "DD_OK" || name.rfind("DDERR_", 0) == 0) << name;
        uint32_t u = uint32_t(code);
        const uint32_t facility = u & 0xFFFF0000u;
        EXPECT_TRUE(u == 0 || facility == 0x88760000u || facility == 0x80000000u ||
                    facility == 0x80040000u || facility == 0x80070000u)
            << name;
    }
    EXPECT_EQ(codes.size(), 101u);
    EXPECT_EQ(names.size(), 101u);
}

TEST_F(ScreenTest, ScreenPixelTypeFollowsTheDisplayFormat) {
    struct Case {
        uint8_t dedicated;
        DisplayFormat desktop;
        uint32_t modeGreen;
        int32_t bits;
        uint8_t type;
    } cases[] = {
        {0, {1024, 768, 16, 0x7E0}, 0x7E0, 16, PIXEL_RGB565},
        {0, {1024, 768, 16, 0x7E0}, 0x3E0, 16, PIXEL_ARGB1555},
        {0, {1024, 768, 16, 0x7E0}, 0x7E0, 8, PIXEL_PAL8},
        {0, {1024, 768, 16, 0x7E0}, 0x7E0, 32, PIXEL_ARGB1555}, // any RGB format counts as 16
        {1, {1024, 768, 16, 0x3E0}, 0x7E0, 8, PIXEL_ARGB1555},
        {1, {1024, 768, 8, 0}, 0x7E0, 16, PIXEL_PAL8},
        {1, {1280, 1024, 32, 0xFF00}, 0x7E0, 8, PIXEL_ARGB1555},
    };
    for (const auto& c : cases) {
        memoryDisplaySetDesktop(c.desktop);
        memoryDisplaySetModeGreenMask(c.modeGreen);
        ASSERT_TRUE(open(false, c.dedicated));
        screenmode_tag m = mode(640, 480, c.bits);
        ASSERT_TRUE(screenBegin(&m));
        EXPECT_EQ(ScreenGetPixelType(), c.type) << int(c.dedicated) << " " << c.bits;
        EXPECT_EQ(+screenGetBackBuffer()->pixelType, c.type);
        EXPECT_EQ(screenSupportsTGA(), c.type != PIXEL_PAL8);
        rasterEnd();
    }
    EXPECT_TRUE(messages.sawError("Screen pixel type is 16-bit: 1555\n\n"));
}
