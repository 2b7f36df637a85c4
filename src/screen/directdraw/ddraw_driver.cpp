// The DirectDraw display driver. The display's surfaces are the memory
// display's, in the pixel format of the mode the library asked for; every
// change to the primary surface is carried to the platform's primary
// through a system-memory offscreen surface in the desktop's own format.
// Frames are converted on the way by tables of our own: an 8-bit surface
// blitted to a 16- or 32-bit primary is not guaranteed to be drawn at all.
// On a display that really is 8-bit the indexes go through unchanged and
// the palette goes to the platform's palette of the primary.
#include "screen/directdraw/directdraw.h"

#include "bitmap/bitmap.h"
#include "screen/directdraw/ddraw_system.h"
#include "screen/memory_display.h"
#include "screen/win32/win32.h"

#include <cstring>

namespace {

// A channel value placed under a mask of the display's format.
uint32_t place(uint32_t value8, uint32_t mask) {
    if (!mask) return 0;
    int shift = 0;
    while (!(mask >> shift & 1))
        ++shift;
    int bits = 0;
    while (mask >> (shift + bits) & 1)
        ++bits;
    return (bits >= 8 ? value8 << (bits - 8) : value8 >> (8 - bits)) << shift;
}

// Display pixels of each source channel value; OR-ing one of each gives
// the pixel of a colour. 8-bit sources use `index`.
struct Tables {
    uint32_t red[256], green[256], blue[256];
    uint32_t index[256];
};

Tables tables;

int fillTables(const DisplayFormat& source, const DDPaletteEntry* palette,
               const ddsys::Format& display) {
    auto pixel = [&](uint8_t r, uint8_t g, uint8_t b) {
        return place(r, display.redMask) | place(g, display.greenMask) | place(b, display.blueMask);
    };
    if (source.bits == 8) {
        for (int i = 0; i < 256; ++i) {
            DDPaletteEntry e =
                palette ? palette[i] : DDPaletteEntry{uint8_t(i), uint8_t(i), uint8_t(i), 0};
            tables.index[i] = pixel(e.red, e.green, e.blue);
        }
        return 0;
    }
    const bool is565 = source.greenMask == 0x7E0;
    for (int v = 0; v < 32; ++v) {
        tables.red[v] = pixel(expand5[v], 0, 0);
        tables.blue[v] = pixel(0, 0, expand5[v]);
    }
    for (int v = 0; v < (is565 ? 64 : 32); ++v)
        tables.green[v] = pixel(0, is565 ? uint8_t(v << 2 | v >> 4) : expand5[v], 0);
    return is565 ? 1 : 2;
}

template <int Source, int DstBytes>
void convertRows(const uint8_t* src, int32_t srcPitch, uint8_t* dst, int32_t dstPitch,
                 int32_t width, int32_t rows) {
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* s = src + int64_t(y) * srcPitch;
        uint8_t* d = dst + int64_t(y) * dstPitch;
        for (int32_t x = 0; x < width; ++x) {
            uint32_t out;
            if (Source == 0) {
                out = tables.index[s[x]];
            } else {
                uint16_t v;
                std::memcpy(&v, s + 2 * x, 2);
                out = Source == 1
                          ? tables.red[v >> 11] | tables.green[(v >> 5) & 63] | tables.blue[v & 31]
                          : tables.red[(v >> 10) & 31] | tables.green[(v >> 5) & 31] |
                                tables.blue[v & 31];
            }
            std::memcpy(d + x * DstBytes, &out, DstBytes);
        }
    }
}

using ConvertRows = void (*)(const uint8_t*, int32_t, uint8_t*, int32_t, int32_t, int32_t);
// One row per source format (8-bit, 565, 1555), one column per display
// pixel size (2, 3, 4 bytes).
constexpr ConvertRows converters[3][3] = {
    {convertRows<0, 2>, convertRows<0, 3>, convertRows<0, 4>},
    {convertRows<1, 2>, convertRows<1, 3>, convertRows<1, 4>},
    {convertRows<2, 2>, convertRows<2, 3>, convertRows<2, 4>},
};

void report(const char* call, DDResult result) {
    DebugPrintf("%s() failed in ddrawPresent(): %s\n", call, DDErrorName(result));
}

