// The screen palette: one flush per frame with every entry, and in
// dedicated mode the system palette and colours taken and given back.
#include "fixture.h"

#include "bitmap/bitmap.h"

#include <cstring>

using namespace screentest;

namespace {

// The display elements in the order the library sets them, with the
// colours it gives them while it owns the system palette.
constexpr int elements[25] = {21, 15, 20, 22, 16, 10, 2, 12, 1, 18, 9, 17, 13,
                              14, 11, 3,  19, 24, 23, 4, 7,  0, 5,  6, 8};
constexpr uint32_t owned[25] = {0, 0xFFFFFF, 0, 0xFFFFFF, 0,        0, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
                                0, 0,        0, 0,        0xFFFFFF, 0, 0,        0xFFFFFF, 0xFFFFFF,
                                0, 0xFFFFFF, 0, 0xFFFFFF, 0xFFFFFF, 0, 0};

std::string lines(const std::vector<std::string>& list) {
    std::string out;
    for (const auto& l : list)
        out += l + "\n";
    return out;
}

std::string saveColorsLog() {
    std::string out;
    for (int e : elements)
        out += "GetSysColor " + std::to_string(e) + "\n";
    return out;
}

// Makes a palette current whose entry i is built from `seed`.
void setPalette(uint32_t* palette, uint32_t seed) {
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
        ASSERT_EQ(realized[k].red, s.red) << k;
        ASSERT_EQ(realized[k].green, s.green) << k;
        ASSERT_EQ(realized[k].blue, s.blue) << k;
        ASSERT_EQ(realized[k].flags, 4) << k;
    }
}

} // namespace

TEST_F(ScreenTest, TwoPaletteChangesOneFlushOfAllEntries) {
    begin(640, 480, 8);
    uint32_t a[256], b[256];
    setPalette(a, 1);
    b[0] = 0;
    std::memcpy(b, a, sizeof b);
    b[3] = 0x00ABCDEF;
    paletteSetCurrent(b, 3, 4); // a one-entry change still sends all 256
    ASSERT_TRUE(lockBitmap());
    ASSERT_TRUE(screenDisplay(screenGetBackBuffer()));
    EXPECT_EQ(scripted::count("palette.SetEntries"), 1);
    EXPECT_NE(
        std::find(scripted::calls().begin(), scripted::calls().end(), "palette.SetEntries 0 256"),
        scripted::calls().end());
    EXPECT_EQ(screenShadowDirty, 0);
    const DDPaletteEntry* entries = scripted::lastPaletteEntries();
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(entries[i].red, (b[i] >> 16) & 0xFF) << i;
        ASSERT_EQ(entries[i].green, (b[i] >> 8) & 0xFF) << i;
        ASSERT_EQ(entries[i].blue, b[i] & 0xFF) << i;
        ASSERT_EQ(entries[i].flags, 1) << i;
    }
    // The palette is sent before the frame is copied.
    auto& calls = scripted::calls();
    auto sent = std::find(calls.begin(), calls.end(), "palette.SetEntries 0 256");
    auto shown = std::find_if(calls.begin(), calls.end(), [](const std::string& c) {
        return c.rfind("primary.BltFast", 0) == 0;
    });
    EXPECT_LT(sent, shown);
    // Nothing changed: no flush on the next frame.
    scripted::clear();
    screenDisplay(screenGetBackBuffer());
    EXPECT_EQ(scripted::count("palette.SetEntries"), 0);
    EXPECT_TRUE(headless::callLog()[0] == 0) << headless::callLog();
}

TEST_F(ScreenTest, FailedPaletteEntriesAreAttachedAgain) {
    begin(640, 480, 8);
    uint32_t a[256];
    setPalette(a, 2);
    scripted::fail("palette.SetEntries", DDERR_GENERIC);
    scripted::fail("primary.SetPalette", DDERR_SURFACELOST);
    screenFlushPalette();
    EXPECT_EQ(scripted::calls(),
              (std::vector<std::string>{"palette.SetEntries 0 256", "primary.SetPalette",
                                        "primary.Restore", "palette.Release", "CreatePalette 0x44",
                                        "primary.SetPalette"}));
}

