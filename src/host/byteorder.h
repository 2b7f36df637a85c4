// Byte order of the files: integers little-endian, chunk ids with their
// first character in the most significant byte.
//
// Header-only on purpose: the host services library and the rasterizer are
// two shared libraries, and both read and write these files. Sharing the
// source keeps one definition without adding an exported symbol to either
// interface.
#pragma once

#include <cstdint>

inline constexpr uint32_t loadLe16(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}
inline constexpr uint32_t loadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline constexpr uint32_t loadBe32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
inline constexpr void storeLe16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline constexpr void storeLe32(uint8_t* p, uint32_t v) {
    storeLe16(p, v);
    storeLe16(p + 2, v >> 16);
}
inline constexpr void storeBe32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
