// Choice of the display driver: the DirectDraw-shaped display object and
// the window layer that go together.
#pragma once

#include "screen/ddraw.h"
#include "screen/window.h"

struct DisplayDriver {
    const char* name;
    // Prepares the platform when the display opens; false when it cannot be
    // used. Null: nothing to prepare.
    bool (*open)();
    // Undoes open when the display closes.
    void (*close)();
    DirectDrawCreateFunction directDrawCreate;
    WindowSystem* (*windows)();
};

extern const DisplayDriver headlessDisplayDriver;
#if SPANWRIGHT_HAVE_SDL2
extern const DisplayDriver sdlDisplayDriver;
// True when a window system is there for SDL2 to use: SDL_VIDEODRIVER,
// DISPLAY or WAYLAND_DISPLAY is set.
bool sdlWindowSystemNamed();
#endif

// Resolves the chosen driver ("auto": SDL2 when a window system is named
// and its video starts, else headless) and opens it; false when the chosen
// driver cannot be opened. Called when the display opens.
bool displayDriverOpen();
// Closes the open driver, if any; the headless layer is in force again.
void displayDriverClose();
// The open driver, or null.
const DisplayDriver* displayDriverActive();
// DirectDrawCreate of the open driver (the headless one when none is open).
DDResult displayDirectDrawCreate(const void* guid, DDObject** out, void* outer);

// Tests: makes `driver` the one every later display opens with (null: back
// to the choice made by name).
void displayDriverOverride(const DisplayDriver* driver);
