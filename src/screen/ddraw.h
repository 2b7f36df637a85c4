// The display driver interface: a small object model shaped like DirectDraw
// (a display object that makes surfaces, clippers and palettes), with
// DirectDraw's result codes, flags and method names. CDDWin talks only to
// this interface, so a driver over real DirectDraw could stand beside the
// headless and SDL2 drivers without CDDWin changing.
//
// Objects are created by a driver and destroyed by their own Release().
// Every method answers a DDResult: DD_OK or one of the DDERR_ codes below.
#pragma once

#include <cstdint>

using DDResult = int32_t;

// Result codes, valued as the platform header defines them: the DirectDraw
// facility codes are 0x88760000 + n; five are the platform's generic codes.
constexpr DDResult ddCode(uint32_t n) {
    return DDResult(0x88760000u + n);
}
constexpr DDResult DD_OK = 0;
constexpr DDResult DDERR_GENERIC = DDResult(0x80004005u);
constexpr DDResult DDERR_UNSUPPORTED = DDResult(0x80004001u);
constexpr DDResult DDERR_NOTINITIALIZED = DDResult(0x800401F0u);
constexpr DDResult DDERR_OUTOFMEMORY = DDResult(0x8007000Eu);
constexpr DDResult DDERR_INVALIDPARAMS = DDResult(0x80070057u);
constexpr DDResult DDERR_INVALIDMODE = ddCode(120);
constexpr DDResult DDERR_INVALIDOBJECT = ddCode(130);
constexpr DDResult DDERR_INVALIDPIXELFORMAT = ddCode(145);
constexpr DDResult DDERR_INVALIDRECT = ddCode(150);
constexpr DDResult DDERR_NOCOOPERATIVELEVELSET = ddCode(212);
constexpr DDResult DDERR_NOEXCLUSIVEMODE = ddCode(225);
constexpr DDResult DDERR_NOSTRETCHHW = ddCode(310);
constexpr DDResult DDERR_SURFACEBUSY = ddCode(430);
constexpr DDResult DDERR_SURFACELOST = ddCode(450); // 0x887601C2
constexpr DDResult DDERR_UNSUPPORTEDMODE = ddCode(590);
constexpr DDResult DDERR_WASSTILLDRAWING = ddCode(540); // 0x8876021C
constexpr DDResult DDERR_NOTLOCKED = ddCode(584);
constexpr DDResult DDERR_NOTPALETTIZED = ddCode(589);
constexpr DDResult DDERR_PRIMARYSURFACEALREADYEXISTS = ddCode(564);
constexpr DDResult DDERR_NOHWND = ddCode(569);

// SetCooperativeLevel flags.
constexpr uint32_t DDSCL_FULLSCREEN = 0x1;
constexpr uint32_t DDSCL_ALLOWREBOOT = 0x2;
constexpr uint32_t DDSCL_NORMAL = 0x8;
constexpr uint32_t DDSCL_EXCLUSIVE = 0x10;
constexpr uint32_t DDSCL_ALLOWMODEX = 0x40;

// Surface description validity flags and capabilities.
constexpr uint32_t DDSD_CAPS = 0x1;
constexpr uint32_t DDSD_HEIGHT = 0x2;
constexpr uint32_t DDSD_WIDTH = 0x4;
constexpr uint32_t DDSD_PITCH = 0x8;
constexpr uint32_t DDSD_PIXELFORMAT = 0x1000;
constexpr uint32_t DDSD_LPSURFACE = 0x800;
constexpr uint32_t DDSCAPS_OFFSCREENPLAIN = 0x40;
constexpr uint32_t DDSCAPS_PRIMARYSURFACE = 0x200;
constexpr uint32_t DDSCAPS_SYSTEMMEMORY = 0x800;

// Pixel format flags.
constexpr uint32_t DDPF_PALETTEINDEXED4 = 0x8;
constexpr uint32_t DDPF_PALETTEINDEXED8 = 0x20;
constexpr uint32_t DDPF_RGB = 0x40;

// Palette capabilities and entry flags.
constexpr uint32_t DDPCAPS_8BIT = 0x4;
constexpr uint32_t DDPCAPS_INITIALIZE = 0x8;
constexpr uint32_t DDPCAPS_ALLOW256 = 0x40;
constexpr uint8_t PC_RESERVED = 0x1;
constexpr uint8_t PC_NOCOLLAPSE = 0x4;

