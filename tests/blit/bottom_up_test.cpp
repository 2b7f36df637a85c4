// Bottom-up bitmaps (negative rowBytes: row y at pixels + y * rowBytes,
// each row below the previous one in memory) through every entry point
// that reads or writes pixels: the same calls on a top-down bitmap and on
// a bottom-up view of the same rows must see and leave the same rows.
// Every buffer is exactly as long as its rows (no spare row, nothing after
// the last pixel of the row highest in memory), so the sanitizer build
// catches any access outside them.
#include "bitmap/bitmap.h"
#include "support.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <vector>

using swtest::Rng;

namespace {

// One image held top-down (view 0) and bottom-up (view 1) over a buffer
// holding the same rows in reverse order.
struct Twin {
    Twin(uint8_t type, int width, int height, int pad, uint32_t seed) {
        const int64_t length = int64_t(width) * pixelBitDepthLog2(type),
                      rowBytes = length + pad * pixelBitDepthLog2(type);
        for (int up = 0; up < 2; ++up) {
            memory[up].resize(size_t((height - 1) * rowBytes + length));
            Rng rng(seed); // row y's bytes, where the buffer has them
            for (int y = 0; y < height; ++y)
                for (int64_t i = 0, at = (up ? height - 1 - y : y) * rowBytes; i < rowBytes; ++i)
                    if (uint8_t b = uint8_t(rng.next()); at + i < int64_t(memory[up].size()))
                        memory[up][size_t(at + i)] = b;
            uint8_t* pixels = memory[up].data() + (up ? (height - 1) * rowBytes : 0);
            view[up] = {type, width, height, int32_t(up ? -rowBytes : rowBytes), nullptr, pixels};
        }
    }
    std::vector<uint8_t> memory[2];
    bitmap_tag view[2];
};

// Row by row: the pixels, and the padding where every buffer has it (not
// after the row highest in memory).
std::vector<std::vector<uint8_t>> rowsOf(const bitmap_tag& bm) {
    const int64_t length = int64_t(bm.width) * pixelBitDepthLog2(bm.pixelType);
    std::vector<std::vector<uint8_t>> rows;
    for (int y = 0; y < bm.height; ++y) {
        const uint8_t* row = bm.pixels + int64_t(y) * bm.rowBytes;
        rows.emplace_back(row,
                          row + (y == 0 || y + 1 == bm.height ? length : std::abs(bm.rowBytes)));
    }
    return rows;
}

// The bitmaps a call gets: the one it draws into (or reads), a source and
// a third one (the pattern of the character copy).
struct Views {
    bitmap_tag *dst, *src, *extra;
};
// A call; whatever it returns goes into `seen`.
using Call = std::function<void(const Views&, std::vector<int64_t>& seen)>;

// For each type combination and seed, runs `call` on top-down bitmaps
// and again with every combination of bottom-up views, each on fresh
// copies of the same images.
void expectSameBothWays(const char* name, const Call& call, const std::vector<uint8_t>& dstTypes,
                        const std::vector<uint8_t>& srcTypes, uint8_t et, uint32_t seeds) {
    for (uint8_t dt : dstTypes)
        for (uint8_t st : srcTypes)
            for (uint32_t seed = 0; seed < seeds; ++seed) {
                Rng rng(st * 100 + dt * 3 + seed);
                const int dw = rng.range(1, 23), dh = rng.range(1, 9), sw = rng.range(1, 19),
                          sh = rng.range(1, 9), dpad = rng.range(0, 3), spad = rng.range(0, 3);
                const uint32_t dseed = rng.next(), sseed = rng.next();
                for (int flips = 1; flips < 8; ++flips) {
                    Twin d(dt, dw, dh, dpad, dseed), flipped(dt, dw, dh, dpad, dseed);
                    Twin s(st, sw, sh, spad, sseed), e(et, sw + 1, sh + 1, 0, 5);
                    std::vector<int64_t> expected, seen;
                    call({&d.view[0], &s.view[0], &e.view[0]}, expected);
                    call({&flipped.view[flips & 1], &s.view[flips >> 1 & 1], &e.view[flips >> 2]},
                         seen);
                    ASSERT_EQ(rowsOf(d.view[0]), rowsOf(flipped.view[flips & 1]))
                        << name << " types " << int(st) << "->" << int(dt) << " flips " << flips
                        << " seed " << seed;
                    ASSERT_EQ(expected, seen) << name << " flips " << flips;
                }
            }
}

TEST(BottomUp, EveryEntryPointSeesTheSameRows) {
    uint8_t colormap[16] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 200, 201, 202, 203, 204, 205};
    swtest::DrawScene scene(31, colormap, 0x80C08040);
    const Call primitives = [](const Views& v, std::vector<int64_t>& seen) {
        for (int y = -1; y <= v.dst->height; ++y)
            for (int x = -1; x <= v.dst->width; ++x) {
                drawPixel(v.dst, x * 7 + y, x, y);
                seen.push_back(readPixel(v.dst, x, y));
                int32_t r, g, b;
                readPixelRGB(v.dst, x, y, &r, &g, &b);
                seen.insert(seen.end(), {r, g, b});
            }
        fillRect(v.dst, 3, -2, 1, 40, 3);
        drawLine(v.dst, 5, -4, -3, 30, 12);
        aaLine(v.dst, 7, 0x30000, -0x10000, 0x18000, 0x90000);
        drawDebugText(v.dst, 8, -3, -2, "A\xdb", 1);
        bitmapFill(v.dst, 10);
    };
    const Call copyAndScale = [](const Views& v, std::vector<int64_t>&) {
        for (int x : {-3, 0, 2})
            bitmapCopy(v.dst, x, x - 1, v.src);
        const int32_t factors[][2] = {
            {0x20000, 0x18000}, {0x8000, 0x10000}, {-0x14000, 0x9000}, {0x10000, -0x20000}};
        for (const auto& f : factors)
            bitmapScale(v.dst, -1, 1, v.src, f[0], f[1]);
    };
    const Call character = [](const Views& v, std::vector<int64_t>&) {
        bitmapCopyCharacter(v.dst, 1, -1, v.extra, v.src);
        bitmapCopyCharacter(v.dst, -2, 2, v.extra, v.src);
    };
    const Call special = [](const Views& v, std::vector<int64_t>& seen) {
        for (int x : {-2, 0, 3}) {
            uint8_t* record = bitmapCreateSpecial(v.src, v.dst, x, 1 - x);
            seen.push_back(record != nullptr);
            bitmapDrawSpecial(v.dst, record);
            bitmapFreeSpecial(record);
        }
    };
    std::vector<uint8_t> all(pixelTypeCount);
    std::iota(all.begin(), all.end(), 0);
    expectSameBothWays("primitives", primitives,
                       {PIXEL_PAL8, PIXEL_RGB565, PIXEL_ARGB1555, PIXEL_CMAP4, PIXEL_RGB888},
                       {PIXEL_PAL8}, PIXEL_PAL8, 12);
    expectSameBothWays("copy and scale", copyAndScale, all, all, PIXEL_PAL8, 3);
    expectSameBothWays("character", character, {PIXEL_RGB565}, {PIXEL_ALPHA8}, PIXEL_RGB565, 20);
    expectSameBothWays("special", special, {PIXEL_PAL8, PIXEL_RGB565, PIXEL_ARGB1555},
                       {PIXEL_PAL8_KEY}, PIXEL_PAL8, 20);
}

} // namespace
