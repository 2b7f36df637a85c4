// The SDL2 display driver: the memory display with its primary surface
// shown in an SDL window, and the SDL2 window layer. The build compiles
// this folder only when SDL2 is found.
#pragma once

#include "screen/driver.h"

extern const DisplayDriver sdlDisplayDriver;
// The driver's entry in the driver table, null in a build without SDL2.
#if SPANWRIGHT_HAVE_SDL2
#define SDL_DISPLAY_DRIVER (&sdlDisplayDriver)
#else
#define SDL_DISPLAY_DRIVER nullptr
#endif

WindowSystem* sdlWindowSystem();
// Destroys the windows the SDL layer made and has not destroyed yet, and
// forgets the handles it has met.
void sdlWindowsCloseAll();

// True when `handle` is a live SDL window: one the layer made, or a host's
// SDL window. Other handles (a host window the host made without SDL) are
// kept by the headless bookkeeping alone.
bool sdlIsWindow(void* handle);
