// The screen palette: one flush per frame with every entry, and in
// dedicated mode the system palette and colours taken and given back.
#include "fixture.h"

#include "bitmap/bitmap.h"

#include <algorithm>
#include <cstring>

using namespace screentest;

namespace {

// The display elements in the order the library sets them, with the
// colours it gives them while it owns the system palette (1: white).
constexpr int elements[25] = {21, 15, 20, 22, 16, 10, 2, 12, 1, 18, 9, 17, 13,
                              14, 11, 3,  19, 24, 23, 4, 7,  0, 5,  6, 8};
constexpr bool ownedWhite[25] = {0, 1, 0, 1, 0, 0, 1, 1, 1, 0, 0, 0, 0,
                                 1, 0, 0, 1, 1, 0, 1, 0, 1, 1, 0, 0};

std::string lines(const std::vector<std::string>& list) {
    std::string out;
    for (const auto& l : list)
        out += l + "\n";
    return out;
}

std::string takeOverLog() {
    std::string out = lines({"GetDC host", "GetSystemPaletteUse -> 1"});
    for (int e : elements)
        out += "GetSysColor " + std::to_string(e) + "\n";
    return out + "SetSystemPaletteUse 2\n";
}

uint32_t palette[256];

// Makes a palette current whose entries are built from `seed`.
void setPalette(uint32_t seed) {
    for (uint32_t i = 0; i < 256; ++i)
        palette[i] = ((i * 7 + seed) & 0xFF) << 16 | ((i * 13 + seed * 3) & 0xFF) << 8 |
                     ((255 - i + seed) & 0xFF);
    paletteSetCurrent(palette, 0, 256);
}

// The realised palette must be `count` shadow entries from `first`.
void expectRealized(int count, int first) {
    GdiPaletteEntry realized[256];
    ASSERT_EQ(headless::realizedPalette(realized), count);
    for (int k = 0; k < count; ++k) {
        const ShadowEntry& s = screenShadowPalette[first + k];
        const GdiPaletteEntry& r = realized[k];
        ASSERT_TRUE(r.red == s.red && r.green == s.green && r.blue == s.blue && r.flags == 4) << k;
    }
}

} // namespace

TEST_F(ScreenTest, TwoPaletteChangesOneFlushOfAllEntries) {
    begin(640, 480, 8);
    setPalette(1);
    palette[3] = 0x00ABCDEF;
    paletteSetCurrent(palette, 3, 4); // a one-entry change still sends all 256
    ASSERT_TRUE(lockBitmap());
    ASSERT_TRUE(screenDisplay(screenGetBackBuffer()));
    // Sent once, before the frame is copied.
    EXPECT_EQ(scripted::calls(),
              (std::vector<std::string>{"back.Lock", "back.Unlock", "palette.SetEntries 0 256",
                                        "primary.BltFast 0,0 <- back 0,0,640,480 flags=0x0"}));
    EXPECT_EQ(screenShadowDirty, 0);
    const DDPaletteEntry* sent = scripted::lastPaletteEntries();
    for (int i = 0; i < 256; ++i) {
        const uint32_t rgb = uint32_t(sent[i].red) << 16 | sent[i].green << 8 | sent[i].blue;
        ASSERT_TRUE(rgb == (palette[i] & 0xFFFFFF) && sent[i].flags == PC_RESERVED) << i;
    }
    // Nothing changed: no flush on the next frame; full screen, focus
    // changes do nothing.
    scripted::clear();
    screenDisplay(screenGetBackBuffer());
    screenLostFocus();
    screenGotFocus();
    EXPECT_EQ(scripted::count("palette.SetEntries"), 0);
    EXPECT_STREQ(headless::callLog(), "");
}

