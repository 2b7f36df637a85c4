// A display kept in memory behind the DirectDraw-shaped interface: the
// display mode is simulated, every surface (the primary one included) is a
// block of memory in the display's pixel format, and blits, colour fills,
// locks, colour keys, clippers and palettes behave as the interface
// promises. The headless driver is this display alone; a platform driver
// (SDL2) adds hooks that carry the primary surface to a real window.
#pragma once

#include "screen/ddraw.h"
#include "screen/window.h"

// A display mode: size, bits per pixel (8, 16 or 32) and, for 16 bits, the
// green mask that tells 565 (0x7E0) from 1555 (0x3E0).
struct DisplayFormat {
    int32_t width, height, bits;
    uint32_t greenMask;
};

// What a platform driver adds to the memory display.
struct MemoryDisplayHooks {
    // The display format outside exclusive mode; null: the simulated desktop.
    DisplayFormat (*desktop)();
    // Accepts or refuses a cooperative level for a window.
    DDResult (*setCooperativeLevel)(void* window, uint32_t flags);
    // Shows the window in the new display mode (exclusive level only).
    DDResult (*setDisplayMode)(void* window, const DisplayFormat& mode);
    void (*restoreDisplayMode)(void* window);
    // The primary surface changed inside `dirty` (already clipped to it);
    // `palette` is the primary's palette on an 8-bit display, else null.
    void (*present)(void* window, const uint8_t* pixels, int32_t pitch, const DisplayFormat& format,
                    const DDRect& dirty, const DDPaletteEntry* palette);
    // The window layer that answers for a clipper's window; null: the
    // headless one.
    WindowSystem* (*windows)();
};

// Makes a memory display object (the creation entry point of a driver).
DDResult memoryDisplayCreate(const MemoryDisplayHooks* hooks, DDObject** out);

// The headless driver's creation entry point.
DDResult headlessDirectDrawCreate(const void* guid, DDObject** out, void* outer);

// The simulated desktop: the display format outside exclusive mode (default
// 1024 x 768, 16 bits, green mask 0x7E0), and the green mask that 16-bit
// display modes set with SetDisplayMode take (default 0x7E0). Objects made
// later see the new values. A format outside the sizes and depths the
// memory display makes is ignored.
void memoryDisplaySetDesktop(const DisplayFormat& desktop);
DisplayFormat memoryDisplayDesktop();
void memoryDisplaySetModeGreenMask(uint32_t greenMask);
// Loses every video-memory surface alive, as another program taking the
// display does: their Lock and Blt answer DDERR_SURFACELOST until each is
// restored. Surfaces in system memory are never lost.
void memoryDisplayLoseSurfaces();
// Back to the defaults above.
void memoryDisplayResetDefaults();

// The largest surface side the memory display makes.
constexpr int32_t memoryDisplayMaxSide = 4096;
