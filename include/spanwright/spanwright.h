/*
 * spanwright — a software rasterizer library.
 *
 * Every export is a plain C function over packed records. Conventions:
 *  - Results named "flag" are bytes: 1 success, 0 failure.
 *  - Creation calls take the out-pointer first and set it to null on
 *    failure; every failure prints one line through DebugPrintf (vesk.h)
 *    naming the failed call and the function it failed in.
 *  - Colours are palette indexes; on 16-bit bitmaps (PIXEL_RGB565,
 *    PIXEL_ARGB1555) an index becomes a pixel through screenPalette565 or
 *    screenPalette555, which follow the current palette.
 *  - All calls come from one thread; the library starts none.
 *  - Safety beyond the classic interface: drawing calls clip to their
 *    target bitmap (no write outside it, and pixels inside are exactly what
 *    the unclipped algorithm draws); file readers are safe on arbitrary
 *    bytes. Each function's comment says what it refuses.
 */
#ifndef SPANWRIGHT_SPANWRIGHT_H
#define SPANWRIGHT_SPANWRIGHT_H

#include <stddef.h>
#include <stdint.h>

#include "vesk.h"

/* SW_API marks the exports: a DLL's exports (imports for its users, except
 * programs linked with the static archive) on Windows, names of default
 * visibility in a library built with hidden ones elsewhere. */
#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(SPANWRIGHT_BUILD)
#define SW_API __declspec(dllexport)
#elif defined(SPANWRIGHT_STATIC)
#define SW_API
#else
#define SW_API __declspec(dllimport)
#endif
#elif defined(SPANWRIGHT_BUILD)
#define SW_API __attribute__((visibility("default")))
#else
#define SW_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------- types */

/* Pixel types. Odd numbers below 10 add transparency (value 0) or alpha to
 * the layout below them. Types 0 and 1 hold one 4-bit value per byte. */
enum {
    PIXEL_CMAP4 = 0,     /* byte 0..15, index into a 16-entry colormap */
    PIXEL_CMAP4_KEY = 1, /* as 0, value 0 transparent */
    PIXEL_PAL8 = 2,      /* byte, index into a 256-entry palette */
    PIXEL_PAL8_KEY = 3,  /* as 2, index 0 transparent */
    PIXEL_RGB565 = 4,    /* 16-bit r5 g6 b5 */
    PIXEL_ARGB1555 = 5,  /* 16-bit a1 r5 g5 b5, bit 15 set = opaque */
    PIXEL_RGB444 = 6,    /* 16-bit, bits 15..12 zero, r4 g4 b4 */
    PIXEL_ARGB4444 = 7,  /* 16-bit a4 r4 g4 b4 */
    PIXEL_RGB888 = 8,    /* 32-bit 0x00RRGGBB */
    PIXEL_ARGB8888 = 9,  /* 32-bit 0xAARRGGBB */
    PIXEL_ALPHA8 = 10    /* byte, coverage of the font colour */
};

#pragma pack(push, 1)

/* A bitmap: row y starts at pixels + y * rowBytes. `map` is the colormap
 * (uint8_t[16], types 0 and 1) or the palette (uint32_t[256], types 2 and
 * 3), or null. bitmapAlloc's buffers hold one spare row and one spare byte
 * past the image. rowBytes may be negative: a bottom-up record, pixels
 * pointing at the top row, which lies highest in memory. Every call that
 * reads or writes pixels accepts such records; a record whose |rowBytes| is
 * less than width * bytes per pixel, or that has no pixels, is not drawn
 * into or read from. */
typedef struct bitmap_tag {
    uint8_t pixelType;
    int32_t width;
    int32_t height;
    int32_t rowBytes;
    void* map;
    uint8_t* pixels;
} bitmap_tag;

/* A polygon vertex. x and y are 16.16 fixed-point pixels (pixel c spans c
 * to c + 1, its centre at c + 0.5); z > 0; u and v are 16.16 with 0x10000
 * one full texture width or height (outside values wrap); color is a
 * palette index, read from the first vertex of a flat polygon. */
