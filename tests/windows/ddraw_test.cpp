// The DirectDraw display driver on the platform itself: frames drawn by the
// library must reach the screen, in exclusive and dedicated (windowed)
// mode, at 8 and 16 bits, through palette changes; the Win32 layer's
// window, cursor and system colours must be left as they were found.
#include <spanwright/spanwright.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <tuple>

namespace {

// Dedicated mode, the mode's depth and the pixel type the screen reports on
// a true-colour desktop.
using Case = std::tuple<uint8_t, int32_t, uint8_t>;

// A true-colour desktop shows a dedicated-mode display at 16 bits whatever
// the mode asks for; exclusive mode has the mode's own depth.
constexpr Case cases[] = {
    {0, 8, PIXEL_PAL8}, {0, 16, PIXEL_RGB565}, {1, 8, PIXEL_RGB565}, {1, 16, PIXEL_RGB565}};

class DirectDrawTest : public ::testing::TestWithParam<Case> {
  protected:
    void SetUp() override {
        for (int i = 0; i < 256; ++i)
            palette[i] = 0xFF000000u | uint32_t(i) << 16 | uint32_t(255 - i) << 8 | uint32_t(i / 2);
        paletteSetCurrent(palette, 0, 256);
        GetClipCursor(&freeCursor);
    }
    void TearDown() override {
        while (screenCurrentMode())
            screenEnd();
        rasterEnd();
        if (window) DestroyWindow(window);
        rasterSetDisplayDriver("auto");
    }

    // Opens the display in the host's window, in mode 640 × 480.
    void open(uint8_t dedicated, int32_t bits) {
        static const bool classRegistered = [] {
            WNDCLASSA c = {};
            c.lpfnWndProc = DefWindowProcA;
            c.lpszClassName = "spanwright host";
            return RegisterClassA(&c) != 0;
        }();
        ASSERT_TRUE(classRegistered);
        window = CreateWindowExA(0, "spanwright host", "host", WS_POPUP | WS_VISIBLE, 100, 50, 640,
                                 480, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        hostProcedure = GetWindowLongPtrA(window, GWLP_WNDPROC);
        ASSERT_TRUE(rasterSetDisplayDriver("ddraw"));
        SetDedicatedMode(dedicated);
        ScreenBegin(window);
        RasterBeginParams params = {};
        params.window = window;
        ASSERT_TRUE(rasterBegin(0, 1, &params));
        EXPECT_NE(GetWindowLongPtrA(window, GWLP_WNDPROC), hostProcedure)
            << "the host's window procedure is replaced";
        screenmode_tag mode = {};
        mode.width = 640, mode.height = 480, mode.bitsPerPixel = bits;
        ASSERT_TRUE(screenBegin(&mode));
    }

    // Fills the back buffer with index `index` (its 16-bit pixel on a
    // 16-bit screen) and presents it.
    void show(uint8_t index) {
        ASSERT_TRUE(lockBitmap());
        bitmap_tag* back = screenGetBackBuffer();
        fillRect(back, index, 0, 0, uint32_t(back->width), uint32_t(back->height));
        screenDisplay(back);
    }

    // Index `index` of the palette as the screen shows it at the middle of
    // the frame: a 16-bit screen keeps 5 or 6 bits of each channel.
    void expectShown(uint8_t index, uint8_t pixelType) {
        POINT middle = {320, 240};
        ClientToScreen(window, &middle);
        HDC dc = GetDC(nullptr);
        const COLORREF got = GetPixel(dc, middle.x, middle.y);
        ReleaseDC(nullptr, dc);
        const uint32_t c = palette[index];
        const int keep[3] = {5, pixelType == PIXEL_RGB565 ? 6 : 5, 5};
        const int want[3] = {int(c >> 16 & 255), int(c >> 8 & 255), int(c & 255)};
        const int have[3] = {GetRValue(got), GetGValue(got), GetBValue(got)};
        for (int k = 0; k < 3; ++k) {
            const int slack = pixelType == PIXEL_PAL8 ? 0 : 255 >> keep[k];
            EXPECT_NEAR(have[k], want[k], slack) << "channel " << k << " of index " << int(index);
        }
    }

    uint32_t palette[256];
    HWND window = nullptr;
    LONG_PTR hostProcedure = 0;
    RECT freeCursor;
};

TEST_P(DirectDrawTest, FramesReachTheScreenAndTheDisplayCloses) {
    const auto [dedicated, bits, pixelType] = GetParam();
    ASSERT_NO_FATAL_FAILURE(open(dedicated, bits));
    EXPECT_EQ(ScreenGetPixelType(), pixelType);
    RECT clip, rect;
    GetClipCursor(&clip);
    GetWindowRect(window, &rect);
    EXPECT_TRUE(EqualRect(&clip, &rect)) << "the cursor is confined to the window";

    for (uint8_t index : {40, 200}) {
        ASSERT_NO_FATAL_FAILURE(show(index));
        expectShown(index, pixelType);
    }
    // A palette change shows at the next frame.
    palette[200] = 0xFF10E030u;
    paletteSetCurrent(palette, 200, 201);
    ASSERT_NO_FATAL_FAILURE(show(200));
    expectShown(200, pixelType);

    EXPECT_FALSE(screenEnd());
    rasterEnd();
    EXPECT_EQ(GetWindowLongPtrA(window, GWLP_WNDPROC), hostProcedure)
        << "the host's window procedure is back";
    GetClipCursor(&clip);
    EXPECT_TRUE(EqualRect(&clip, &freeCursor)) << "the cursor is free again";
}

INSTANTIATE_TEST_SUITE_P(Modes, DirectDrawTest, ::testing::ValuesIn(cases));

// Dedicated mode takes the system colours over while it has the focus and
// gives the desktop's back when it loses it.
TEST_F(DirectDrawTest, SystemColoursTakenAndGivenBack) {
    const COLORREF desktopFace = GetSysColor(COLOR_BTNFACE);
    ASSERT_NE(desktopFace, RGB(255, 255, 255));
    ASSERT_NO_FATAL_FAILURE(open(1, 8));
    paletteSetCurrent(palette, 0, 256);
    ASSERT_NO_FATAL_FAILURE(show(1)); // the palette is flushed and realised
    screenGotFocus();
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGB(255, 255, 255));
    EXPECT_EQ(GetSysColor(COLOR_BTNTEXT), RGB(0, 0, 0));
    screenLostFocus();
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), desktopFace);
    HDC dc = GetDC(window);
    EXPECT_NE(GetSystemPaletteUse(dc), UINT(SYSPAL_NOSTATIC));
    ReleaseDC(window, dc);
}

} // namespace