// Lock, blit and colour key flags.
constexpr uint32_t DDLOCK_WAIT = 0x1;
constexpr uint32_t DDBLT_COLORFILL = 0x400;
constexpr uint32_t DDBLT_DDFX = 0x800;
constexpr uint32_t DDBLTFX_NOTEARING = 0x8;
constexpr uint32_t DDCKEY_SRCBLT = 0x8;

struct DDRect {
    int32_t left, top, right, bottom;
};

struct DDPaletteEntry {
    uint8_t red, green, blue, flags;
};

struct DDPixelFormat {
    uint32_t size;
    uint32_t flags;
    uint32_t fourCC;
    uint32_t rgbBitCount;
    uint32_t redMask, greenMask, blueMask, alphaMask;
};

struct DDSurfaceDesc {
    uint32_t size; // set to sizeof(DDSurfaceDesc) by the caller
    uint32_t flags;
    uint32_t height;
    uint32_t width;
    int32_t pitch;
    void* surface;
    DDPixelFormat pixelFormat;
    uint32_t caps;
};

struct DDColorKey {
    uint32_t low, high;
};

struct DDBltFx {
    uint32_t size; // 100, as the platform's record
    uint32_t fx;
    uint32_t fillColor;
};

class DDPalette;
class DDClipper;

class DDSurface {
  public:
    virtual void Release() = 0;
    virtual DDResult Lock(const DDRect* rect, DDSurfaceDesc* desc, uint32_t flags, void* event) = 0;
    virtual DDResult Unlock(void* address) = 0;
    virtual DDResult Blt(const DDRect* dst, DDSurface* src, const DDRect* srcRect, uint32_t flags,
                         const DDBltFx* fx) = 0;
    virtual DDResult BltFast(int32_t x, int32_t y, DDSurface* src, const DDRect* srcRect,
                             uint32_t flags) = 0;
    virtual DDResult Restore() = 0;
    virtual DDResult SetColorKey(uint32_t flags, const DDColorKey* key) = 0;
    virtual DDResult SetClipper(DDClipper* clipper) = 0;
    virtual DDResult SetPalette(DDPalette* palette) = 0;

  protected:
    ~DDSurface() = default;
};

class DDClipper {
  public:
    virtual void Release() = 0;
    virtual DDResult SetHWnd(uint32_t flags, void* window) = 0;

  protected:
    ~DDClipper() = default;
};

class DDPalette {
  public:
    virtual void Release() = 0;
    virtual DDResult SetEntries(uint32_t flags, uint32_t first, uint32_t count,
                                const DDPaletteEntry* entries) = 0;

  protected:
    ~DDPalette() = default;
};

class DDObject {
  public:
    virtual void Release() = 0;
    virtual DDResult SetCooperativeLevel(void* window, uint32_t flags) = 0;
    virtual DDResult SetDisplayMode(uint32_t width, uint32_t height, uint32_t bits) = 0;
    virtual DDResult RestoreDisplayMode() = 0;
    virtual DDResult CreateSurface(const DDSurfaceDesc* desc, DDSurface** out, void* outer) = 0;
    virtual DDResult CreateClipper(uint32_t flags, DDClipper** out, void* outer) = 0;
    virtual DDResult CreatePalette(uint32_t caps, const DDPaletteEntry* entries, DDPalette** out,
                                   void* outer) = 0;
    virtual DDResult GetDisplayMode(DDSurfaceDesc* desc) = 0;

  protected:
    ~DDObject() = default;
};

// The creation entry point of a driver: makes its display object for the
// display driver named by `guid` (null: the default display).
using DirectDrawCreateFunction = DDResult (*)(const void* guid, DDObject** out, void* outer);

// The name of a result code ("DDERR_SURFACELOST", "DD_OK"), or "Unknown
// error %d" with the code's low 16 bits in one static text that the next
// unknown code overwrites.
const char* DDErrorName(DDResult code);
// Number of named codes, and the i-th code of the table (tests).
int ddErrorTableSize();
DDResult ddErrorTableCode(int i);
