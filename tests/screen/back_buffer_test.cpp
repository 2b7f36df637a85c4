// The back buffer record never points into released memory, whatever the
// host's order of lifecycle calls: its pixels are null or the memory of the
// live back surface, laid out as the record says.
#include "fixture.h"

using namespace screentest;

namespace {

class BackBufferTest : public ScreenTest {
  protected:
    // One lifecycle call of the host, or a scripted loss or failure, by letter.
    void step(char call, swtest::Rng& rng) {
        static screenmode_tag modes[] = {mode(640, 480, 8),  mode(640, 480, 16),
                                         mode(800, 600, 8),  mode(800, 600, 16),
                                         mode(1024, 768, 8), mode(1024, 768, 16)};
        static const char* lost[] = {"back.Lock", "primary.BltFast", "primary.Blt", "back.Blt",
                                     "palette.SetEntries"};
        static const char* refused[] = {"DirectDrawCreate", "SetCooperativeLevel",
                                        "SetDisplayMode",   "CreateSurface",
                                        "CreatePalette",    "primary.Restore"};
        screenmode_tag m = modes[rng.range(0, 5)];
        bitmap_tag* bb = screenGetBackBuffer();
        switch (call) {
        case 'o':
            params = {};
            params.window = rng.range(0, 1) ? hostWindow : nullptr;
            params.classRegistered = 1;
            rasterBegin(0, 1, &params);
            break;
        case 'c': rasterEnd(); break;
        case 'b': screenBegin(&m); break; // any mode; 0, 1, 5: that one of `modes`
        case 'e': screenEnd(); break;
        case 'l': lockBitmap(); break;
        case 'u': unlockBitmap(); break;
        case 'd': screenDisplay(bb); break;
        case 'D': screenDisplayed(bb); break;
        case 'E': ScreenEnd(); break;
        case 'x': scripted::fail(lost[rng.range(0, 4)], DDERR_SURFACELOST); break;
        case 'f': scripted::fail(refused[rng.range(0, 5)], DDERR_GENERIC); break;
        case 'P': scripted::fail("CreatePalette", DDERR_OUTOFMEMORY); break;
        case '0':
        case '1':
        case '5': screenBegin(&modes[call - '0']); break;
        case 'p':
            SetDedicatedMode(uint8_t(rng.range(0, 1)));
            palette[rng.range(0, 255)] = rng.next();
            paletteSetCurrent(palette, 0, 256);
            break;
        }
    }
    // The record holds no address but the live back surface's (the scripted
    // driver knows it), and the first and last rows it describes can be
    // written (the sanitizer build checks that memory).
    void check(bool scriptedDriver) {
        bitmap_tag* bb = screenGetBackBuffer();
        const bool live = bb->pixels == nullptr || bb->pixels == scripted::backMemory;
        EXPECT_TRUE(live || !scriptedDriver);
        if (!bb->pixels || bb->height <= 0) return;
        bitmap_tag row = {bb->pixelType, bb->width, 1, bb->rowBytes, nullptr, bb->pixels};
        bitmapFill(&row, 1);
        row.pixels += int64_t(bb->height - 1) * bb->rowBytes;
        bitmapFill(&row, 2);
    }
};

} // namespace

// First the sequences that once broke it (a mode change, closing and
// opening again while locked, and a failed set-up that keeps smaller
// surfaces: use after free three times, then a buffer overflow), then
// random ones, on the scripted driver (which also loses surfaces and fails
// set-up steps) and on the headless one; nothing may stay allocated after
// rasterEnd.
TEST_F(BackBufferTest, Lifecycles) {
    const char calls[] = "ocbbelludDExfp";
    const char* const regressions[] = {"o01le", "o0lc", "o0lo", "o5P0l"};
    for (const bool scriptedDriver : {true, false}) {
        displayDriverOverride(scriptedDriver ? &scripted::driver : nullptr);
        ASSERT_TRUE(rasterSetDisplayDriver("headless"));
        for (uint32_t seed = 1; seed <= 44; ++seed) {
            SCOPED_TRACE(seed);
            swtest::Rng rng(seed);
            screenLifecycleReset();
            scripted::reset();
            ScreenBegin(hostWindow);
            const char* fixed = seed <= 4 ? regressions[seed - 1] : nullptr;
            for (int i = 0; (fixed ? fixed[i] != 0 : i < 30) && !HasFailure(); ++i) {
                step(fixed ? fixed[i] : calls[rng.range(0, sizeof calls - 2)], rng);
                check(scriptedDriver);
            }
            rasterEnd();
            ASSERT_EQ(memLiveBlocks(), liveBlocks);
            ASSERT_EQ(headless::liveWindows(), 0);
        }
    }
}
