// The platform's DirectDraw, in plain types: one DirectDraw object, the
// primary surface with a clipper on the display window, a system-memory
// offscreen surface in the display's format that frames are written into,
// and a palette on the primary when the display itself is 8-bit. Only
// ddraw_system.cpp sees the platform's headers, whose DD_OK and DDERR_
// macros would collide with the display's own names. Results are the
// platform's, which the display's error table names.
#pragma once

#include <cstdint>

namespace ddsys {

struct Format {
    int32_t width, height, bits;
    uint32_t redMask, greenMask, blueMask;
    bool palettized;
};

// DirectDrawCreate for the default display; a no-op while one exists.
int32_t open();
// Releases every object; open() starts again.
void close();
int32_t setCooperativeLevel(void* window, uint32_t flags);
int32_t setDisplayMode(uint32_t width, uint32_t height, uint32_t bits);
int32_t restoreDisplayMode();
int32_t displayFormat(Format* out);
// Locks the offscreen surface, made (again) at `width` × `height` in the
// display's format when needed and restored when lost.
int32_t lockFrame(int32_t width, int32_t height, uint8_t** pixels, int32_t* pitch);
int32_t unlockFrame();
// Blits rectangle `rect` (left, top, right, bottom) of the offscreen
// surface to the same place on the primary, clipped to `window`; a lost
// primary is restored and the blit tried again once.
int32_t presentFrame(void* window, const int32_t rect[4]);
// Sets the 256 entries (red, green, blue, flags) of the primary's palette,
// made on first use; only for an 8-bit display.
int32_t setPalette(const uint8_t* entries);

} // namespace ddsys
