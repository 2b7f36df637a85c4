// The SDL2 driver: a real window shows the frames, 8-bit ones through the
// DirectDraw palette, 16-bit ones converted from 565 or 1555. Runs on the
// window system named in the environment, else on SDL's dummy video driver.
#include "fixture.h"

#include "bitmap/bitmap.h"

#include <cstdlib>
#include <cstring>
#include <string>

#if SPANWRIGHT_HAVE_SDL2
#include <SDL.h>
#endif

using namespace screentest;

namespace {

// Sets or clears environment variables for one test and puts them back.
class Environment {
  public:
    void set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved.push_back({name, old ? old : "", old != nullptr});
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~Environment() {
        for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
            if (it->had)
                setenv(it->name.c_str(), it->value.c_str(), 1);
            else
                unsetenv(it->name.c_str());
        }
    }

  private:
    struct Saved {
        std::string name, value;
        bool had;
    };
    std::vector<Saved> saved;
};

} // namespace

TEST_F(ScreenTest, AutoIsHeadlessWithoutAWindowSystem) {
    Environment env;
    env.set("SDL_VIDEODRIVER", nullptr);
    env.set("DISPLAY", nullptr);
    env.set("WAYLAND_DISPLAY", nullptr);
    displayDriverOverride(nullptr);
    ASSERT_TRUE(rasterSetDisplayDriver("auto"));
    ASSERT_TRUE(open());
    EXPECT_STREQ(displayDriverActive()->name, "headless");
}

TEST_F(ScreenTest, SdlDriverShowsFrames) {
#if !SPANWRIGHT_HAVE_SDL2
    GTEST_SKIP() << "the SDL2 display driver is not built (SDL2 not found)";
#else
    Environment env;
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        env.set("SDL_VIDEODRIVER", "dummy");
    displayDriverOverride(nullptr);
    ASSERT_TRUE(rasterSetDisplayDriver("auto"));
    ASSERT_TRUE(open(true, 1)) << messages.dump();
    ASSERT_STREQ(displayDriverActive()->name, "sdl");
    auto* window = static_cast<SDL_Window*>(screenDisplayWindow());
    ASSERT_NE(window, nullptr);
    std::printf("SDL video driver: %s\n", SDL_GetCurrentVideoDriver());

    uint32_t palette[256];
    swtest::Rng rng(11);
    for (uint32_t& entry : palette)
        entry = rng.next() & 0xFFFFFF;

    struct Case {
        uint8_t dedicated;
        int32_t bits;
        uint32_t green;
    } cases[] = {{0, 8, 0x7E0}, {0, 16, 0x7E0}, {0, 16, 0x3E0}, {1, 8, 0x7E0}};
    for (const auto& c : cases) {
        SetDedicatedMode(c.dedicated);
        memoryDisplaySetModeGreenMask(c.green);
        screenmode_tag m = mode(640, 480, c.bits);
        ASSERT_TRUE(screenBegin(&m));
        paletteSetCurrent(palette, 0, 256);
        bitmap_tag* bb = screenGetBackBuffer();
        ASSERT_TRUE(lockBitmap());
        const int bpp = bytesPerPixel(bb->pixelType);
        for (int32_t y = 0; y < bb->height; ++y)
            for (int32_t x = 0; x < bb->width * bpp; ++x)
                bb->pixels[y * bb->rowBytes + x] = uint8_t(rng.next());
        ASSERT_TRUE(screenDisplay(bb));
        ASSERT_TRUE(lockBitmap());

        SDL_Surface* shown = SDL_GetWindowSurface(window);
        ASSERT_NE(shown, nullptr);
        ASSERT_GE(shown->w, 640);
        ASSERT_GE(shown->h, 480);
        ASSERT_EQ(shown->format->BytesPerPixel, 4);
        for (int i = 0; i < 2000; ++i) {
            int32_t x = rng.range(0, 639), y = rng.range(0, 479);
            const uint8_t* p = bb->pixels + y * bb->rowBytes + x * bpp;
            uint8_t r, g, b;
            if (bpp == 1) {
                // 8-bit: through the DirectDraw palette, which the frame's
                // flush filled from the shadow palette.
                uint32_t e = palette[p[0]];
                r = uint8_t(e >> 16), g = uint8_t(e >> 8), b = uint8_t(e);
            } else {
                uint16_t v = uint16_t(p[0] | p[1] << 8);
                if (bb->pixelType == PIXEL_RGB565) {
                    r = expand5[v >> 11];
                    g = uint8_t(((v >> 5) & 63) << 2 | ((v >> 5) & 63) >> 4);
                } else {
                    r = expand5[(v >> 10) & 31];
                    g = expand5[(v >> 5) & 31];
                }
                b = expand5[v & 31];
            }
            uint32_t pixel;
            std::memcpy(&pixel, static_cast<uint8_t*>(shown->pixels) + y * shown->pitch + x * 4, 4);
            uint8_t sr, sg, sb;
            SDL_GetRGB(pixel, shown->format, &sr, &sg, &sb);
            ASSERT_EQ(sr, r) << c.bits << " at " << x << "," << y;
            ASSERT_EQ(sg, g) << c.bits << " at " << x << "," << y;
            ASSERT_EQ(sb, b) << c.bits << " at " << x << "," << y;
        }
        unlockBitmap();
        screenEnd();
    }
    rasterEnd();
    EXPECT_EQ(displayDriverActive(), nullptr);
#endif
}
