// The demo scene: a textured tunnel with a keyed grating, colormapped
// floor, flat polygons, scaled sprites, a run-length logo, alpha panels,
// antialiased glyphs, lines and text, animated by frame number only (so
// every run draws the same frames).
#pragma once

#include <spanwright/spanwright.h>

#include <string>

namespace demo {

struct Scene {
    uint32_t* palette = nullptr; // current palette, cycled
    uint8_t* floorColormap = nullptr;
    mip_tag* wall = nullptr;       // PIXEL_PAL8 bricks, via PCX and a mip file
    mip_tag* grating = nullptr;    // PIXEL_PAL8_KEY, via the native file
    mip_tag* floor = nullptr;      // PIXEL_CMAP4 tiles, via a 4-bit PCX
    bitmap_tag* ball = nullptr;    // PIXEL_PAL8_KEY sprite (cached load)
    bitmap_tag* badge = nullptr;   // PIXEL_ARGB1555 sprite from a TGA file
    bitmap_tag* logo = nullptr;    // PIXEL_PAL8_KEY source of the special bitmap
    bitmap_tag* panel = nullptr;   // PIXEL_ARGB4444
    bitmap_tag* glyph = nullptr;   // PIXEL_ALPHA8
    bitmap_tag* pattern = nullptr; // PIXEL_RGB565
    uint8_t* special = nullptr;    // logo compiled for the current back buffer
};

// Generates the art, writes it as PCX, native, TGA and mip files under
// `assetDir`, and loads everything back through the library's loaders.
bool sceneLoad(Scene& scene, const std::string& assetDir);
// Per display mode: compiles the logo for this back buffer layout.
bool sceneBeginMode(Scene& scene, bitmap_tag* backBuffer);
void sceneEndMode(Scene& scene);
void sceneDraw(Scene& scene, bitmap_tag* target, int frame);
void sceneFree(Scene& scene);

} // namespace demo
