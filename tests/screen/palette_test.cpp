// The screen palette: one flush per frame with every entry, and in
// dedicated mode the system palette and colours taken and given back.
#include "fixture.h"

#include "bitmap/bitmap.h"

#include <algorithm>
#include <vector>

using namespace screentest;

namespace {

// The display elements in the order the library sets them, with the
// colours it gives them while it owns the system palette (1: white).
constexpr int elements[25] = {21, 15, 20, 22, 16, 10, 2, 12, 1, 18, 9, 17, 13,
                              14, 11, 3,  19, 24, 23, 4, 7,  0, 5,  6, 8};
constexpr uint32_t W = 0xFFFFFF;
const std::vector<uint32_t> owned = {0, W, 0, W, 0, 0, W, W, W, 0, 0, 0, 0,
                                     W, 0, 0, W, W, 0, W, 0, W, W, 0, 0};

std::vector<uint32_t> colors() {
    std::vector<uint32_t> now;
    for (int element : elements)
        now.push_back(headless::sysColor(element));
    return now;
}

// The realised palette must be `count` shadow entries from `first` (of
// the shadow palette, or of `from`).
void expectRealized(int count, int first, const ShadowEntry* from = screenShadowPalette) {
    GdiPaletteEntry realized[256];
    ASSERT_EQ(headless::realizedPalette(realized), count);
    for (int k = 0; k < count; ++k) {
        const ShadowEntry& s = from[first + k];
        const GdiPaletteEntry& r = realized[k];
        ASSERT_TRUE(r.red == s.red && r.green == s.green && r.blue == s.blue && r.flags == 4) << k;
    }
}

} // namespace

// Two palette changes, one of a single entry, make one flush of all 256
// entries before the frame is copied. screenDisplayed shows the rectangle
// of its bitmap without the readout and answers 0.
TEST_F(ScreenTest, OneFlushOfAllEntriesBeforeTheFrame) {
    begin(640, 480, 8);
    ShowFrameRate(1);
    setPalette(1);
    palette[3] = 0x00ABCDEF;
    paletteSetCurrent(palette, 3, 4);
    ASSERT_TRUE(lockBitmap());
    bitmap_tag* bb = screenGetBackBuffer();
    bitmapFill(bb, 0);
    bitmap_tag part = {bb->pixelType, 100, 10, bb->rowBytes, nullptr, bb->pixels};
    unlockBitmap(); // a lock is undone once
    EXPECT_EQ(screenDisplayed(&part), 0);
    EXPECT_EQ(scripted::calls, (Lines{"back.Lock", "back.Unlock", "palette.SetEntries 0 256",
                                      "primary.BltFast 0,0 <- back 0,0,100,10 flags=0x0"}));
    EXPECT_EQ(screenShadowDirty, 0);
    const DDPaletteEntry* sent = scripted::sentEntries;
    for (int i = 0; i < 256; ++i) {
        const uint32_t rgb = uint32_t(sent[i].red) << 16 | sent[i].green << 8 | sent[i].blue;
        ASSERT_TRUE(rgb == (palette[i] & 0xFFFFFF) && sent[i].flags == PC_RESERVED) << i;
    }
    ASSERT_TRUE(lockBitmap());
    EXPECT_EQ(std::count(bb->pixels, bb->pixels + 64, 0), 64) << "the readout was drawn";
    // Nothing changed: no flush; full screen, focus changes do nothing.
    scripted::calls.clear();
    headless::clearCallLog();
    screenDisplay(bb);
    screenLostFocus();
    screenGotFocus();
    EXPECT_EQ(scripted::count("palette.SetEntries"), 0);
    EXPECT_STREQ(headless::callLog(), "");
}

// Dedicated mode: the first flush takes the system palette over (saving
// the desktop colours) and realises 236 entries from index 10; once owned,
// 254 from index 1. Losing the focus realises a black palette and gives the
// static colours back; regaining it realises the cached game palette again
// and sets the fixed colours, saving the desktop's colours anew.
TEST_F(ScreenTest, DedicatedModeTakesAndGivesBackTheSystemPalette) {
    std::vector<uint32_t> desktop = colors();
    begin(640, 480, 8, 1);
    setPalette(3);
    ASSERT_TRUE(lockBitmap());
    ASSERT_TRUE(screenDisplay(screenGetBackBuffer()));
    expectRealized(236, 10);
    EXPECT_EQ(headless::systemPaletteUse(), uint32_t(SYSPAL_NOSTATIC));
    EXPECT_EQ(scripted::count("palette.SetEntries"), 0);
    setPalette(4);
    screenDisplay(screenGetBackBuffer());
    expectRealized(254, 1);

    screenLostFocus();
    const ShadowEntry black[256] = {};
    expectRealized(236, 10, black);
    EXPECT_EQ(headless::systemPaletteUse(), uint32_t(SYSPAL_STATIC));
    EXPECT_EQ(colors(), desktop);

    const int32_t element = 5;
    const uint32_t changed = 0x123456;
    windowsHeadless()->SetSysColors(1, &element, &changed);
    setPalette(6); // not flushed: the cached palette comes back
    screenGotFocus();
    setPalette(4);
    expectRealized(254, 1);
    EXPECT_EQ(colors(), owned);
    screenLostFocus();
    desktop[std::find(elements, elements + 25, element) - elements] = changed;
    EXPECT_EQ(colors(), desktop);
}

// No device context, or a palette that cannot be made: nothing is realised
// from it and nothing breaks.
TEST_F(ScreenTest, DedicatedModeWithoutDeviceContextOrPalettes) {
    begin(640, 480, 8, 1);
    setPalette(5);
    headless::setNoDeviceContext(true);
    screenFlushPalette();
    screenLostFocus();
    screenGotFocus();
    EXPECT_EQ(screenShadowDirty, 0);
    EXPECT_EQ(headless::realizedPalette(nullptr), 0);
    headless::setNoDeviceContext(false);
    headless::failCreatePaletteNth(1); // no black palette: the game palette alone
    screenFlushPalette();
    expectRealized(236, 10);
    headless::clearCallLog();
    headless::failCreatePaletteNth(2); // no game palette: nothing realised
    screenFlushPalette();
    EXPECT_FALSE(logHas("SelectPalette")) << headless::callLog();
}
