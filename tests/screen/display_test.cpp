// The display object: what Init sets up in each mode, its retry and
// restore rules, and the screen pixel type.
#include "fixture.h"

#include "bitmap/pixeltype.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <tuple>

using namespace screentest;

namespace {

Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

// Windowed, Init keeps the desktop's mode and format and clips to the
// window; full screen, it changes the mode and needs no clipper. The screen
// type follows the display format (any RGB depth counts as 16 bits). The
// back surface starts black; a presented frame is on the primary surface, in a
// window at the client area rather than the corner of the screen. The
// pitch and the screen type are reported.
TEST_F(ScreenTest, InitInEachModeAndFormat) {
    const DisplayFormat rgb565 = {1024, 768, 16, 0x7E0}, argb1555 = {1024, 768, 16, 0x3E0},
                        indexed = {1024, 768, 8, 0}, rgb888 = {1280, 1024, 32, 0xFF00};
    // Dedicated mode or not, the desktop, the green mask of a mode set, the
    // width (the height is 3/4 of it), the depth asked for and the screen type.
    const std::tuple<uint8_t, DisplayFormat, uint32_t, int32_t, int32_t, uint8_t> cases[] = {
        {0, rgb565, 0x7E0, 640, 8, PIXEL_PAL8},       {0, rgb565, 0x7E0, 800, 16, PIXEL_RGB565},
        {0, rgb565, 0x3E0, 1024, 16, PIXEL_ARGB1555}, {0, rgb565, 0x7E0, 640, 32, PIXEL_ARGB1555},
        {1, rgb565, 0x3E0, 640, 8, PIXEL_RGB565},     {1, argb1555, 0x7E0, 640, 8, PIXEL_ARGB1555},
        {1, indexed, 0x7E0, 640, 16, PIXEL_PAL8},     {1, rgb888, 0x7E0, 640, 8, PIXEL_ARGB1555},
    };
    const std::map<uint8_t, std::string> typeNames = {
        {PIXEL_PAL8, "8-bit"}, {PIXEL_RGB565, "16-bit: 565"}, {PIXEL_ARGB1555, "16-bit: 1555"}};
    swtest::Rng rng(3);
    for (const auto& [dedicated, desktop, modeGreen, width, bits, type] : cases) {
        SCOPED_TRACE(testing::Message() << int(dedicated) << " " << width << "x" << bits);
        memoryDisplaySetDesktop(desktop);
        memoryDisplaySetModeGreenMask(modeGreen);
        ASSERT_TRUE(open(false, dedicated));
        scripted::calls.clear(), messages.clear();
        ASSERT_TRUE(beginMode(mode(width, width * 3 / 4, bits)));
        EXPECT_EQ(scripted::count("SetDisplayMode"), !dedicated);
        EXPECT_EQ(scripted::count("primary.SetClipper"), dedicated);
        bitmap_tag* bb = screenGetBackBuffer();
        EXPECT_EQ(+bb->pixelType, type);
        EXPECT_EQ(+bb->rowBytes, width * (dedicated ? desktop.bits : bits) / 8);
        EXPECT_EQ(messages.debug(), (Lines{"ddsd.lPitch = " + std::to_string(bb->rowBytes) + "\n",
                                           "ddsd.lpSurface = 00000000\n"}));
        EXPECT_EQ(messages.errors(), Lines{"Screen pixel type is " + typeNames.at(type) + "\n\n"});
        // A 32-bit display shows no frame of a 16-bit type.
        const bool sameDepth = 8 * bytesPerPixel(type) == bb->rowBytes * 8 / width;
        // Rows without a spare byte: the sanitizer build sees a copy past them.
        const int32_t rowBytes = bb->width * bytesPerPixel(type);
        std::vector<uint8_t> pixels(size_t(rowBytes) * bb->height);
        bitmap_tag frame = {type, bb->width, bb->height, rowBytes, nullptr, pixels.data()};
        EXPECT_EQ(screenReadFrame(&frame), sameDepth);
        bitmap_tag wrong[] = {frame, frame, frame, frame, frame}; // other shapes: refused
        wrong[0].pixelType = type == PIXEL_PAL8 ? PIXEL_RGB565 : PIXEL_PAL8;
        wrong[1].width = bb->width + 1;
        wrong[2].height = bb->height - 1;
        wrong[3].rowBytes = frame.rowBytes - 1;
        wrong[4].pixels = nullptr;
        for (bitmap_tag& w : wrong)
            EXPECT_FALSE(screenReadFrame(&w));
        EXPECT_FALSE(screenReadFrame(nullptr));
        ASSERT_TRUE(lockBitmap()); // the internal lock words describe the locked buffer
        uintptr_t words[3];
        ASSERT_TRUE(getScreenInternalLock(words));
        EXPECT_EQ(std::vector<uintptr_t>(words, words + 3),
                  (std::vector<uintptr_t>{uintptr_t(bb->pixels), uintptr_t(bb->rowBytes), type}));
        const size_t bytes = size_t(bb->rowBytes) * bb->height;
        if (sameDepth) {
            EXPECT_EQ(std::count(bb->pixels, bb->pixels + bytes, 0), int64_t(bytes));
            for (size_t i = 0; i < bytes; ++i)
                bb->pixels[i] = uint8_t(rng.next());
            ASSERT_TRUE(screenDisplay(bb));
            ASSERT_TRUE(screenReadFrame(&frame));
            EXPECT_EQ(swtest::bitmapHash(&frame), swtest::bitmapHash(bb));
            headless::setWindowRect(hostWindow, {0, 0, 640, 480});
            ASSERT_TRUE(screenReadFrame(&frame));
            EXPECT_EQ(swtest::bitmapHash(&frame) == swtest::bitmapHash(bb), !dedicated);
        }
        rasterEnd();
        EXPECT_FALSE(screenReadFrame(&frame)); // no display
    }
}

// A failed step releases everything, except a failed palette, which keeps
// the surfaces; the mode is not pushed, the error is shown in a box (a
// refused mode is also reported in the debug output) and the next set-up
// works.
TEST_F(ScreenTest, FailedSetUpStep) {
    const std::string box = "DDERR DDERR_OUTOFVIDEOMEMORY";
    for (const char* call : {"SetDisplayMode", "CreateSurface", "CreateClipper",
                             "primary.SetClipper", "primary.Restore", "CreatePalette"}) {
        const bool modeChange = std::strcmp(call, "SetDisplayMode") == 0;
        ASSERT_TRUE(open(false, !modeChange));
        scripted::fail(call, ddCode(380));
        headless::clearCallLog(), messages.clear();
        EXPECT_FALSE(beginMode(mode(640, 480, 8))) << call;
        EXPECT_EQ(screenCurrentMode(), nullptr);
        EXPECT_EQ(screenDisplayObject()->hasPrimary(), std::strcmp(call, "CreatePalette") == 0);
        const Lines debug = {"CDDWin::ChangeDisplayMode failed: 8876017c\n", box + "\n"};
        EXPECT_EQ(messages.debug(), Lines(debug.begin() + !modeChange, debug.end()));
        EXPECT_TRUE(
            logHas("MessageBoxA host \"Error Initializing Direct Draw\" \"" + box + "\" 0\n"))
            << headless::callLog();
        ASSERT_TRUE(beginMode(mode(640, 480, 8))) << call;
        screenEnd();
        rasterEnd();
    }
}

// The whole call log of a call that meets a lost surface or one still
// drawing. A lost surface is restored (the palette remade, in a window the
// back surface and its colour key too) by the call that meets it, which
// fails once; a surface still drawing is waited for; a failed restore ends
// the call. Giving the desktop back is retried until it works, at
// shut-down and when the cooperative level is refused.
TEST_F(ScreenTest, RetriesAndRestores) {
    const Lines restore = {"primary.Restore", "palette.Release", "CreatePalette 0x44",
                           "primary.SetPalette"};
    const Lines release = {"primary.SetPalette null", "palette.Release", "back.Release",
                           "primary.Release", "Release"};
    const Lines giveBack = {"SetCooperativeLevel null 0x8", "RestoreDisplayMode",
                            "RestoreDisplayMode", "RestoreDisplayMode"};
    const std::string blt = "primary.BltFast 0,0 <- back 0,0,640,480 flags=0x0",
                      fill = "back.Blt 1,2,3,4 <- null null flags=0x400 fill=52";
    auto present = [] { return screenDisplayObject()->Present(nullptr); };
    auto clear = [] { // no result: the calls tell
        const DDRect r = {1, 2, 3, 4};
        return screenDisplayObject()->Clear(&r, 0x1234, 1), true;
    };
    auto readFrame = [] {
        static uint8_t pixels[640 * 480];
        bitmap_tag frame = {PIXEL_PAL8, 640, 480, 640, nullptr, pixels};
        return screenReadFrame(&frame) != 0;
    };
    auto flushMeetingLoss = [] { // entries refused: attached again, which meets the loss
        scripted::fail("primary.SetPalette", DDERR_SURFACELOST);
        return screenFlushPalette(), true;
    };
    auto windowedDisplay = [] { // through screenDisplay a dropped frame is not reported
        screenDisplayObject()->SetColorKey(1, 5);
        scripted::calls.clear();
        return screenDisplay(screenGetBackBuffer()) != 0;
    };
    auto failedRestore = [] {
        scripted::fail("primary.Restore", DDERR_GENERIC);
        return lockBitmap() != 0;
    };
    auto end = [] { return rasterEnd(), true; };
    auto refusedLevel = [] {
        scripted::fail("SetCooperativeLevel", ddCode(581));
        return beginMode(mode(640, 480, 16));
    };
    // Dedicated mode or not, the call made to answer `result` the next
    // `times` times, what runs, its answer and the whole call log.
    using Row = std::tuple<uint8_t, const char*, DDResult, int, std::function<bool()>, bool, Lines>;
    const Row rows[] = {
        {0, "primary.BltFast", DDERR_SURFACELOST, 1, present, false, Lines{blt} + restore},
        {0, "back.Lock", DDERR_SURFACELOST, 1, lockBitmap, false, Lines{"back.Lock"} + restore},
        {0, "back.Blt", DDERR_SURFACELOST, 1, clear, true, Lines{fill} + restore},
        {0, "primary.Lock", DDERR_SURFACELOST, 1, readFrame, false,
         Lines{"GetDisplayMode", "primary.Lock"} + restore},
        {0, "palette.SetEntries", DDERR_GENERIC, 1, flushMeetingLoss, true,
         Lines{"palette.SetEntries 0 256", "primary.SetPalette"} + restore},
        {1, "primary.Blt", DDERR_SURFACELOST, 1, windowedDisplay, true,
         Lines{"primary.Blt 10,20,650,500 <- back 0,0,640,480 flags=0x800 fx=0x8"} + restore +
             Lines{"back.Restore", "back.SetColorKey 0x8 5,5"}},
        {0, "back.Lock", DDERR_SURFACELOST, 1, failedRestore, false,
         Lines{"back.Lock", "primary.Restore"}},
        {0, "back.Lock", DDERR_WASSTILLDRAWING, 3, lockBitmap, true, Lines(4, "back.Lock")},
        {0, "primary.BltFast", DDERR_WASSTILLDRAWING, 2, present, true, Lines(3, blt)},
        {0, "back.Blt", DDERR_WASSTILLDRAWING, 5, clear, true, Lines(6, fill)},
        {0, "RestoreDisplayMode", DDERR_GENERIC, 2, end, true, giveBack + release},
        {0, "RestoreDisplayMode", DDERR_GENERIC, 2, refusedLevel, false,
         release + Lines{"DirectDrawCreate", "SetCooperativeLevel window 0x51"} + giveBack +
             Lines{"Release"}},
    };
    for (const auto& [dedicated, call, result, times, run, succeeds, calls] : rows) {
        SCOPED_TRACE(call);
        begin(640, 480, 8, dedicated);
        scripted::fail(call, result, times);
        EXPECT_EQ(run(), succeeds);
        EXPECT_EQ(scripted::calls, calls);
        rasterEnd();
    }
}