typedef struct vertex_tag {
    int32_t x;
    int32_t y;
    int32_t z;
    int32_t u;
    int32_t v;
    int32_t color;
} vertex_tag;

/* A mip chain: `levels` bitmap records inline after the fixed fields.
 * Level i is 2^(logWidth - i) by 2^(logHeight - i) pixels of the chain's
 * type, rowBytes = (bytes per pixel * width + 3) & ~3, map null, with its
 * own pixel block owned by the chain. */
typedef struct mip_tag {
    uint32_t logWidth;
    uint32_t logHeight;
    uint32_t color; /* average colour, a palette index */
    uint8_t flag;   /* 0 created, 1 converted from an old-style mip */
    uint8_t* colormap;
    uint32_t levels;
    bitmap_tag level[];
} mip_tag;

/* A screen mode, 249 bytes. The library reads width, height and
 * bitsPerPixel and copies the rest through untouched. */
typedef struct screenmode_tag {
    int32_t hostValue0; /* 0 in the table */
    int32_t width;
    int32_t height;
    int32_t hostValue12; /* 100 in the table */
    int32_t bitsPerPixel;
    char name[137];      /* "DirectX SVGA", zero-filled */
    uint8_t hostByte157; /* 2 in the table */
    uint8_t reserved[91];
} screenmode_tag;

/* Parameters of rasterBegin. On 64-bit builds the window, instance, class
 * name and window procedure fields are pointer-sized (the record is 40
 * bytes); a 32-bit build has six 32-bit words (24 bytes). */
typedef struct RasterBeginParams {
    void* window;            /* host window, or null to let the library make one */
    void* instance;          /* module instance for the window class */
    int32_t classRegistered; /* non-zero: the window class exists already */
    int32_t reserved;        /* not read */
    const char* className;   /* class name, also the created window's title */
    void* windowProc;        /* procedure of the class the library registers */
} RasterBeginParams;

#pragma pack(pop)

/* The record layouts are part of the interface. */
#if defined(__cplusplus)
#define SW_LAYOUT_ASSERT(cond, what) static_assert(cond, what)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define SW_LAYOUT_ASSERT(cond, what) _Static_assert(cond, what)
#else
#define SW_LAYOUT_ASSERT(cond, what) extern int sw_layout_assert[(cond) ? 1 : -1]
#endif
SW_LAYOUT_ASSERT(sizeof(bitmap_tag) == 13 + 2 * sizeof(void*), "bitmap_tag is packed");
SW_LAYOUT_ASSERT(offsetof(bitmap_tag, rowBytes) == 9, "bitmap_tag.rowBytes");
SW_LAYOUT_ASSERT(offsetof(bitmap_tag, map) == 13, "bitmap_tag.map");
SW_LAYOUT_ASSERT(offsetof(bitmap_tag, pixels) == 13 + sizeof(void*), "bitmap_tag.pixels");
SW_LAYOUT_ASSERT(sizeof(vertex_tag) == 24, "vertex_tag is six 32-bit fields");
SW_LAYOUT_ASSERT(offsetof(mip_tag, flag) == 12, "mip_tag.flag");
SW_LAYOUT_ASSERT(offsetof(mip_tag, colormap) == 13, "mip_tag.colormap");
SW_LAYOUT_ASSERT(offsetof(mip_tag, levels) == 13 + sizeof(void*), "mip_tag.levels");
SW_LAYOUT_ASSERT(offsetof(mip_tag, level) == 17 + sizeof(void*), "mip_tag.level");
SW_LAYOUT_ASSERT(sizeof(screenmode_tag) == 249, "screenmode_tag is 249 bytes");
SW_LAYOUT_ASSERT(offsetof(screenmode_tag, bitsPerPixel) == 16, "screenmode_tag.bitsPerPixel");
SW_LAYOUT_ASSERT(offsetof(screenmode_tag, name) == 20, "screenmode_tag.name");
SW_LAYOUT_ASSERT(offsetof(screenmode_tag, hostByte157) == 157, "screenmode_tag byte 157");
SW_LAYOUT_ASSERT(sizeof(mip_tag) == 17 + sizeof(void*), "mip_tag is packed");
SW_LAYOUT_ASSERT(sizeof(RasterBeginParams) == 8 + 4 * sizeof(void*), "RasterBeginParams");
SW_LAYOUT_ASSERT(offsetof(RasterBeginParams, className) == 8 + 2 * sizeof(void*),
                 "RasterBeginParams.className");