TEST_F(ScreenTest, FullScreenFocusChangesNothing) {
    begin(640, 480, 8, 0);
    screenLostFocus();
    screenGotFocus();
    EXPECT_STREQ(headless::callLog(), "");
    EXPECT_TRUE(scripted::calls().empty());
    EXPECT_EQ(headless::systemPaletteUse(), SYSPAL_STATIC);
}

TEST_F(ScreenTest, DedicatedModeTakesAndGivesBackTheSystemPalette) {
    uint32_t desktop[25];
    for (int i = 0; i < 25; ++i)
        desktop[i] = headless::sysColor(elements[i]);
    begin(640, 480, 8, 1);
    uint32_t a[256];
    setPalette(a, 3);
    ASSERT_TRUE(lockBitmap());
    ASSERT_TRUE(screenDisplay(screenGetBackBuffer()));
    // First take-over: 236 entries from index 10, desktop colours saved.
    EXPECT_EQ(headless::callLog(),
              lines({"GetDC host", "GetSystemPaletteUse -> 1"}) + saveColorsLog() +
                  lines({"SetSystemPaletteUse 2", "CreatePalette 236 -> pal1",
                         "CreatePalette 236 -> pal2", "SelectPalette pal1", "RealizePalette pal1",
                         "SelectPalette pal2", "RealizePalette pal2", "ReleaseDC host"}));
    expectRealized(236, 10);
    EXPECT_EQ(scripted::count("palette.SetEntries"), 0);
    EXPECT_EQ(headless::systemPaletteUse(), SYSPAL_NOSTATIC);

    // Owned: 254 entries from index 1; the black palette is remade at the
    // new size, the game palette is remade every flush.
    headless::clearCallLog();
    setPalette(a, 4);
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
    EXPECT_EQ(headless::systemPaletteUse(), SYSPAL_STATIC);
    for (int i = 0; i < 25; ++i)
        EXPECT_EQ(headless::sysColor(elements[i]), desktop[i]) << elements[i];
    EXPECT_EQ(headless::realizedPalette(nullptr), 236);

    // Meanwhile the desktop changes a colour; the focus comes back.
    const int32_t element = 5;
    const uint32_t changed = 0x123456;
    windowsHeadless()->SetSysColors(1, &element, &changed);
    headless::clearCallLog();
    screenGotFocus();
    EXPECT_EQ(headless::callLog(),
              lines({"GetDC host", "GetSystemPaletteUse -> 1"}) + saveColorsLog() +
                  lines({"SetSystemPaletteUse 2", "SelectPalette pal5", "RealizePalette pal5",
                         "SelectPalette pal4", "RealizePalette pal4", "ReleaseDC host",
                         "SetSysColors 25"}));
    expectRealized(254, 1); // the cached game palette, realised again
    for (int i = 0; i < 25; ++i)
        EXPECT_EQ(headless::sysColor(elements[i]), owned[i]) << elements[i];

    // A further loss restores the colours saved at the last take-over.
    screenLostFocus();
    EXPECT_EQ(headless::sysColor(element), changed);
    for (int i = 0; i < 25; ++i)
        if (elements[i] != element) {
            EXPECT_EQ(headless::sysColor(elements[i]), desktop[i]);
        }
}

TEST_F(ScreenTest, DedicatedModeWithoutDeviceContextOrPalettes) {
    begin(640, 480, 8, 1);
    uint32_t a[256];
    setPalette(a, 5);
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
    EXPECT_NE(std::string(headless::callLog())
                  .find(lines({"CreatePalette 236 -> null", "CreatePalette 236 -> pal1",
                               "SelectPalette pal1", "RealizePalette pal1", "ReleaseDC host"})),
              std::string::npos)
        << headless::callLog();
    expectRealized(236, 10);

    // No game palette: nothing is realised.
    headless::clearCallLog();
    headless::failCreatePaletteNth(2);
    screenFlushPalette();
    EXPECT_EQ(std::string(headless::callLog()).find("SelectPalette"), std::string::npos)
        << headless::callLog();
}
