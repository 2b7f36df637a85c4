// The pixel types, one row each. Every question about a type is answered
// by its row: how many bytes a pixel takes, whether it indexes a colormap
// or a palette or holds its colour itself, whether value 0 is transparent,
// where its channels sit, and which screen table turns a palette index
// into one of its pixels. No other code compares pixel type numbers or
// relies on their order; a new type is one enum line in the public header,
// one row here, and the routines it gets.
#pragma once

#include <spanwright/spanwright.h>

#include <cstdint>

enum class PixelKind : uint8_t {
    Colormap4, // one 4-bit value per byte, an index into a 16-entry colormap
    Palette8,  // one byte, an index into a 256-entry palette
    Direct,    // red, green, blue (and alpha) packed into the pixel
    Coverage,  // one byte of coverage of the font colour
};

// One channel of a direct-colour pixel: its width in bits and its lowest
// bit. A type without the channel has 0 bits.
struct PixelChannel {
    uint8_t bits, shift;
    constexpr uint32_t mask() const { return ((1u << bits) - 1) << shift; }
    constexpr uint32_t get(uint32_t pixel) const { return (pixel >> shift) & ((1u << bits) - 1); }
};

// How the colour queries widen a direct-colour channel to 8 bits: exactly
// (round(f * 255 / (2^bits - 1)), so a full field is 255), or by position
// (the field in the top bits of the byte, zeros below, as the 5:6:5 screen
// pixel is read back).
enum class ChannelWidening : uint8_t { Exact, TopBits };

struct PixelTypeInfo {
    const char* name;
    uint8_t bytes;  // bytes per stored pixel
    PixelKind kind; // what the stored value means
    bool keyed;     // indexed types whose value 0 is transparent
    PixelChannel red, green, blue, alpha;
    // The 16-bit screen types: the table that turns palette index i into a
    // pixel of this type (it follows the current palette). Palette indexes
    // drawn on any other type are stored as one byte.
    const uint16_t* screenTable;
    ChannelWidening widening = ChannelWidening::Exact;
};

constexpr PixelChannel noChannel{0, 0};

// Indexed by pixel type.
inline constexpr PixelTypeInfo pixelTypes[] = {
    {"CMAP4", 1, PixelKind::Colormap4, false, noChannel, noChannel, noChannel, noChannel, nullptr},
    {"CMAP4_KEY", 1, PixelKind::Colormap4, true, noChannel, noChannel, noChannel, noChannel,
     nullptr},
    {"PAL8", 1, PixelKind::Palette8, false, noChannel, noChannel, noChannel, noChannel, nullptr},
    {"PAL8_KEY", 1, PixelKind::Palette8, true, noChannel, noChannel, noChannel, noChannel, nullptr},
    {"RGB565",
     2,
     PixelKind::Direct,
     false,
     {5, 11},
     {6, 5},
     {5, 0},
     noChannel,
     screenPalette565,
     ChannelWidening::TopBits},
    {"ARGB1555", 2, PixelKind::Direct, false, {5, 10}, {5, 5}, {5, 0}, {1, 15}, screenPalette555},
    {"RGB444", 2, PixelKind::Direct, false, {4, 8}, {4, 4}, {4, 0}, noChannel, nullptr},
    {"ARGB4444", 2, PixelKind::Direct, false, {4, 8}, {4, 4}, {4, 0}, {4, 12}, nullptr},
    {"RGB888", 4, PixelKind::Direct, false, {8, 16}, {8, 8}, {8, 0}, noChannel, nullptr},
    {"ARGB8888", 4, PixelKind::Direct, false, {8, 16}, {8, 8}, {8, 0}, {8, 24}, nullptr},
    {"ALPHA8", 1, PixelKind::Coverage, false, noChannel, noChannel, noChannel, noChannel, nullptr},
};

constexpr int pixelTypeCount = int(sizeof pixelTypes / sizeof pixelTypes[0]);
static_assert(pixelTypeCount == PIXEL_ALPHA8 + 1, "one row per pixel type");

// The row of a pixel type; null for a number that names no type. Only the
// low 8 bits count: callers pass the record's byte or an int that holds it.
inline constexpr const PixelTypeInfo* pixelTypeInfo(uint32_t type) {
    type &= 0xFF;
    return type < uint32_t(pixelTypeCount) ? &pixelTypes[type] : nullptr;
}

inline constexpr bool pixelTypeValid(uint32_t type) {
    return pixelTypeInfo(type) != nullptr;
}

// Bytes per pixel; 0 for an unknown type.
inline constexpr int bytesPerPixel(uint32_t type) {
    const PixelTypeInfo* info = pixelTypeInfo(type);
    return info ? info->bytes : 0;
}

inline constexpr bool isKind(uint32_t type, PixelKind kind) {
    const PixelTypeInfo* info = pixelTypeInfo(type);
    return info && info->kind == kind;
}

// Types whose colour comes from a 16-entry colormap (a bitmap's map is a
// colormap) or from a 256-entry palette (its map is a palette).
inline constexpr bool isIndexed4(uint32_t type) {
    return isKind(type, PixelKind::Colormap4);
}
inline constexpr bool isIndexed8(uint32_t type) {
    return isKind(type, PixelKind::Palette8);
}
// Types whose bitmaps may carry a map (a colormap or a palette).
inline constexpr bool hasMap(uint32_t type) {
    return isIndexed4(type) || isIndexed8(type);
}
inline constexpr bool isKeyed(uint32_t type) {
    const PixelTypeInfo* info = pixelTypeInfo(type);
    return info && info->keyed;
}

// The screen table of a 16-bit screen type, null for every other type.
inline constexpr const uint16_t* screenTableOf(uint32_t type) {
    const PixelTypeInfo* info = pixelTypeInfo(type);
    return info ? info->screenTable : nullptr;
}
// Types that palette-index drawing stores as 16-bit pixels through a
// screen table (the display's 16-bit types).
inline constexpr bool isScreen16(uint32_t type) {
    return screenTableOf(type) != nullptr;
}