/* The callback of mipWrite: adds the caller's chunks inside the open "MIP "
 * container; returns 1 on success. */
typedef uint8_t (*mipExtraFunction)(file_tag* file, uint32_t user);

/* ------------------------------------------------- bitmaps and instances */

SW_API int32_t bitmapWidth(const bitmap_tag* bm);
SW_API int32_t bitmapHeight(const bitmap_tag* bm);
SW_API uint8_t bitmapPixelType(const bitmap_tag* bm);
/* 8, 16 or 32 bits per pixel; 0 for an unknown type (low 8 bits count). */
SW_API int32_t pixelBitDepth(int32_t type);
/* Bytes per pixel (1, 2, 4), 0 for an unknown type. */
SW_API int32_t pixelBitDepthLog2(int32_t type);

/* rowBytes = width * bytes per pixel rounded up to 4; the pixel buffer is
 * (height + 1) * rowBytes + 1 bytes, not cleared. withMap allocates an
 * uninitialised colormap (types 0, 1) or palette (2, 3); any other type
 * with withMap fails. Negative sizes, and buffers too large to address,
 * fail with "memAlloc() failed in bitmapAlloc()\n". */
SW_API uint8_t bitmapAlloc(bitmap_tag** out, uint8_t type, int32_t width, int32_t height,
                           uint8_t withMap);
SW_API void bitmapFree(bitmap_tag* bm);
SW_API uint8_t bitmapGetColormap(uint8_t* out, const bitmap_tag* bm);
SW_API uint8_t bitmapSetColormap(bitmap_tag* bm, const uint8_t* in);
/* Copies entries first .. first + count - 1 to the same indexes. */
SW_API uint8_t bitmapGetPalette(uint32_t* out, const bitmap_tag* bm, int32_t first, int32_t count);
SW_API uint8_t bitmapSetPalette(bitmap_tag* bm, const uint32_t* in, int32_t first, int32_t count);

/* Fills `inst` as a window onto (x, y, w, h) of the parent: the parent's
 * type, map and rowBytes (an instance of a bottom-up parent is bottom-up
 * too), pixels at (x, y) of the parent's rows. Deliberately safer than the
 * classic interface: a rectangle that does not lie inside the parent (a
 * negative x, y, w or h included) never points into it. Such an instance
 * gets null pixels, so no call draws into it, and rowBytes equal to the
 * widest screen mode's width (1024) when x + w and y + h fit that mode,
 * else 0. */
SW_API void bitmapInstance(bitmap_tag* inst, bitmap_tag* parent, int32_t x, int32_t y, int32_t w,
                           int32_t h);
SW_API uint8_t bitmapInstanceAlloc(bitmap_tag** out, bitmap_tag* parent, int32_t x, int32_t y,
                                   int32_t w, int32_t h);
SW_API void bitmapInstanceFree(bitmap_tag* inst);

/* ------------------------------------------------ palettes and colormaps */

/* Palette entries are 0xAARRGGBB; alpha takes no part in searches. */
SW_API uint8_t paletteAlloc(uint32_t** out);
SW_API void paletteFree(uint32_t* palette);
SW_API void paletteUnload(uint32_t* palette);
SW_API void paletteSetEntry(uint32_t* palette, int32_t index, uint32_t entry);
SW_API uint32_t paletteGetEntry(const uint32_t* palette, int32_t index);
SW_API uint8_t paletteR(const uint32_t* palette, int32_t index);
SW_API uint8_t paletteG(const uint32_t* palette, int32_t index);
SW_API uint8_t paletteB(const uint32_t* palette, int32_t index);
SW_API uint8_t paletteA(const uint32_t* palette, int32_t index);
/* Nearest entry by squared RGB distance; ties go to the lowest index. */
SW_API uint8_t paletteRGB(const uint32_t* palette, uint8_t r, uint8_t g, uint8_t b);
/* As paletteRGB among the indexes whose bit is set in the 8-word mask;
 * 0 when the mask allows none. */
