// The display driver over the platform's DirectDraw, the default on
// Windows. The build compiles this folder (and screen/win32) only there.
#pragma once

#include "screen/driver.h"

extern const DisplayDriver ddrawDisplayDriver;
// The driver's entry in the driver table, null in a build for another
// platform.
#if SPANWRIGHT_HAVE_DDRAW
#define DDRAW_DISPLAY_DRIVER (&ddrawDisplayDriver)
#else
#define DDRAW_DISPLAY_DRIVER nullptr
#endif
