// Shared set-up of the display tests: the scripted driver over a headless
// display, the headless window layer with a fixed tick, everything as at
// load, and a check that the display left nothing allocated, no window
// and no palette.
#pragma once

#include "scripted.h"
#include "support.h"

#include "memory.h"
#include "screen/memory_display.h"
#include "screen/screen.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace screentest {

// A call log or the messages of a call, one line each.
using Lines = std::vector<std::string>;

// A stand-in for the host's window: any address serves as a handle.
inline int hostWindowObject;
inline void* const hostWindow = &hostWindowObject;

// The host's own window procedure: its answer tells the arguments it got.
inline intptr_t hostProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return window == hostWindow ? intptr_t(message) << 20 | intptr_t(wParam) << 10 | lParam : -1;
}

inline screenmode_tag mode(int32_t width, int32_t height, int32_t bits) {
    screenmode_tag m = {};
    m.width = width, m.height = height, m.bitsPerPixel = bits;
    return m;
}

inline bool logHas(const std::string& lines) {
    return std::string(headless::callLog()).find(lines) != std::string::npos;
}

class ScreenTest : public ::testing::Test {
  protected:
    void SetUp() override {
        displayDriverOverride(&scripted::driver);
        screenPaletteReset();
        headless::reset();
        memoryDisplayResetDefaults();
        screenLifecycleReset();
        scripted::reset();
        headless::setTick(true, 5000);
        liveBlocks = memLiveBlocks();
    }
    void TearDown() override {
        rasterEnd();
        screenPaletteReset();
        displayDriverOverride(nullptr);
        rasterSetDisplayDriver("auto");
        EXPECT_EQ(memLiveBlocks(), liveBlocks) << "the display left blocks allocated";
        EXPECT_EQ(headless::liveWindows(), 0);
        EXPECT_EQ(headless::livePalettes(), 0);
    }

    // ScreenBegin with the host window (its procedure hostProc), then
    // rasterBegin; with `ownWindow` the library makes its display window.
    bool open(bool ownWindow = false, uint8_t dedicated = 0) {
        headless::setWindowRect(hostWindow, {10, 20, 650, 500});
        windowsHeadless()->SetWindowProc(hostWindow, hostProc);
        SetDedicatedMode(dedicated);
        ScreenBegin(hostWindow);
        params = {};
        params.window = ownWindow ? nullptr : hostWindow;
        params.className = "spanwright test";
        params.windowProc = reinterpret_cast<void*>(hostProc);
        return rasterBegin(0, 1, &params);
    }

    // screenBegin with a mode made on the spot.
    static bool beginMode(screenmode_tag m) { return screenBegin(&m); }

    // Opens and switches to a mode, clearing the records after.
    void begin(int32_t width, int32_t height, int32_t bits, uint8_t dedicated = 0) {
        ASSERT_TRUE(open(false, dedicated));
        ASSERT_TRUE(beginMode(mode(width, height, bits)));
        scripted::calls.clear();
        headless::clearCallLog();
    }

    // Makes a palette of seeded random entries current.
    void setPalette(uint32_t seed) {
        swtest::Rng rng(seed);
        for (uint32_t& entry : palette)
            entry = rng.next();
        paletteSetCurrent(palette, 0, 256);
    }

    RasterBeginParams params;
    uint32_t palette[256] = {};
    int64_t liveBlocks = 0;
    swtest::MessageCapture messages;
};

} // namespace screentest