SW_API uint8_t paletteSubsetRGB(const uint32_t* palette, uint8_t r, uint8_t g, uint8_t b,
                                const uint32_t* mask);
SW_API uint8_t paletteRGBA(const uint32_t* palette, uint8_t r, uint8_t g, uint8_t b, uint8_t a);
/* Makes the palette current (the library keeps the pointer, not a copy)
 * and rebuilds entries first .. end - 1 of the screen tables. */
SW_API void paletteSetCurrent(uint32_t* palette, int32_t first, int32_t end);
SW_API void paletteGetCurrent(uint32_t* out, int32_t first, int32_t end);
SW_API void paletteSetCurrentFromBitmap(bitmap_tag* bm, int32_t first, int32_t end);

SW_API uint8_t colormapAlloc(uint8_t** out);
SW_API void colormapFree(uint8_t* colormap);
SW_API void colormapUnload(uint8_t* colormap);
SW_API void colormapSetEntry(uint8_t* colormap, int32_t value, uint8_t index);
SW_API uint8_t colormapGetEntry(const uint8_t* colormap, int32_t value);
/* Channels of current palette entry colormap[value]; 0 with no current
 * palette. */
SW_API uint8_t colormapR(const uint8_t* colormap, int32_t value);
SW_API uint8_t colormapG(const uint8_t* colormap, int32_t value);
SW_API uint8_t colormapB(const uint8_t* colormap, int32_t value);
SW_API uint8_t colormapA(const uint8_t* colormap, int32_t value);
/* Nearest value 0..15 through the current palette; 0 with no current
 * palette. */
SW_API uint8_t colormapRGB(const uint8_t* colormap, uint8_t r, uint8_t g, uint8_t b);
SW_API uint8_t colormapSubsetRGB(const uint8_t* colormap, uint8_t r, uint8_t g, uint8_t b,
                                 const uint32_t* mask);
SW_API uint8_t colormapRGBA(const uint8_t* colormap, uint8_t r, uint8_t g, uint8_t b, uint8_t a);
SW_API uint8_t* colormapGetCurrent(void);
SW_API void colormapSetCurrent(uint8_t* colormap);
SW_API void colormapSetCurrentFromBitmap(bitmap_tag* bm);

/* The 16-bit pixel of each palette index of the current palette. */
SW_API extern uint16_t screenPalette565[256];
SW_API extern uint16_t screenPalette555[256];

/* ---------------------------------------------------------------- colour */

/* Pixel value <-> 8-bit channels for types 0..9 (type 10 and unknown
 * types print the function's name and give 0). */
SW_API uint8_t colorA(const bitmap_tag* bm, uint32_t value);
SW_API uint8_t colorR(const bitmap_tag* bm, uint32_t value);
SW_API uint8_t colorG(const bitmap_tag* bm, uint32_t value);
SW_API uint8_t colorB(const bitmap_tag* bm, uint32_t value);
SW_API uint32_t colorRGB(const bitmap_tag* bm, uint8_t r, uint8_t g, uint8_t b);
SW_API uint32_t colorSubsetRGB(const bitmap_tag* bm, uint8_t r, uint8_t g, uint8_t b,
                               const uint32_t* mask);
SW_API uint32_t colorRGBA(const bitmap_tag* bm, uint8_t r, uint8_t g, uint8_t b, uint8_t a);
/* 0xWWRRGGBB: the colour of PIXEL_ALPHA8 drawing; WW weights it against
 * the pattern in bitmapCopyCharacter. */
SW_API void bitmapSetFontColor(uint32_t color);

/* -------------------------------------------------------------- polygons */

