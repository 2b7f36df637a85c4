// Procedural art of the demo: the palette and every texture and sprite,
// generated from code so the demo ships no assets.
#pragma once

#include <spanwright/spanwright.h>

#include <cstdint>

namespace demo {

// Palette layout: 0 black (the key colour), 1..63 grey ramp, 64..127
// brick and earth, 128..191 water (cycled), 192..255 fire and sky.
constexpr int waterFirst = 128;
constexpr int waterEnd = 192;
void makePalette(uint32_t palette[256]);

// Each returns a new bitmap from bitmapAlloc (caller frees), or null.
bitmap_tag* makeBrickTexture(int size);           // PIXEL_PAL8, with palette
bitmap_tag* makeGratingTexture(int size);         // PIXEL_PAL8, 0 where see-through
bitmap_tag* makeFloorTiles4(int size);            // PIXEL_CMAP4 values 0..15
bitmap_tag* makeBallSprite(int size);             // PIXEL_PAL8, 0 outside the ball
bitmap_tag* makeLogo(int width, int height);      // PIXEL_PAL8_KEY, debug-font text
bitmap_tag* makePanel4444(int width, int height); // PIXEL_ARGB4444
bitmap_tag* makeCoverageGlyph(int size);          // PIXEL_ALPHA8, antialiased ring
bitmap_tag* makePattern565(int size);             // PIXEL_RGB565 gradient
bitmap_tag* makeBadge1555(int size);              // PIXEL_ARGB1555 sprite

} // namespace demo
