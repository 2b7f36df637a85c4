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

#include <cstring>
#include <functional>
#include <vector>

using swtest::Rng;

namespace {

// One image held three times: top-down, a second top-down copy, and
// bottom-up over a buffer holding the same rows in reverse order.
class Twin {
  public:
    enum View { Top, Spare, Bottom };

    Twin(uint8_t type, int width, int height, int pad, uint32_t seed) {
        const int bpp = pixelBitDepthLog2(type), rowBytes = width * bpp + pad * bpp;
        const size_t rowLength = size_t(width) * bpp;
        const size_t bytes = size_t(height - 1) * rowBytes + rowLength;
        Rng rng(seed);
        std::vector<uint8_t> rows(size_t(height) * rowBytes);
        for (auto& b : rows)
            b = uint8_t(rng.next());
        for (int v = 0; v < 3; ++v) {
            memory_[v].assign(bytes, 0);
            bool up = v == Bottom;
            for (int y = 0; y < height; ++y) {
                size_t at = size_t(up ? height - 1 - y : y) * rowBytes;
                std::memcpy(memory_[v].data() + at, rows.data() + size_t(y) * rowBytes,
                            std::min(size_t(rowBytes), bytes - at));
            }
            uint8_t* pixels = memory_[v].data() + (up ? size_t(height - 1) * rowBytes : 0);
            views_[v] = bitmap_tag{type, width, height, up ? -rowBytes : rowBytes, nullptr, pixels};
        }
    }
    bitmap_tag* view(View v) { return &views_[v]; }

    // Row by row, view v holds what the top-down bitmap holds: every pixel,
    // and the row padding where both buffers have it.
    ::testing::AssertionResult sameAsTop(View v) const {
        const bitmap_tag &a = views_[Top], &b = views_[v];
        const int64_t stride = a.rowBytes,
                      length = int64_t(a.width) * pixelBitDepthLog2(a.pixelType);
        for (int y = 0; y < a.height; ++y) {
            bool padded = y + 1 < a.height && (v != Bottom || y > 0);
            size_t n = size_t(padded ? stride : length);
            if (std::memcmp(a.pixels + y * stride, b.pixels + y * b.rowBytes, n) != 0)
                return ::testing::AssertionFailure() << "row " << y << " differs";
        }
        return ::testing::AssertionSuccess();
    }

  private:
    std::vector<uint8_t> memory_[3];
    bitmap_tag views_[3];
};

// The bitmaps a call gets: the one it draws into (or reads), a source and
// a third one (the pattern of the character copy).
struct Views {
    bitmap_tag *dst, *src, *extra;
};
// A call; whatever it returns goes into `seen`.
using Call = std::function<void(const Views&, std::vector<int64_t>& seen)>;

// Runs `call` on top-down bitmaps and again with every combination of
// bottom-up views, each on fresh copies of the same images.
void expectSameBothWays(const char* name, uint8_t dt, uint8_t st, uint8_t et, const Call& call,
                        uint32_t seed) {
    Rng rng(seed);
    const int dw = rng.range(1, 23), dh = rng.range(1, 9), sw = rng.range(1, 19),
              sh = rng.range(1, 9);
    const int dpad = rng.range(0, 3), spad = rng.range(0, 3);
    const uint32_t dseed = rng.next(), sseed = rng.next();
    for (int flips = 1; flips < 8; ++flips) {
        Twin d(dt, dw, dh, dpad, dseed), s(st, sw, sh, spad, sseed), e(et, sw + 1, sh + 1, 0, 5);
        std::vector<int64_t> expected, seen;
        call({d.view(Twin::Top), s.view(Twin::Top), e.view(Twin::Top)}, expected);
        Twin::View dv = flips & 1 ? Twin::Bottom : Twin::Spare;
        call({d.view(dv), s.view(flips & 2 ? Twin::Bottom : Twin::Top),
              e.view(flips & 4 ? Twin::Bottom : Twin::Top)},
             seen);
        ASSERT_TRUE(d.sameAsTop(dv)) << name << " types " << int(st) << "->" << int(dt) << " flips "
                                     << flips << " seed " << seed;
        ASSERT_EQ(expected, seen) << name << " flips " << flips;
    }
}

uint8_t colormap[16] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 200, 201, 202, 203, 204, 205};

// An 8 x 8 bottom-up view whose row 0 is the last 8 bytes of its buffer.
TEST(BottomUp, PixelOfAnEightByEightViewLandsInTheLastRowOfMemory) {
    std::vector<uint8_t> buf(64, 0);
    bitmap_tag bm{PIXEL_PAL8, 8, 8, -8, nullptr, buf.data() + 56};
    drawPixel(&bm, 9, 1, 0);
    EXPECT_EQ(buf[57], 9);
    EXPECT_EQ(readPixel(&bm, 1, 0), 9);
    drawPixel(&bm, 4, 2, 7);
    EXPECT_EQ(buf[2], 4);
    bitmap_tag narrow = bm;
    narrow.rowBytes = -7; // rows shorter than the width: unusable either way
    drawPixel(&narrow, 1, 0, 1);
    EXPECT_EQ(buf[49], 0);
}

