// Frame presentation: lock, present (copy to the primary surface and, with
// the SDL2 driver, conversion into the window), per mode.
#include <spanwright/spanwright.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>

namespace {

void presentFrames(benchmark::State& state, const char* driver) {
    const int32_t width = int32_t(state.range(0)), height = int32_t(state.range(1));
    const int32_t bits = int32_t(state.range(2));
    if (std::strcmp(driver, "sdl") == 0 && !std::getenv("DISPLAY"))
        setenv("SDL_VIDEODRIVER", "dummy", 0);
    if (!rasterSetDisplayDriver(driver)) {
        state.SkipWithError("display driver not available");
        return;
    }
    ScreenBegin(nullptr);
    RasterBeginParams params = {};
    params.className = "spanwright bench";
    // A window class stays registered once made, as on the platform.
    static bool registered = false;
    params.classRegistered = registered;
    screenmode_tag mode = {};
    mode.width = width;
    mode.height = height;
    mode.bitsPerPixel = bits;
    if (!rasterBegin(0, 1, &params) || !screenBegin(&mode)) {
        state.SkipWithError("display did not open");
        rasterEnd();
        return;
    }
    registered = true;
    uint32_t palette[256];
    for (uint32_t i = 0; i < 256; ++i)
        palette[i] = i * 0x010203u;
    paletteSetCurrent(palette, 0, 256);
    bitmap_tag* bb = screenGetBackBuffer();
    for (auto _ : state) {
        lockBitmap();
        bb->pixels[0] ^= 1;
        screenDisplay(bb);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(width) * height);
    screenEnd();
    rasterEnd();
    rasterSetDisplayDriver("auto");
}

void BM_PresentHeadless(benchmark::State& state) {
    presentFrames(state, "headless");
}
void BM_PresentSdl(benchmark::State& state) {
    presentFrames(state, "sdl");
}

} // namespace

BENCHMARK(BM_PresentHeadless)->Args({640, 480, 8})->Args({1024, 768, 16});
BENCHMARK(BM_PresentSdl)->Args({640, 480, 8})->Args({1024, 768, 16});