/* Modes (low 8 bits): 0 flat; 1..3 accepted, draw nothing; 4 textured from
 * level 0 of the current mip (colormapped when that level is PIXEL_CMAP4
 * or PIXEL_CMAP4_KEY); 5..7 textured, texels taken as palette indexes.
 * The texture/target pairs served are a fixed list: textures of types 0..3
 * onto every one-byte target type (0..3 and 10, written as palette
 * indexes) and onto PIXEL_RGB565 and PIXEL_ARGB1555 (through the screen
 * tables); PIXEL_RGB565 textures onto PIXEL_RGB565; PIXEL_ARGB1555 textures
 * onto PIXEL_ARGB1555, texel 0 transparent. Keyed indexed textures skip
 * texel 0. Other pairs draw nothing. At most 20 vertices count;
 * null vertices are ignored. Every polygon is clipped to the target. Drawn
 * as nothing: a null target, one without pixels or of no size; modes above
 * 7; textured modes with no current mip (or one without levels), or a
 * texture whose width, height or row length in texels is not a power of
 * two or exceeds 2048, or whose rows are shorter than its width, or a
 * texture/target type pair no span routine serves; colormapped mode 4
 * without a current colormap; triangles of zero area. */
SW_API void polyBegin(bitmap_tag* target, int32_t mode);
SW_API void polyVertex(vertex_tag* vertex);
SW_API void polySetColor(uint32_t color);
SW_API void polyEnd(void);
/* A flat triangle in colour `color` (above 255: nothing); 16.16 corners. */
SW_API void aaTriangle(bitmap_tag* target, uint32_t color, int32_t x0, int32_t y0, int32_t x1,
                       int32_t y1, int32_t x2, int32_t y2);

/* ------------------------------------------------------------ primitives */

/* Clipped to the bitmap; readPixel outside it gives 0. */
SW_API int32_t readPixel(const bitmap_tag* bm, int32_t x, int32_t y);
SW_API void readPixelRGB(const bitmap_tag* bm, int32_t x, int32_t y, int32_t* r, int32_t* g,
                         int32_t* b);
SW_API void drawPixel(bitmap_tag* bm, int32_t color, int32_t x, int32_t y);
SW_API void fillRect(bitmap_tag* bm, int32_t color, int32_t x, int32_t y, uint32_t width,
                     uint32_t height);
