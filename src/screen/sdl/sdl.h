// The SDL2 display driver: the memory display with its primary surface
// shown in an SDL window, and the SDL2 window layer.
#pragma once

#include "screen/driver.h"

WindowSystem* sdlWindowSystem();
// Destroys the windows the SDL layer made and has not destroyed yet.
void sdlWindowsCloseAll();

// True when `handle` is a live SDL window. Other handles (a host window the
// host made without SDL) are kept by the headless bookkeeping alone.
bool sdlIsWindow(void* handle);
