// Internal interface of the drawing primitives and the debug font.
#pragma once

#include <spanwright/spanwright.h>

#include <cstdint>

// The debug font: glyph c is 8 bytes, byte r is row r from the top, bit 0
// the leftmost pixel. The text advance is debugGlyphWidth.
constexpr int32_t debugGlyphWidth = 8;
constexpr int32_t debugGlyphHeight = 8;
extern const uint8_t debugFont[256][8];

// One glyph (the low 8 bits of `character`) with its top left at (x, y),
// clipped to the bitmap. Set bits take the colour's pixel; clear bits
// become a zero pixel unless `transparent` is non-zero.
void drawDebugChar(bitmap_tag* bm, int32_t color, int32_t x, int32_t y, int32_t character,
                   uint8_t transparent);

// The Bresenham walk of drawLine without clipping: every pixel of the line
// must lie inside the bitmap. Benchmarks compare it with drawLine to show
// what clipping costs.
void drawLineUnclipped(bitmap_tag* bm, int32_t color, int32_t x0, int32_t y0, int32_t x1,
                       int32_t y1);
