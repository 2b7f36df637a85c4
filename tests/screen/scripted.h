// The scripted display driver: every call reaches a headless display, is
// recorded in order, and any call can be made to answer a chosen result
// instead (surface lost, still drawing, failure).
#pragma once

#include "screen/driver.h"

#include <string>
#include <vector>

namespace scripted {

extern const DisplayDriverRow driver;

// The calls recorded, e.g. "SetCooperativeLevel window 0x51",
// "primary.BltFast 0,0 <- back 0,0,640,480 flags=0x0", "back.Lock".
extern std::vector<std::string> calls;
// The next `times` calls whose first word is `name` ("primary.Blt",
// "SetDisplayMode", "DirectDrawCreate") answer `result` and do nothing.
void fail(const std::string& name, DDResult result, int times = 1);
// Clears the record and every pending failure.
void reset();
// The calls whose first word is `name`.
int count(const std::string& name);
// The entries of the last palette.SetEntries call of all 256.
extern DDPaletteEntry sentEntries[256];
// The memory of the live back surface (from its last lock); null when no
// back surface is alive.
extern const void* backMemory;

} // namespace scripted
