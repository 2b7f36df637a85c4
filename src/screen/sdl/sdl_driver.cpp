// The SDL2 display driver. Surfaces live in memory as in the headless
// driver; the primary surface is shown in the display window: every change
// to it is converted to the window surface's format (SDL window surfaces
// are 32-bit whatever the depth of the X display), 8-bit frames through the
// primary's DirectDraw palette. Full-screen requests become SDL full-screen
// windows of the mode's size; windowed requests use the window as it is,
// grown when it is smaller than the frame.
#include "screen/sdl/sdl.h"

#include "bitmap/bitmap.h"
#include "screen/memory_display.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>

namespace {

// Window pixels of each source channel value; OR-ing one entry of each
// table gives the pixel of a colour.
struct ChannelTables {
    uint32_t red[256], green[256], blue[256];
    uint32_t index[256]; // 8-bit sources: the pixel of each palette entry
};

// Source formats: read one pixel and turn it into a window pixel.
struct FromPal8 {
    using Pixel = uint8_t;
    static uint32_t convert(Pixel v, const ChannelTables& t) { return t.index[v]; }
};
struct FromRgb565 {
    using Pixel = uint16_t;
    static uint32_t convert(Pixel v, const ChannelTables& t) {
        return t.red[v >> 11] | t.green[(v >> 5) & 63] | t.blue[v & 31];
    }
};
struct FromArgb1555 {
    using Pixel = uint16_t;
    static uint32_t convert(Pixel v, const ChannelTables& t) {
        return t.red[(v >> 10) & 31] | t.green[(v >> 5) & 31] | t.blue[v & 31];
    }
};
struct FromRgb888 {
    using Pixel = uint32_t;
    static uint32_t convert(Pixel v, const ChannelTables& t) {
        return t.red[(v >> 16) & 255] | t.green[(v >> 8) & 255] | t.blue[v & 255];
    }
};

// Converts `rows` rows of `width` pixels into a window surface with
// `DstBytes` bytes per pixel (little-endian, as SDL lays them out here).
template <class Source, int DstBytes>
void convertRows(const uint8_t* src, int32_t srcPitch, uint8_t* dst, int32_t dstPitch,
                 int32_t width, int32_t rows, const ChannelTables& t) {
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* s = src + int64_t(y) * srcPitch;
        uint8_t* d = dst + int64_t(y) * dstPitch;
        for (int32_t x = 0; x < width; ++x) {
            typename Source::Pixel v;
            std::memcpy(&v, s + x * int32_t(sizeof v), sizeof v);
            uint32_t out = Source::convert(v, t);
            std::memcpy(d + x * DstBytes, &out, DstBytes);
        }
    }
}

using ConvertRows = void (*)(const uint8_t*, int32_t, uint8_t*, int32_t, int32_t, int32_t,
                             const ChannelTables&);

// One row per source format, one column per window pixel size (2, 3, 4).
constexpr ConvertRows converters[4][3] = {
    {convertRows<FromPal8, 2>, convertRows<FromPal8, 3>, convertRows<FromPal8, 4>},
    {convertRows<FromRgb565, 2>, convertRows<FromRgb565, 3>, convertRows<FromRgb565, 4>},
    {convertRows<FromArgb1555, 2>, convertRows<FromArgb1555, 3>, convertRows<FromArgb1555, 4>},
    {convertRows<FromRgb888, 2>, convertRows<FromRgb888, 3>, convertRows<FromRgb888, 4>},
};

ChannelTables tables;

// Fills the channel tables for `format` through the window's pixel format.
int buildTables(const DisplayFormat& format, const DDPaletteEntry* palette,
                const SDL_PixelFormat* window) {
    if (format.bits == 8) {
        for (int i = 0; i < 256; ++i) {
            DDPaletteEntry e =
                palette ? palette[i] : DDPaletteEntry{uint8_t(i), uint8_t(i), uint8_t(i), 0};
            tables.index[i] = SDL_MapRGB(window, e.red, e.green, e.blue);
        }
        return 0;
    }
    if (format.bits == 16) {
        const bool is565 = format.greenMask == 0x7E0;
        for (int v = 0; v < 32; ++v) {
            tables.red[v] = SDL_MapRGB(window, expand5[v], 0, 0);
            tables.blue[v] = SDL_MapRGB(window, 0, 0, expand5[v]);
        }
        for (int v = 0; v < (is565 ? 64 : 32); ++v) {
            uint8_t g = is565 ? uint8_t(v << 2 | v >> 4) : expand5[v];
            tables.green[v] = SDL_MapRGB(window, 0, g, 0);
        }
        return is565 ? 1 : 2;
    }
    for (int v = 0; v < 256; ++v) {
        tables.red[v] = SDL_MapRGB(window, uint8_t(v), 0, 0);
        tables.green[v] = SDL_MapRGB(window, 0, uint8_t(v), 0);
        tables.blue[v] = SDL_MapRGB(window, 0, 0, uint8_t(v));
    }
    return 3;
}

