// The display driver choice.
#include "screen/driver.h"

#include "screen/memory_display.h"

#include <spanwright/spanwright.h>

#include <strings.h>

namespace {

enum class Choice { automatic, headless, sdl };

Choice chosen = Choice::automatic;
const DisplayDriver* active = nullptr;
const DisplayDriver* overridden = nullptr;

WindowSystem* headlessWindows() {
    return windowsHeadless();
}

// "auto": the SDL2 driver when a window system is named and SDL2 video
// starts there, otherwise headless.
const DisplayDriver* openAutomatic() {
#if SPANWRIGHT_HAVE_SDL2
    if (sdlWindowSystemNamed() && sdlDisplayDriver.open()) return &sdlDisplayDriver;
#endif
    return &headlessDisplayDriver;
}

} // namespace

const DisplayDriver headlessDisplayDriver = {"headless", nullptr, nullptr, headlessDirectDrawCreate,
                                             headlessWindows};

bool displayDriverOpen() {
    if (active) return true;
    const DisplayDriver* driver = overridden;
    if (!driver) {
        switch (chosen) {
        case Choice::automatic: active = openAutomatic(); return true;
        case Choice::headless: driver = &headlessDisplayDriver; break;
        case Choice::sdl:
#if SPANWRIGHT_HAVE_SDL2
            driver = &sdlDisplayDriver;
            break;
#else
            return false;
#endif
        }
    }
    if (driver->open && !driver->open()) return false;
    active = driver;
    return true;
}

void displayDriverClose() {
    if (active && active->close) active->close();
    active = nullptr;
}

const DisplayDriver* displayDriverActive() {
    return active;
}

DDResult displayDirectDrawCreate(const void* guid, DDObject** out, void* outer) {
    return (active ? active : &headlessDisplayDriver)->directDrawCreate(guid, out, outer);
}

WindowSystem* displayWindows() {
    return active ? active->windows() : windowsHeadless();
}

void displayDriverOverride(const DisplayDriver* driver) {
    overridden = driver;
}

extern "C" uint8_t rasterSetDisplayDriver(const char* name) {
    if (!name || active) return 0;
    if (strcasecmp(name, "auto") == 0) {
        chosen = Choice::automatic;
    } else if (strcasecmp(name, "headless") == 0) {
        chosen = Choice::headless;
    } else if (strcasecmp(name, "sdl") == 0) {
#if SPANWRIGHT_HAVE_SDL2
        chosen = Choice::sdl;
#else
        return 0;
#endif
    } else {
        return 0;
    }
    return 1;
}
