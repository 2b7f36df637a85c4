// The display drivers and the choice among them. A driver is a
// DirectDraw-shaped display and the window layer that goes with it; each
// lives in a folder of its own under src/screen/ (the headless one, which
// every build has, beside this file) and is one row of the driver table in
// driver.cpp. The screen module opens the chosen driver and hands its
// parts to the display object; nothing here calls back up.
#pragma once

#include "screen/ddraw.h"
#include "screen/window.h"

struct DisplayDriver {
    // Whether "auto" may take the driver here (SDL2: a window system is
    // named in the environment). Null: always.
    bool (*usable)();
    // Prepares the platform when the display opens; false when it cannot be
    // used. Null: nothing to prepare.
    bool (*open)();
    // Undoes open when the display closes.
    void (*close)();
    DirectDrawCreateFunction directDrawCreate;
    WindowSystem* (*windows)();
};

// One row of the driver table: the name rasterSetDisplayDriver takes and
// the driver, null when this build leaves its folder out.
struct DisplayDriverRow {
    const char* name;
    const DisplayDriver* driver;
};

extern const DisplayDriver headlessDisplayDriver;

// Opens the chosen driver ("auto": the first row whose driver is built,
// usable and opens; headless comes last and always does); null when the
// chosen driver cannot be opened. Called when the display opens.
const DisplayDriverRow* displayDriverOpen();
// Closes the open driver, if any; the headless layer is in force again.
void displayDriverClose();
// The open driver's row, or null.
const DisplayDriverRow* displayDriverActive();
// The window layer of the open driver, else the headless one.
WindowSystem* displayWindows();

// Tests: makes `row` the driver every later display opens with (null: back
// to the choice made by name).
void displayDriverOverride(const DisplayDriverRow* row);
