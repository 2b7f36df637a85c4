// PNG reading and writing for spanwright-asset, through libpng.
#pragma once

#include <spanwright/spanwright.h>

#include <string>

// How true-colour PNGs become bitmaps.
enum class TrueColor { argb1555, rgb565 };

// True when the file starts with the PNG signature.
bool isPng(const std::string& path);

// An 8-bit (or smaller) paletted PNG becomes PIXEL_PAL8 with its palette
// (entries beyond the PNG's are black, alpha from tRNS or 255); any other
// PNG becomes PIXEL_ARGB1555 (alpha >= 128 sets bit 15) or PIXEL_RGB565.
// On failure returns null and sets `error`.
bitmap_tag* pngRead(const std::string& path, TrueColor trueColor, std::string& error);

// Reads only the size and kind of a PNG for `info`.
bool pngDescribe(const std::string& path, std::string& description, std::string& error);

// PIXEL_PAL8 and PIXEL_PAL8_KEY with a palette are written paletted;
// 16- and 32-bit types as 8-bit RGBA through the colour queries.
bool pngWrite(const std::string& path, const bitmap_tag* bm, std::string& error);

// The palette of a paletted PNG (256 entries, missing ones black).
bool pngReadPalette(const std::string& path, uint32_t palette[256], std::string& error);
