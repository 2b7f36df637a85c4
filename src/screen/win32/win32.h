// The Win32 window layer: real windows, window procedures, cursor
// confinement, message boxes, the tick count, and the GDI palette and
// system colours of the desktop. The display driver over DirectDraw
// (screen/directdraw) goes with it.
#pragma once

#include "screen/window.h"

WindowSystem* win32WindowSystem();
// Dispatches the messages waiting for the thread's windows (the display
// does it at each presented frame, so that its windows keep answering).
void win32PumpMessages();
