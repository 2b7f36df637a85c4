// PNG output of presented frames.
#pragma once

#include <spanwright/spanwright.h>

#include <cstdint>
#include <string>

namespace demo {

// Writes a frame of type PIXEL_PAL8 (through `palette`), PIXEL_RGB565 or
// PIXEL_ARGB1555 as an 8-bit RGB PNG. Returns false with a message on
// failure.
bool writeFramePng(const std::string& path, const bitmap_tag* frame, const uint32_t* palette);

} // namespace demo
