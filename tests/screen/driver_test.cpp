// The drivers: frames drawn into the back buffer reach the headless
// display's primary surface, or a real SDL2 window; drivers are chosen by
// name.
#include "fixture.h"

#include "bitmap/bitmap.h"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <tuple>

#if SPANWRIGHT_HAVE_SDL2
#include <SDL.h>
constexpr bool sdlBuilt = true;
#else
constexpr bool sdlBuilt = false;
#endif
#if SPANWRIGHT_HAVE_DDRAW
constexpr bool ddrawBuilt = true;
#else
constexpr bool ddrawBuilt = false;
#endif

using namespace screentest;

namespace {

// Sets or clears an environment variable for one test and puts it back.
struct Variable {
    std::string name;
    std::optional<std::string> old;
    Variable(const char* name, const char* value) : name(name) {
        if (const char* was = std::getenv(name)) old = was;
        swtest::setEnvironment(name, value);
    }
    ~Variable() { swtest::setEnvironment(name.c_str(), old ? old->c_str() : nullptr); }
};

} // namespace

TEST_F(ScreenTest, DriverChoiceByName) {
    displayDriverOverride(nullptr);
    const std::pair<const char*, bool> names[] = {
        {nullptr, false},  {"directdraw", false}, {"", false},   {"HEADLESS", true},
        {"sdl", sdlBuilt}, {"ddraw", ddrawBuilt}, {"auto", true}};
    for (auto [name, taken] : names)
        EXPECT_EQ(rasterSetDisplayDriver(name), taken) << (name ? name : "null");
    // "auto" is DirectDraw where it is built, else without a window system
    // named headless; no choice while open.
    Variable video("SDL_VIDEODRIVER", nullptr), x("DISPLAY", nullptr),
        wayland("WAYLAND_DISPLAY", nullptr);
    ASSERT_TRUE(open());
    EXPECT_STREQ(displayDriverActive()->name, ddrawBuilt ? "ddraw" : "headless");
    EXPECT_FALSE(rasterSetDisplayDriver("auto"));
    rasterEnd();
    EXPECT_EQ(displayDriverActive(), nullptr);
    EXPECT_TRUE(rasterSetDisplayDriver("auto"));
}

// A real window shows the frames, 8-bit ones through the DirectDraw
// palette, 16-bit ones converted from 565 or 1555. Runs on the window
// system named in the environment, else on SDL's dummy video driver.
TEST_F(ScreenTest, SdlDriverShowsFrames) {
#if !SPANWRIGHT_HAVE_SDL2
    GTEST_SKIP() << "the SDL2 display driver is not built (SDL2 not found)";
#else
    const bool windowSystem = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
    Variable video("SDL_VIDEODRIVER", windowSystem ? std::getenv("SDL_VIDEODRIVER") : "dummy");
    displayDriverOverride(nullptr);
    ASSERT_TRUE(rasterSetDisplayDriver("auto"));
    ASSERT_TRUE(open(true, 1)) << messages.dump();
    ASSERT_STREQ(displayDriverActive()->name, "sdl");
    swtest::Rng rng(11);
    for (const auto& [dedicated, bits, green] :
         {std::tuple{0, 8, 0x7E0u}, std::tuple{0, 16, 0x7E0u}, std::tuple{0, 16, 0x3E0u},
          std::tuple{1, 8, 0x7E0u}}) {
        SetDedicatedMode(uint8_t(dedicated));
        memoryDisplaySetModeGreenMask(green);
        ASSERT_TRUE(beginMode(mode(640, 480, bits)));
        setPalette(11);
        bitmap_tag* bb = screenGetBackBuffer();
        ASSERT_TRUE(lockBitmap());
        for (int32_t i = 0; i < bb->rowBytes * bb->height; ++i)
            bb->pixels[i] = uint8_t(rng.next());
        ASSERT_TRUE(screenDisplay(bb));
        ASSERT_TRUE(lockBitmap());
        SDL_Surface* shown = SDL_GetWindowSurface(static_cast<SDL_Window*>(screenDisplayWindow()));
        ASSERT_TRUE(shown && shown->w >= 640 && shown->h >= 480 &&
                    shown->format->BytesPerPixel == 4);
        const PixelTypeInfo& info = *pixelTypeInfo(bb->pixelType);
        for (int i = 0; i < 2000; ++i) {
            const int32_t x = rng.range(0, 639), y = rng.range(0, 479);
            const uint32_t v = swtest::pixelAt(bb, x, y);
            uint32_t expected = palette[v & 0xFF] & 0xFFFFFF; // as the frame's flush filled it
            if (bytesPerPixel(bb->pixelType) == 2) {
                const uint32_t g = info.green.get(v);
                expected = uint32_t(expand5[info.red.get(v)]) << 16 | expand5[info.blue.get(v)] |
                           (info.green.bits == 6 ? (g << 2 | g >> 4) & 0xFF : expand5[g]) << 8;
            }
            uint32_t pixel;
            std::memcpy(&pixel, static_cast<uint8_t*>(shown->pixels) + y * shown->pitch + x * 4, 4);
            uint8_t r, g, b;
            SDL_GetRGB(pixel, shown->format, &r, &g, &b);
            ASSERT_EQ(uint32_t(r << 16 | g << 8 | b), expected) << bits << " at " << x << "," << y;
        }
        unlockBitmap();
        screenEnd();
    }
    rasterEnd();
#endif
}
