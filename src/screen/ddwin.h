// CDDWin: the display object. It owns the DirectDraw-shaped display object,
// the primary surface (what is on screen), one back surface in system
// memory that the library draws into, a clipper when windowed and an 8-bit
// palette. Surfaces may be lost at any time; the call that meets
// DDERR_SURFACELOST restores them all and fails once.
//
// It calls only down: into the driver that made it (its DirectDraw-shaped
// objects) and the window layer that goes with that driver. The screen
// module above reads its state through the methods below.
#pragma once

#include "screen/ddraw.h"
#include "screen/window.h"

#include <cstdint>

class CDDWin {
  public:
    static constexpr int slotCount = 10;

    // `directDrawCreate` makes the driver's display objects; `windows` is
    // the window layer of the same driver.
    CDDWin(DirectDrawCreateFunction directDrawCreate, WindowSystem* windows);

    bool Create();
    // source: 256 entries of 4 bytes (red, green, blue, ignored), or null.
    bool Init(WindowHandle window, int32_t windowed, int32_t width, int32_t height, int32_t bits,
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

    // The screen pixel type: PIXEL_PAL8 on a palette display; on an RGB
    // display (of any depth) PIXEL_RGB565 when the display mode read at Init
    // has 565's green mask, else PIXEL_ARGB1555; 255 otherwise.
    uint8_t pixelType();
    // The result of the most recent DirectDraw call; DD_OK is 0.
    DDResult lastResult() const { return lastResult_; }
    bool hasPrimary() const { return surfaces_[0] != nullptr; }
    // Copies the frame last presented, read back from the primary surface
    // where it lies, into `height` rows of `pixels`; false (nothing
    // written) when the size differs from the mode's or the primary cannot
    // be read in that many bytes per pixel.
    bool readFrame(uint8_t* pixels, int32_t rowBytes, int32_t width, int32_t height,
                   int32_t bytesPerPixel);

  private:
    bool filled(int32_t slot) const {
        return directDraw_ && slot >= 0 && slot < slotCount && surfaces_[slot];
    }
    bool createSurface(int32_t slot, const DDSurfaceDesc& desc);
    // Locks a surface into `desc`: waits while it is still drawing,
    // restores all surfaces (and fails) when it was lost.
    void* lockSurface(int32_t slot, DDSurfaceDesc& desc);

    const DirectDrawCreateFunction directDrawCreate_;
    WindowSystem* const windows_;

    // Slot 0 is the primary surface, slot 1 the back surface; slots 2-9 are
    // never filled by the library but are released and restored with the
    // others. Slot 0's description holds the display mode read at Init
    // (its green mask decides the screen pixel type), the others the pitch
    // and address of their last lock.
    DDPaletteEntry paletteEntries_[256];
    int32_t windowed_ = 1;
    int32_t width_ = 0, height_ = 0;
    int32_t bitsPerPixel_ = 0;
    WindowHandle window_ = nullptr;
    DDClipper* clipper_ = nullptr;
    DDResult lastResult_ = DD_OK;
    DDObject* directDraw_ = nullptr;
    DDPalette* palette_ = nullptr;
    DDSurface* surfaces_[slotCount] = {};
    int32_t colorKeys_[slotCount];
    DDSurfaceDesc descs_[slotCount] = {};
};

// Reports a DirectDraw failure: "DDERR <name>" to the debug output and in a
// message box over `window` with the given caption.
void DDErrorBox(WindowSystem* windows, WindowHandle window, const char* caption, DDResult code);

// How many times RestoreDisplayMode is tried before giving up.
constexpr int restoreDisplayModeAttempts = 100;
