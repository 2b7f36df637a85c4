// The SDL2 display driver: the memory display with its primary surface
// shown in an SDL window, and the SDL2 window layer.
#pragma once

#include "screen/driver.h"

WindowSystem* sdlWindowSystem();
// Destroys the windows the SDL layer made and has not destroyed yet.
void sdlWindowsCloseAll();
