// Filling a row with one 8- or 16-bit pixel: the fast fill shared by the
// flat polygon spans, the primitives and bitmapFill. Short rows are filled
// inline (a call to the C library costs more than the stores); long ones
// go to the C library's fill, tuned for the machine it runs on. Portable
// code: fixed-size block moves, which the compiler turns into the widest
// stores the target has. Callers keep a plain per-pixel loop beside it as
// the other column of their routine table; both write exactly the same
// bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>

namespace rowfill {

// Rows of this many bytes and more go to memset; 16-bit rows whose two
// bytes differ go to wmemset from wideFillBytes on.
constexpr size_t libraryFillBytes = 128;
constexpr size_t wideFillBytes = 512;

template <typename T>
inline void storeAt(uint8_t* p, T value) {
    std::memcpy(p, &value, sizeof value);
}

// Fills `bytes` bytes at p with `pattern`, a 64-bit word whose bytes repeat
// with a period of 1 or 2 starting at p, so that stores at any even
// distance from p agree. Short fills use two overlapping stores of the
// largest size that fits; longer ones 16-byte stores between two unaligned
// ends.
inline void fillPattern(uint8_t* p, size_t bytes, uint64_t pattern) {
    if (bytes < 8) {
        if (bytes >= 4) {
            storeAt(p, uint32_t(pattern));
            storeAt(p + bytes - 4, uint32_t(pattern));
        } else if (bytes >= 2) {
            storeAt(p, uint16_t(pattern));
            storeAt(p + bytes - 2, uint16_t(pattern));
        } else if (bytes == 1) {
            *p = uint8_t(pattern);
        }
        return;
    }
    if (bytes <= 16) {
        storeAt(p, pattern);
        storeAt(p + bytes - 8, pattern);
        return;
    }
    // 16-byte blocks: one vector store each where the target has them.
    uint8_t block[16];
    std::memcpy(block, &pattern, 8);
    std::memcpy(block + 8, &pattern, 8);
    uint8_t* end = p + bytes;
    std::memcpy(p, block, 16);
    if (bytes <= 32) {
        std::memcpy(end - 16, block, 16);
        return;
    }
    // Aligning to 16 moves by an even distance only when p is even: the
    // 16-bit fills pass even addresses, the byte pattern has period 1.
    uint8_t* q = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(p) + 16) & ~uintptr_t(15));
    if ((q - p) & 1) q -= 1;
    for (; q + 32 <= end; q += 32) {
        std::memcpy(q, block, 16);
        std::memcpy(q + 16, block, 16);
    }
    if (q + 16 <= end) std::memcpy(q, block, 16);
    std::memcpy(end - 16, block, 16);
}

// n bytes of `value` from p.
inline void fill8(uint8_t* p, size_t n, uint8_t value) {
    if (n >= libraryFillBytes) {
        std::memset(p, value, n);
        return;
    }
    fillPattern(p, n, uint64_t(value) * 0x0101010101010101ull);
}

// n 16-bit pixels from p (any alignment).
inline void fill16(uint8_t* p, size_t n, uint16_t pixel) {
    size_t bytes = 2 * n;
    if (bytes >= libraryFillBytes && (pixel >> 8) == (pixel & 0xFF)) {
        std::memset(p, pixel & 0xFF, bytes);
        return;
    }
    if (bytes >= wideFillBytes) {
        // wchar_t is a 32-bit unit here: two pixels per unit once the
        // address is a multiple of 4.
        if (sizeof(wchar_t) == 4 && (reinterpret_cast<uintptr_t>(p) & 1) == 0) {
            if (reinterpret_cast<uintptr_t>(p) & 2) {
                storeAt(p, pixel);
                p += 2;
                bytes -= 2;
            }
            std::wmemset(reinterpret_cast<wchar_t*>(p), wchar_t(pixel * 0x10001u), bytes / 4);
            if (bytes & 2) storeAt(p + bytes - 2, pixel);
            return;
        }
    }
    fillPattern(p, bytes, uint64_t(pixel) * 0x0001000100010001ull);
}

} // namespace rowfill
