// The driver table and the choice of the display driver.
#include "screen/driver.h"

#include "screen/directdraw/directdraw.h"
#include "screen/memory_display.h"
#include "screen/sdl/sdl.h"

#include <spanwright/spanwright.h>

#include <strings.h>

namespace {

// In the order "auto" tries them.
constexpr DisplayDriverRow displayDrivers[] = {
    {"ddraw", DDRAW_DISPLAY_DRIVER},
    {"sdl", SDL_DISPLAY_DRIVER},
    {"headless", &headlessDisplayDriver},
};

const DisplayDriverRow* chosen = nullptr; // null: "auto"
const DisplayDriverRow* active = nullptr;
const DisplayDriverRow* overridden = nullptr;

bool opens(const DisplayDriver& driver) {
    return !driver.open || driver.open();
}

const DisplayDriverRow* openAutomatic() {
    for (const DisplayDriverRow& row : displayDrivers) {
        const DisplayDriver* driver = row.driver;
        if (driver && (!driver->usable || driver->usable()) && opens(*driver)) return &row;
    }
    return nullptr;
}

WindowSystem* headlessWindows() {
    return windowsHeadless();
}

} // namespace

const DisplayDriver headlessDisplayDriver = {nullptr, nullptr, nullptr, headlessDirectDrawCreate,
                                             headlessWindows};

const DisplayDriverRow* displayDriverOpen() {
    if (active) return active;
    const DisplayDriverRow* row = overridden ? overridden : chosen;
    if (!row) {
        active = openAutomatic();
    } else if (opens(*row->driver)) {
        active = row;
    }
    return active;
}

void displayDriverClose() {
    if (active && active->driver->close) active->driver->close();
    active = nullptr;
}

const DisplayDriverRow* displayDriverActive() {
    return active;
}

WindowSystem* displayWindows() {
    return active ? active->driver->windows() : windowsHeadless();
}

void displayDriverOverride(const DisplayDriverRow* row) {
    overridden = row;
}

extern "C" uint8_t rasterSetDisplayDriver(const char* name) {
    if (!name || active) return 0;
    if (strcasecmp(name, "auto") == 0) {
        chosen = nullptr;
        return 1;
    }
    for (const DisplayDriverRow& row : displayDrivers) {
        if (strcasecmp(name, row.name) == 0 && row.driver) {
            chosen = &row;
            return 1;
        }
    }
    return 0;
}