void present(void* window, const uint8_t* pixels, int32_t pitch, const DisplayFormat& format,
             const DDRect& dirty, const DDPaletteEntry* palette) {
    ddsys::Format display;
    DDResult r = ddsys::displayFormat(&display);
    if (r != DD_OK) return report("IDirectDraw::GetDisplayMode", r);
    const bool direct = display.palettized && display.bits == 8 && format.bits == 8;
    const int dstBytes = display.bits / 8;
    if (!direct && (format.bits == 32 || dstBytes < 2 || dstBytes > 4)) return;
    if (direct && palette) {
        uint8_t entries[256 * 4];
        std::memcpy(entries, palette, sizeof entries);
        if ((r = ddsys::setPalette(entries)) != DD_OK)
            return report("IDirectDrawPalette::SetEntries", r);
    }
    uint8_t* frame;
    int32_t framePitch;
    if ((r = ddsys::lockFrame(format.width, format.height, &frame, &framePitch)) != DD_OK)
        return report("IDirectDrawSurface::Lock", r);
    const int32_t w = dirty.right - dirty.left, h = dirty.bottom - dirty.top;
    const int srcBytes = format.bits / 8;
    const uint8_t* src = pixels + int64_t(dirty.top) * pitch + int64_t(dirty.left) * srcBytes;
    if (direct) {
        for (int32_t y = 0; y < h; ++y)
            std::memcpy(frame + int64_t(dirty.top + y) * framePitch + dirty.left,
                        src + int64_t(y) * pitch, size_t(w));
    } else {
        const int source = fillTables(format, palette, display);
        converters[source][dstBytes - 2](
            src, pitch, frame + int64_t(dirty.top) * framePitch + int64_t(dirty.left) * dstBytes,
            framePitch, w, h);
    }
    if ((r = ddsys::unlockFrame()) != DD_OK) return report("IDirectDrawSurface::Unlock", r);
    const int32_t rect[4] = {dirty.left, dirty.top, dirty.right, dirty.bottom};
    if ((r = ddsys::presentFrame(window, rect)) != DD_OK)
        return report("IDirectDrawSurface::Blt", r);
    // The window system may hold the drawing back until the thread next
    // looks at its messages.
    win32PumpMessages();
}

// The desktop as the memory display shows it outside exclusive mode: the
// real size; 8 bits on an 8-bit display, else the memory display's 16-bit
// format, whatever the depth of the real one.
DisplayFormat desktop() {
    DisplayFormat format = memoryDisplayDesktop();
    ddsys::Format display;
    if (ddsys::displayFormat(&display) == DD_OK && display.width > 0 && display.height > 0) {
        format.width = display.width < memoryDisplayMaxSide ? display.width : memoryDisplayMaxSide;
        format.height =
            display.height < memoryDisplayMaxSide ? display.height : memoryDisplayMaxSide;
        if (display.palettized) format = {format.width, format.height, 8, 0};
    }
    return format;
}

DDResult setCooperativeLevel(void* window, uint32_t flags) {
    return ddsys::setCooperativeLevel(window, flags);
}

// A display mode the platform refuses (a desktop that offers no such mode)
// leaves the desktop as it is: the frame is then shown in the window's
// corner at the desktop's depth, converted like a windowed frame.
DDResult setDisplayMode(void*, const DisplayFormat& mode) {
    DDResult r =
        ddsys::setDisplayMode(uint32_t(mode.width), uint32_t(mode.height), uint32_t(mode.bits));
    if (r != DD_OK)
        DebugPrintf("IDirectDraw::SetDisplayMode() failed in ddrawSetDisplayMode(): %s, the "
                    "desktop's mode stays\n",
                    DDErrorName(r));
    return DD_OK;
}

void restoreDisplayMode(void*) {
    DDResult r = ddsys::restoreDisplayMode();
    if (r != DD_OK)
        DebugPrintf("IDirectDraw::RestoreDisplayMode() failed in ddrawRestoreDisplayMode(): %s\n",
                    DDErrorName(r));
}

constexpr MemoryDisplayHooks ddrawHooks = {
    desktop, setCooperativeLevel, setDisplayMode, restoreDisplayMode, present, win32WindowSystem};

DDResult ddrawDirectDrawCreate(const void* guid, DDObject** out, void* outer) {
    if (guid || outer) return DDERR_INVALIDPARAMS;
    return memoryDisplayCreate(&ddrawHooks, out);
}

bool ddrawOpen() {
    DDResult r = ddsys::open();
    if (r != DD_OK) DebugPrintf("DirectDrawCreate() failed in ddrawOpen(): %s\n", DDErrorName(r));
    return r == DD_OK;
}

void ddrawClose() {
    ddsys::close();
}

} // namespace

const DisplayDriver ddrawDisplayDriver = {nullptr, ddrawOpen, ddrawClose, ddrawDirectDrawCreate,
                                          win32WindowSystem};