// Each entry point through the twins: the primitives and text on every
// layout, copies and scaling on every type pair, character copies, special
// records and instances on their types.
TEST(BottomUp, EveryEntryPointSeesTheSameRows) {
    swtest::DrawScene scene(31, colormap, 0x80C08040);
    const Call pixels = [](const Views& v, std::vector<int64_t>& seen) {
        for (int y = -1; y <= v.dst->height; ++y)
            for (int x = -1; x <= v.dst->width; ++x) {
                drawPixel(v.dst, x * 7 + y, x, y);
                seen.push_back(readPixel(v.dst, x, y));
                int32_t r, g, b;
                readPixelRGB(v.dst, x, y, &r, &g, &b);
                seen.insert(seen.end(), {r, g, b});
            }
    };
    const Call primitives = [](const Views& v, std::vector<int64_t>&) {
        fillRect(v.dst, 3, -2, 1, 40, 3);
        fillRect(v.dst, 4, 1, -1, 2, 40);
        drawLine(v.dst, 5, -4, -3, 30, 12);
        drawLine(v.dst, 6, 20, 0, -1, 0);
        aaLine(v.dst, 7, 0x30000, -0x10000, 0x18000, 0x90000);
        drawDebugText(v.dst, 8, -3, -2, "Ab", 0);
        drawDebugText(v.dst, 9, 5, 1, "\xdb", 1);
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
    // A window one pixel in from each edge of the parent, drawn into.
    const Call instance = [](const Views& v, std::vector<int64_t>&) {
        bitmap_tag inst;
        bitmapInstance(&inst, v.dst, 1, 1, v.dst->width - 2, v.dst->height - 2);
        bitmapFill(&inst, 11);
        drawLine(&inst, 12, -1, 0, 9, 6);
        bitmapCopy(&inst, 0, -1, v.src);
    };
    for (uint32_t seed = 0; seed < 12; ++seed)
        for (uint8_t type : {PIXEL_PAL8, PIXEL_RGB565, PIXEL_ARGB1555, PIXEL_CMAP4, PIXEL_RGB888})
            for (const Call* call : {&pixels, &primitives})
                expectSameBothWays("primitives", type, PIXEL_PAL8, PIXEL_PAL8, *call, seed);
    for (uint8_t st = 0; st < pixelTypeCount; ++st)
        for (uint8_t dt = 0; dt < pixelTypeCount; ++dt)
            for (uint32_t seed = 0; seed < 3; ++seed)
                expectSameBothWays("copy and scale", dt, st, PIXEL_PAL8, copyAndScale,
                                   st * 100 + dt * 3 + seed);
    for (uint32_t seed = 0; seed < 20; ++seed) {
        expectSameBothWays("character", PIXEL_RGB565, PIXEL_ALPHA8, PIXEL_RGB565, character, seed);
        for (uint8_t type : {PIXEL_PAL8, PIXEL_RGB565, PIXEL_ARGB1555})
            expectSameBothWays("special", type, PIXEL_PAL8_KEY, PIXEL_PAL8, special, seed);
        for (uint8_t type : {PIXEL_PAL8, PIXEL_RGB565})
            expectSameBothWays("instance", type, PIXEL_PAL8_KEY, PIXEL_PAL8, instance, seed);
    }
}

// A source as wide as a bottom-up destination whose rows have no padding:
// the record's runs cross row ends in memory order, upward.
TEST(BottomUp, SpecialRecordOfAFullWidthSourceCrossesRowsUpward) {
    std::vector<uint8_t> srcRows = {0, 1, 2, 3, 4, 5, 0, 0, 6};
    bitmap_tag src{PIXEL_PAL8_KEY, 3, 3, 3, nullptr, srcRows.data()};
    std::vector<uint8_t> memory(9, 0xEE);
    bitmap_tag dst{PIXEL_PAL8, 3, 3, -3, nullptr, memory.data() + 6};
    uint8_t* record = bitmapCreateSpecial(&src, &dst, 0, 0);
    ASSERT_NE(record, nullptr);
    bitmapDrawSpecial(&dst, record);
    EXPECT_EQ(memory, (std::vector<uint8_t>{0xEE, 0xEE, 6, 3, 4, 5, 0xEE, 1, 2}));
    bitmapFreeSpecial(record);
}

} // namespace
