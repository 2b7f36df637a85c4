// CDDWin: the display object. It owns the DirectDraw-shaped display object,
// the primary surface (what is on screen), one back surface in system
// memory that the library draws into, a clipper when windowed and an 8-bit
// palette. Surfaces may be lost at any time; the call that meets
// DDERR_SURFACELOST restores them all and fails once.
#pragma once

#include "screen/ddraw.h"

#include <cstdint>

class CDDWin {
  public:
    static constexpr int slotCount = 10;

    CDDWin();

    bool Create();
    // source: 256 entries of 4 bytes (red, green, blue, ignored), or null.
    bool Init(void* window, int32_t windowed, int32_t width, int32_t height, int32_t bits,
              const uint8_t* source);
    bool ChangeDisplayMode(int32_t width, int32_t height, int32_t bits);
    void Shutdown();
    void ReleaseAll();
    bool RestoreAll();
    bool Present(const DDRect* rect);
    void* Lock(int32_t slot);
    void Unlock(int32_t slot);
    int32_t GetPitch(int32_t slot);
    bool SetPaletteEntries(const uint8_t* source);
    void ApplyPalette();
    void SetColorKey(int32_t slot, int32_t key);
    void Clear(const DDRect* rect, int32_t color, int32_t slot);
    int32_t GetDisplayBits();

    // Fields, in this order. Slot 0 is the primary surface, slot 1 the back
    // surface; slots 2-9 are never filled by the library but are released
    // and restored with the others. Slot 0's description holds the display
    // mode read at Init (its green mask decides the screen pixel type), the
    // others the pitch and address of their last lock.
    DDPaletteEntry paletteEntries[256];
    int32_t windowed;
    int32_t width, height;
    int32_t bitsPerPixel;
    void* window;
    DDClipper* clipper;
    int32_t lastResult;
    DDObject* directDraw;
    DDPalette* palette;
    DDSurface* surfaces[slotCount];
    int32_t colorKeys[slotCount];
    DDSurfaceDesc descs[slotCount];

  private:
    bool filled(int32_t slot) const {
        return directDraw && slot >= 0 && slot < slotCount && surfaces[slot];
    }
    bool createSurface(int32_t slot, const DDSurfaceDesc& desc);
};

// Reports a DirectDraw failure: "DDERR <name>" to the debug output and in a
// message box over the display window with the given caption.
void DDErrorBox(const char* caption, DDResult code);

// How many times RestoreDisplayMode is tried before giving up.
constexpr int restoreDisplayModeAttempts = 100;
