// Blending onto 16-bit screen pixels, shared by the ARGB4444 and ALPHA8
// copies and the character copy: one struct per destination layout, and
// the two blending copy operations, one pixel at a time. The eight-pixel
// forms of the copies (copy_sse2.cpp) compute exactly the same values.
#pragma once

#include "bitmap/bitmap.h"
#include "blit/pixels.h"

#include <cstdint>

// The channels of a 16-bit screen pixel for blending: each field in the
// top bits of a byte with ones below it; and a blended colour packed back
// keeping the top bits of each channel.
struct Blend565 {
    static void widen(uint32_t d, uint32_t& r, uint32_t& g, uint32_t& b) {
        r = ((d >> 8) | 7) & 0xFF;
        g = ((d >> 3) | 3) & 0xFF;
        b = ((d << 3) | 7) & 0xFF;
    }
    static uint16_t pack(uint32_t r, uint32_t g, uint32_t b) {
        return uint16_t((r & 0xF8) << 8 | (g & 0xFC) << 3 | b >> 3);
    }
    // A 4444 colour of full alpha: 4-bit channels at the top of each field.
    static uint16_t solid4444(uint32_t v) {
        return uint16_t(((v >> 8) & 15) * 2 << 11 | ((v >> 4) & 15) * 4 << 5 | (v & 15) * 2);
    }
};
struct Blend555 {
    static void widen(uint32_t d, uint32_t& r, uint32_t& g, uint32_t& b) {
        r = ((d >> 7) | 7) & 0xFF;
        g = ((d >> 2) | 7) & 0xFF;
        b = ((d << 3) | 7) & 0xFF;
    }
    // Bit 15 is set: a blended pixel is opaque.
    static uint16_t pack(uint32_t r, uint32_t g, uint32_t b) {
        return uint16_t(0x8000 | (r & 0xF8) << 7 | (g & 0xF8) << 2 | b >> 3);
    }
    static uint16_t solid4444(uint32_t v) {
        return uint16_t(0x8000 | ((v >> 8) & 15) * 2 << 10 | ((v >> 4) & 15) * 2 << 5 |
                        (v & 15) * 2);
    }
};

// Colour (r, g, b) over destination pixel d with weight a (0..255).
template <class To>
uint16_t blendOver(uint32_t d, uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    uint32_t dr, dg, db;
    To::widen(d, dr, dg, db);
    uint32_t ia = 255 - a;
    return To::pack((r * a + dr * ia) >> 8, (g * a + dg * ia) >> 8, (b * a + db * ia) >> 8);
}

// ARGB4444 over a screen pixel: alpha 0 leaves it, 15 is solid, anything
// between blends with weight alpha x 17 and channels widened with ones.
template <class To>
struct BlendArgb4444 {
    static constexpr int srcBytes = 2, dstBytes = 2;
    void apply(uint8_t* d, const uint8_t* s) const {
        uint32_t v = load16(s);
        uint32_t alpha = v >> 12;
        if (alpha == 0) return;
        if (alpha == 15) {
            store16(d, To::solid4444(v));
            return;
        }
        uint32_t r = ((v >> 4) & 0xF0) | 0x0F, g = (v & 0xF0) | 0x0F, b = ((v << 4) & 0xF0) | 0x0F;
        store16(d, blendOver<To>(load16(d), alpha * 17, r, g, b));
    }
};

// ALPHA8 coverage in the font colour: 0 leaves the pixel, 240 is the solid
// font colour, every other value blends with that weight.
template <class To>
struct BlendAlpha8 {
    static constexpr int srcBytes = 1, dstBytes = 2;
    uint32_t r = (fontColor >> 16) & 0xFF, g = (fontColor >> 8) & 0xFF, b = fontColor & 0xFF;
    uint16_t solid = To::pack(r, g, b);
    void apply(uint8_t* d, const uint8_t* s) const {
        uint32_t a = *s;
        if (a == 0) return;
        store16(d, a == 240 ? solid : blendOver<To>(load16(d), a, r, g, b));
    }
};
