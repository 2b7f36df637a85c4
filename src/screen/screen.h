// Internal interface of the display lifecycle, shared by the screen
// palette and the tests. The screen module is the top of the display
// layers: it calls the display object (CDDWin), the driver choice and the
// window layer, and none of them calls it.
#pragma once

#include "screen/ddwin.h"
#include "screen/driver.h"
#include "screen/window.h"

#include <spanwright/spanwright.h>

// The display object, null before rasterBegin and after rasterEnd.
CDDWin* screenDisplayObject();
// The window the display runs in (made by the library or the host's).
WindowHandle screenDisplayWindow();
bool screenDedicatedMode();

// The procedure put on the host window by rasterBegin.
intptr_t screenSubclassProc(WindowHandle window, uint32_t message, uintptr_t wParam,
                            intptr_t lParam);

// Sends the shadow palette to the display: the DirectDraw palette in
// full-screen mode, the system palette in dedicated mode; clears dirty.
void screenFlushPalette();

// Tests: deletes the cached GDI palettes and forgets the saved system
// colours, as at load.
void screenPaletteReset();
// Tests: the frame-rate state and the mode stack as at load.
void screenLifecycleReset();