TEST_F(ScreenTest, DedicatedModeTakesAndGivesBackTheSystemPalette) {
    uint32_t desktop[25];
    for (int i = 0; i < 25; ++i)
        desktop[i] = headless::sysColor(elements[i]);
    begin(640, 480, 8, 1);
    setPalette(3);
    ASSERT_TRUE(lockBitmap());
    ASSERT_TRUE(screenDisplay(screenGetBackBuffer()));
    // First take-over: 236 entries from index 10, desktop colours saved.
    EXPECT_EQ(headless::callLog(),
              takeOverLog() +
                  lines({"CreatePalette 236 -> pal1", "CreatePalette 236 -> pal2",
                         "SelectPalette pal1", "RealizePalette pal1", "SelectPalette pal2",
                         "RealizePalette pal2", "ReleaseDC host"}));
    expectRealized(236, 10);
    EXPECT_EQ(scripted::count("palette.SetEntries"), 0);

    // Owned: 254 entries from index 1; the black palette is remade at the
    // new size, the game palette is remade every flush.
    headless::clearCallLog();
    setPalette(4);
    screenDisplay(screenGetBackBuffer());
    EXPECT_EQ(headless::callLog(),
              lines({"GetDC host", "GetSystemPaletteUse -> 2", "DeleteObject pal1",
                     "CreatePalette 254 -> pal3", "CreatePalette 254 -> pal4", "DeleteObject pal2",
                     "SelectPalette pal3", "RealizePalette pal3", "SelectPalette pal4",
                     "RealizePalette pal4", "ReleaseDC host"}));
    expectRealized(254, 1);

    // Focus lost: a black 236-entry palette, the static colours back.
    headless::clearCallLog();
    screenLostFocus();
    EXPECT_EQ(headless::callLog(),
              lines({"GetDC host", "DeleteObject pal3", "CreatePalette 236 -> pal5",
                     "SelectPalette pal5", "RealizePalette pal5", "SetSystemPaletteUse 1",
                     "SetSysColors 25", "ReleaseDC host"}));
    for (int i = 0; i < 25; ++i)
        EXPECT_EQ(headless::sysColor(elements[i]), desktop[i]) << elements[i];

    // Meanwhile the desktop changes a colour; the focus comes back, the
    // cached game palette is realised again, the fixed colours are set.
    const int32_t element = 5;
    const uint32_t changed = 0x123456;
    windowsHeadless()->SetSysColors(1, &element, &changed);
    headless::clearCallLog();
    screenGotFocus();
    EXPECT_EQ(headless::callLog(),
              takeOverLog() +
                  lines({"SelectPalette pal5", "RealizePalette pal5", "SelectPalette pal4",
                         "RealizePalette pal4", "ReleaseDC host", "SetSysColors 25"}));
    expectRealized(254, 1);
    for (int i = 0; i < 25; ++i)
        EXPECT_EQ(headless::sysColor(elements[i]), ownedWhite[i] ? 0xFFFFFFu : 0u);

    // A further loss restores the colours saved at the last take-over.
    screenLostFocus();
    desktop[std::find(elements, elements + 25, element) - elements] = changed;
    for (int i = 0; i < 25; ++i)
        EXPECT_EQ(headless::sysColor(elements[i]), desktop[i]) << elements[i];
}

TEST_F(ScreenTest, DedicatedModeWithoutDeviceContextOrPalettes) {
    begin(640, 480, 8, 1);
    setPalette(5);
    headless::setNoDeviceContext(true);
    screenFlushPalette();
    screenLostFocus();
    screenGotFocus();
    EXPECT_EQ(headless::callLog(),
              lines({"GetDC host", "GetDC host", "GetDC host", "SetSysColors 25"}));
    EXPECT_EQ(screenShadowDirty, 0);
    EXPECT_EQ(headless::realizedPalette(nullptr), 0);
    headless::setNoDeviceContext(false);

    // No black palette: only the game palette is realised.
    headless::clearCallLog();
    headless::failCreatePaletteNth(1);
    screenFlushPalette();
    EXPECT_TRUE(logHas(lines({"CreatePalette 236 -> null", "CreatePalette 236 -> pal1",
                              "SelectPalette pal1", "RealizePalette pal1", "ReleaseDC host"})))
        << headless::callLog();
    expectRealized(236, 10);

    // No game palette: nothing is realised.
    headless::clearCallLog();
    headless::failCreatePaletteNth(2);
    screenFlushPalette();
    EXPECT_FALSE(logHas("SelectPalette")) << headless::callLog();
}