void present(void* window, const uint8_t* pixels, int32_t pitch, const DisplayFormat& format,
             const DDRect& dirty, const DDPaletteEntry* palette) {
    if (!sdlIsWindow(window)) return;
    auto* win = static_cast<SDL_Window*>(window);
    if (!(SDL_GetWindowFlags(win) & SDL_WINDOW_FULLSCREEN)) {
        int w, h;
        SDL_GetWindowSize(win, &w, &h);
        if (w < dirty.right || h < dirty.bottom)
            SDL_SetWindowSize(win, w < dirty.right ? dirty.right : w,
                              h < dirty.bottom ? dirty.bottom : h);
    }
    SDL_Surface* surface = SDL_GetWindowSurface(win);
    if (!surface) return;
    SDL_Rect r = {dirty.left, dirty.top, dirty.right - dirty.left, dirty.bottom - dirty.top};
    if (r.x + r.w > surface->w) r.w = surface->w - r.x;
    if (r.y + r.h > surface->h) r.h = surface->h - r.y;
    const int dstBytes = surface->format->BytesPerPixel;
    if (r.w <= 0 || r.h <= 0 || dstBytes < 2 || dstBytes > 4) return;
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return;
    const int source = buildTables(format, palette, surface->format);
    const int srcBytes = format.bits / 8;
    converters[source][dstBytes - 2](pixels + int64_t(r.y) * pitch + int64_t(r.x) * srcBytes, pitch,
                                     static_cast<uint8_t*>(surface->pixels) +
                                         int64_t(r.y) * surface->pitch + int64_t(r.x) * dstBytes,
                                     surface->pitch, r.w, r.h, tables);
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    SDL_UpdateWindowSurfaceRects(win, &r, 1);
    // Keeps the window answering the window system; the events stay queued
    // for the host.
    SDL_PumpEvents();
}

DisplayFormat desktop() {
    DisplayFormat format = memoryDisplayDesktop();
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0 && mode.w > 0 && mode.h > 0) {
        format.width = mode.w < memoryDisplayMaxSide ? mode.w : memoryDisplayMaxSide;
        format.height = mode.h < memoryDisplayMaxSide ? mode.h : memoryDisplayMaxSide;
    }
    return format;
}

// A window that is no SDL window (a host's own) shows nothing; the display
// then works as the headless one.
DDResult setCooperativeLevel(void* window, uint32_t flags) {
    auto* win = sdlIsWindow(window) ? static_cast<SDL_Window*>(window) : nullptr;
    if (win && (flags & DDSCL_NORMAL) && (SDL_GetWindowFlags(win) & SDL_WINDOW_FULLSCREEN))
        SDL_SetWindowFullscreen(win, 0);
    return DD_OK;
}

// A full-screen window of the mode's size; where the window system refuses
// full screen, a window of that size.
DDResult setDisplayMode(void* window, const DisplayFormat& mode) {
    if (!sdlIsWindow(window)) return DD_OK;
    auto* win = static_cast<SDL_Window*>(window);
    SDL_SetWindowSize(win, mode.width, mode.height);
    SDL_DisplayMode displayMode = {SDL_PIXELFORMAT_UNKNOWN, mode.width, mode.height, 0, nullptr};
    SDL_SetWindowDisplayMode(win, &displayMode);
    SDL_SetWindowFullscreen(win, SDL_WINDOW_FULLSCREEN);
    return DD_OK;
}

void restoreDisplayMode(void* window) {
    if (sdlIsWindow(window)) SDL_SetWindowFullscreen(static_cast<SDL_Window*>(window), 0);
}

constexpr MemoryDisplayHooks sdlHooks = {
    desktop, setCooperativeLevel, setDisplayMode, restoreDisplayMode, present, sdlWindowSystem};

DDResult sdlDirectDrawCreate(const void* guid, DDObject** out, void* outer) {
    if (guid || outer) return DDERR_INVALIDPARAMS;
    return memoryDisplayCreate(&sdlHooks, out);
}

bool named(const char* variable) {
    const char* value = std::getenv(variable);
    return value && value[0];
}

// SDL's video drivers that show nothing. SDL falls back to them when it
// finds no display; a host that asks for a window must hear that it has
// none. Named in SDL_VIDEODRIVER they are a deliberate choice and serve.
bool showsNothing(const char* videoDriver) {
    return !videoDriver || std::strcmp(videoDriver, "offscreen") == 0 ||
           std::strcmp(videoDriver, "dummy") == 0;
}

bool sdlOpen() {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        DebugPrintf("SDL_InitSubSystem() failed in sdlOpen(): %s\n", SDL_GetError());
        return false;
    }
    const char* videoDriver = SDL_GetCurrentVideoDriver();
    if (!named("SDL_VIDEODRIVER") && showsNothing(videoDriver)) {
        DebugPrintf("no display in sdlOpen(): SDL2 found none and fell back to its \"%s\" video "
                    "driver\n",
                    videoDriver ? videoDriver : "(none)");
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    return true;
}

void sdlClose() {
    sdlWindowsCloseAll();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

// A window system is there for SDL2 to use.
bool windowSystemNamed() {
    return named("SDL_VIDEODRIVER") || named("DISPLAY") || named("WAYLAND_DISPLAY");
}

} // namespace

const DisplayDriver sdlDisplayDriver = {windowSystemNamed, sdlOpen, sdlClose, sdlDirectDrawCreate,
                                        sdlWindowSystem};
