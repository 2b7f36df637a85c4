// The screen palette: the shadow palette carried to the display at the
// next frame, and in dedicated mode the system palette taken over from the
// desktop while the library has the focus and given back when it loses it.
#include "bitmap/bitmap.h"
#include "screen/screen.h"

#include <cstring>

namespace {

constexpr int elementCount = 25;
constexpr uint32_t black = 0x000000, white = 0xFFFFFF;

// The display elements whose colours the library sets while it owns the
// system palette, and those colours.
constexpr int32_t elements[elementCount] = {21, 15, 20, 22, 16, 10, 2, 12, 1, 18, 9, 17, 13,
                                            14, 11, 3,  19, 24, 23, 4, 7,  0, 5,  6, 8};
constexpr uint32_t ownedColors[elementCount] = {
    black, white, black, white, black, black, white, white, white, black, black, black, black,
    white, black, black, white, white, black, white, black, white, white, black, black};

GdiObject blackPalette = nullptr;
int blackCount = 0;
GdiObject gamePalette = nullptr;
uint32_t savedColors[elementCount];
bool colorsSaved = false;

// With only black and white reserved the palettes cover indexes 1-254;
// with the 20 static colours reserved, 10-245.
int entryCount(uint32_t use) {
    return use == SYSPAL_NOSTATIC ? 254 : 236;
}
int firstIndex(uint32_t use) {
    return use == SYSPAL_NOSTATIC ? 1 : 10;
}

GdiObject screenBlackPalette(uint32_t use) {
    const int count = entryCount(use);
    if (blackPalette && blackCount == count) return blackPalette;
    LogicalPalette logical;
    logical.version = 0x300;
    logical.count = uint16_t(count);
    for (int k = 0; k < count; ++k)
        logical.entries[k] = {0, 0, 0, PC_NOCOLLAPSE};
    WindowSystem* ws = displayWindows();
    if (blackPalette) ws->DeleteObject(blackPalette);
    blackPalette = ws->CreatePalette(&logical);
    blackCount = blackPalette ? count : 0;
    return blackPalette;
}

GdiObject screenGamePalette(uint32_t use, bool reuse) {
    if (reuse && gamePalette) return gamePalette;
    const int count = entryCount(use), first = firstIndex(use);
    LogicalPalette logical;
    logical.version = 0x300;
    logical.count = uint16_t(count);
    for (int k = 0; k < count; ++k) {
        const ShadowEntry& e = screenShadowPalette[first + k];
        logical.entries[k] = {e.red, e.green, e.blue, PC_NOCOLLAPSE};
    }
    WindowSystem* ws = displayWindows();
    GdiObject created = ws->CreatePalette(&logical);
    if (gamePalette) ws->DeleteObject(gamePalette);
    gamePalette = created;
    return gamePalette;
}

void screenSaveSysColors() {
    WindowSystem* ws = displayWindows();
    for (int i = 0; i < elementCount; ++i)
        savedColors[i] = ws->GetSysColor(elements[i]);
    colorsSaved = true;
}

void screenRestoreSysColors() {
    if (colorsSaved) displayWindows()->SetSysColors(elementCount, elements, savedColors);
}

// Takes the system palette over (saving the desktop colours the first
// time) and realises the black palette, then the game palette. Both are
// sized by the use found on entry, so the first call after taking the
// palette over still uses 236 entries.
void screenRealizeGDIPalette(bool reuse) {
    WindowSystem* ws = displayWindows();
    WindowHandle window = screenDisplayWindow();
    void* dc = ws->GetDC(window);
    if (!dc) return;
    const uint32_t use = ws->GetSystemPaletteUse(dc);
    if (use == SYSPAL_STATIC) {
        screenSaveSysColors();
        ws->SetSystemPaletteUse(dc, SYSPAL_NOSTATIC);
    }
    GdiObject blackOne = screenBlackPalette(use);
    GdiObject game = screenGamePalette(use, reuse);
    if (game) {
        if (blackOne) {
            ws->SelectPalette(dc, blackOne, false);
            ws->RealizePalette(dc);
        }
        ws->SelectPalette(dc, game, false);
        ws->RealizePalette(dc);
    }
    ws->ReleaseDC(window, dc);
}

} // namespace

void screenFlushPalette() {
    if (!screenDedicatedMode()) {
        if (CDDWin* display = screenDisplayObject()) {
            display->SetPaletteEntries(reinterpret_cast<const uint8_t*>(screenShadowPalette));
            display->ApplyPalette();
        }
    } else {
        screenRealizeGDIPalette(false);
    }
    screenShadowDirty = 0;
}

void screenPaletteReset() {
    WindowSystem* ws = displayWindows();
    if (blackPalette) ws->DeleteObject(blackPalette);
    if (gamePalette) ws->DeleteObject(gamePalette);
    blackPalette = gamePalette = nullptr;
    blackCount = 0;
    colorsSaved = false;
    std::memset(savedColors, 0, sizeof savedColors);
}

extern "C" {

void screenGotFocus(void) {
    if (!screenDedicatedMode()) return;
    screenRealizeGDIPalette(true);
    displayWindows()->SetSysColors(elementCount, elements, ownedColors);
}

void screenLostFocus(void) {
    if (!screenDedicatedMode()) return;
    WindowSystem* ws = displayWindows();
    WindowHandle window = screenDisplayWindow();
    void* dc = ws->GetDC(window);
    if (!dc) return;
    if (GdiObject blackOne = screenBlackPalette(SYSPAL_STATIC)) {
        ws->SelectPalette(dc, blackOne, false);
        ws->RealizePalette(dc);
    }
    ws->SetSystemPaletteUse(dc, SYSPAL_STATIC);
    screenRestoreSysColors();
    ws->ReleaseDC(window, dc);
}

} // extern "C"