SW_API void drawLine(bitmap_tag* bm, int32_t color, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
/* drawLine of the integer parts of 16.16 coordinates (no antialiasing). */
SW_API void aaLine(bitmap_tag* bm, int32_t color, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
/* 8x8 code page 437 font; transparent != 0 leaves background pixels. */
SW_API void drawDebugText(bitmap_tag* bm, int32_t color, int32_t x, int32_t y, const char* text,
                          uint8_t transparent);

/* -------------------------------------------------------------- blitting */

/* Whole source at (x, y), clipped to the destination, converted between
 * types; pairs without a routine copy nothing. Blended pixels written to
 * PIXEL_ARGB1555 have bit 15 set (opaque). */
SW_API void bitmapCopy(bitmap_tag* dst, int32_t x, int32_t y, bitmap_tag* src);
/* fx, fy: 16.16 factors; negative mirrors (general path). The general
 * path stores the palette index through the screen table on PIXEL_RGB565
 * and PIXEL_ARGB1555 destinations and as one byte at byte x of the row on
 * every other destination type (PIXEL_ALPHA8 included). */
SW_API void bitmapScale(bitmap_tag* dst, int32_t x, int32_t y, bitmap_tag* src, int32_t fx,
                        int32_t fy);
SW_API void bitmapFill(bitmap_tag* bm, int32_t color);
/* Antialiased glyph (coverage bitmap) onto a 5:6:5 destination in the font
 * colour mixed with the pattern. */
SW_API void bitmapCopyCharacter(bitmap_tag* dst, int32_t x, int32_t y, bitmap_tag* pattern,
                                bitmap_tag* glyph);
/* Compiles a keyed 8-bit source into a run-length record for one
 * destination layout (type 2, 4 or 5, its size and rowBytes) and
 * position. The record starts with a 22-byte header (stream offset from
 * the destination's pixels, type, header format 1, the destination's
 * width, height and rowBytes, the stream's length) rather than the classic
 * 6 bytes, so that bitmapDrawSpecial can refuse a destination of another
 * type, size or rowBytes instead of writing outside it. Source pixels that
 * fall outside the template destination are dropped when the record is
 * built. Free with bitmapFreeSpecial. */
SW_API uint8_t* bitmapCreateSpecial(bitmap_tag* src, bitmap_tag* dst, int32_t x, int32_t y);
SW_API void bitmapDrawSpecial(bitmap_tag* dst, uint8_t* special);
SW_API void bitmapFreeSpecial(uint8_t* special);

/* ----------------------------------------------------------- image files */

/* Native "BMAP" file (or PCX) into an existing bitmap; refuses data that
 * does not fit the bitmap's pixel memory. PCX scanlines are taken to be
 * as long as the header's bytes-per-line field says whenever that field
 * holds the row's pixels (some writers store odd lengths); otherwise the
 * row's length rounded up to an even count. */
SW_API uint8_t bitmapRead(bitmap_tag* bm, file_tag* file);
SW_API uint8_t bitmapWrite(file_tag* file, bitmap_tag* bm);
SW_API uint8_t bitmapWritePcx(file_tag* file, bitmap_tag* bm, const uint32_t* palette);
SW_API uint8_t paletteLoad(uint32_t** out, file_tag* file);
SW_API uint8_t paletteRead(uint32_t* palette, file_tag* file);
SW_API uint8_t paletteWrite(file_tag* file, const uint32_t* palette);
SW_API uint8_t colormapLoad(uint8_t** out, file_tag* file);
SW_API uint8_t colormapRead(uint8_t* colormap, file_tag* file);
SW_API uint8_t colormapWrite(file_tag* file, const uint8_t* colormap);
/* Writes "zvss%02d.tga" (counter 1..99, then 00) of the back buffer into
 * homedir. */
SW_API void saveScreenshot(void);
/* PCX, TGA (by name) or native file, cached by directory and name;
 * release with bitmapUnload. */
SW_API uint8_t bitmapLoad(bitmap_tag** out, file_tag* file, uint8_t key);
SW_API uint8_t bitmapLoad4(bitmap_tag** out, file_tag* file, uint8_t key);
SW_API uint8_t bitmapLoad8a(bitmap_tag** out, file_tag* file);
SW_API void bitmapUnload(bitmap_tag* bm);

/* ------------------------------------------------------------ mip chains */

SW_API uint8_t mipCreate(mip_tag** out, bitmap_tag* src, uint32_t levels, uint32_t extra);
SW_API uint8_t mipCreateFromSubset(mip_tag** out, bitmap_tag* src, uint32_t levels, uint32_t extra,
                                   const uint32_t* subset);
SW_API void mipCopyBitmap(bitmap_tag* dst, int32_t x, int32_t y, mip_tag* mip, uint32_t level);
SW_API uint8_t mipLoad(mip_tag** out, file_tag* file);
SW_API void mipUnload(mip_tag* mip);
SW_API uint8_t mipWrite(file_tag* file, mip_tag* mip, mipExtraFunction extra, uint32_t user);
SW_API void mipFree(mip_tag* mip);
SW_API uint32_t mipWidth(const mip_tag* mip);
SW_API uint32_t mipHeight(const mip_tag* mip);
SW_API uint32_t mipLogWidth(const mip_tag* mip);
SW_API uint32_t mipLogHeight(const mip_tag* mip);
SW_API uint32_t mipLevels(const mip_tag* mip);
SW_API void mipSetColor(mip_tag* mip, uint32_t color);
SW_API mip_tag* mipGetCurrent(void);
SW_API void mipSetCurrent(mip_tag* mip);

/* --------------------------------------------------------------- display */

SW_API int32_t rasterVersion(void);
SW_API uint8_t rasterBegin(int32_t version, uint8_t createDisplay, RasterBeginParams* params);
SW_API void rasterEnd(void);
SW_API uint8_t ScreenBegin(void* window);
SW_API uint8_t ScreenSetMode(int32_t width, int32_t height, int32_t bitsPerPixel);
SW_API uint8_t ScreenRestoreMode(int32_t width, int32_t height, int32_t bitsPerPixel);
SW_API void ScreenEnd(void);
/* 2, 4 or 5; 255 for an unknown display format or no display. */
SW_API uint8_t ScreenGetPixelType(void);
/* Returns the previous value. */
SW_API uint8_t SetDedicatedMode(uint8_t dedicated);
/* Returns the value given. */
SW_API uint8_t ShowFrameRate(uint8_t show);
SW_API uint8_t screenBegin(screenmode_tag* mode);
SW_API uint8_t screenEnd(void);
SW_API screenmode_tag* screenCurrentMode(void);
SW_API bitmap_tag* screenGetBackBuffer(void);
SW_API uint8_t lockBitmap(void);
SW_API void unlockBitmap(void);
/* Writes the back buffer's pixels, rowBytes and pixel type as three
 * pointer-sized words (three 32-bit words on a 32-bit build); locks
 * nothing. Returns 0 and writes nothing when `out` is null. */
SW_API uint8_t getScreenInternalLock(uintptr_t out[3]);
SW_API uint8_t screenDisplay(bitmap_tag* readoutTarget);
SW_API uint8_t screenDisplayed(bitmap_tag* bm);
SW_API void screenGotFocus(void);
SW_API void screenLostFocus(void);
SW_API void screenPalChanged(void);
SW_API uint8_t screenSupportsTGA(void);
/* Renderer-interface entry points with nothing to do here. */
SW_API uint8_t screenIs3dfx(void);
SW_API uint8_t screenIsAccelerated(void);
SW_API uint8_t getFxAAEnabled(void);
SW_API void setFxAA(int32_t value);
SW_API void setFxAAEnabled(int32_t value);
SW_API void screenReset(void);
SW_API void screenSetupLargestBitmap(void);
SW_API void freeScreenInternalLock(void);

/* Mode table: six modes, 640x480 to 1024x768, 8 and 16 bits. */
SW_API uint8_t screenGetFirstMode(screenmode_tag* out);
SW_API uint8_t screenGetNextMode(screenmode_tag* out);
/* Leaves the widest mode in `out`; always returns 0. */
SW_API uint8_t screenGetLargestRes(screenmode_tag* out);

/* Extension: chooses the display driver for the next rasterBegin that
 * opens a display. Names (any case):
 *  - "auto", the default: "ddraw" in a Windows build; else "sdl" when the
 *    library was built with SDL2, a window system is named in the
 *    environment (SDL_VIDEODRIVER, DISPLAY or WAYLAND_DISPLAY) and SDL2
 *    video starts there; else "headless".
 *  - "headless": no window system. The display is simulated in memory (a
 *    1024 x 768 16-bit 565 desktop; full-screen modes of 8 or 16 bits);
 *    windows, cursor confinement, message boxes and the system palette are
 *    recorded, not shown. Frames are read back with screenReadFrame.
 *  - "sdl": a real SDL2 window. A window handle (ScreenBegin, the window
 *    field of RasterBeginParams) is then an SDL_Window*, or null to let the
 *    library make the window. Full-screen modes become SDL full-screen
 *    windows; dedicated mode presents into the window as it is.
 *  - "ddraw": the platform's DirectDraw and a real window (Windows builds
 *    only); a window handle is an HWND.
 * Returns 1 when the name is taken; 0 for a null or unknown name, for
 * "sdl" in a build without SDL2, "ddraw" outside Windows, and while a
 * display is open. When "sdl" cannot start its video, or SDL2 finds no
 * display and falls back to a video driver that shows nothing
 * ("offscreen", "dummy") without SDL_VIDEODRIVER naming it, rasterBegin
 * fails with a DebugPrintf line. */
SW_API uint8_t rasterSetDisplayDriver(const char* name);
/* Extension: copies the last presented frame, read back from the primary
 * surface where it was shown, into `dst`, which must have pixels, the
 * screen's pixel type (ScreenGetPixelType), the current mode's width and
 * height, and rowBytes of at least a row. Returns 1 when copied; 0 (and
 * `dst` untouched) without a display or for any other shape. */
SW_API uint8_t screenReadFrame(bitmap_tag* dst);

#ifdef __cplusplus
}
#endif

#endif
