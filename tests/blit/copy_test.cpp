// bitmapCopy: exact conversions, every table pair against a per-pixel
// reference written from the pixel rules (with the plain and the fast
// routines), fast routines against plain ones at every alignment, and
// reads that stay inside the source.
#include "bitmap/bitmap.h"
#include "blit/blit.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

using swtest::Rng;
using swtest::RoutineChoice;

namespace {

// Scene state the copy reads: a current palette (hence screen tables), an
// optional current colormap and the font colour. Restored on exit.
struct CopyScene {
    uint32_t* palette;
    uint8_t colormap[16];
    explicit CopyScene(uint32_t seed, bool withColormap) {
        palette = swtest::randomPalette(seed);
        paletteSetCurrent(palette, 0, 256);
        Rng rng(seed + 1);
        for (auto& c : colormap)
            c = uint8_t(rng.next());
        colormapSetCurrent(withColormap ? colormap : nullptr);
        bitmapSetFontColor(rng.next());
    }
    ~CopyScene() {
        colormapSetCurrent(nullptr);
        paletteCurrent = nullptr;
        bitmapSetFontColor(0);
        paletteFree(palette);
    }
    const uint8_t* activeColormap() const {
        return colormapGetCurrent() ? colormapGetCurrent() : identityColormap;
    }
};

uint32_t getPixel(const bitmap_tag* bm, int x, int y) {
    const uint8_t* p = bm->pixels + int64_t(y) * bm->rowBytes;
    switch (pixelBitDepthLog2(bm->pixelType)) {
    case 1: return p[x];
    case 2: return uint32_t(p[2 * x]) | uint32_t(p[2 * x + 1]) << 8;
    default:
        return uint32_t(p[4 * x]) | uint32_t(p[4 * x + 1]) << 8 | uint32_t(p[4 * x + 2]) << 16 |
               uint32_t(p[4 * x + 3]) << 24;
    }
}

void setPixel(bitmap_tag* bm, int x, int y, uint32_t v) {
    uint8_t* p = bm->pixels + int64_t(y) * bm->rowBytes;
    int bpp = pixelBitDepthLog2(bm->pixelType);
    for (int k = 0; k < bpp; ++k)
        p[bpp * x + k] = uint8_t(v >> (8 * k));
}

size_t bufferBytes(const bitmap_tag* bm) {
    return size_t(bm->height + 1) * size_t(bm->rowBytes) + 1;
}

std::vector<uint8_t> snapshot(const bitmap_tag* bm) {
    return std::vector<uint8_t>(bm->pixels, bm->pixels + bufferBytes(bm));
}

// Blend of colour (r, g, b) with weight a over a 16-bit pixel, written
// from the blend rule: destination channels widened with ones below the
// field, (s * a + d * (255 - a)) >> 8, top bits kept; bit 15 set on 5:5:5.
uint32_t blendReference(bool to565, uint32_t d, uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    uint32_t dr, dg, db;
    if (to565) {
        dr = ((d >> 11) & 31) << 3 | 7;
        dg = ((d >> 5) & 63) << 2 | 3;
        db = (d & 31) << 3 | 7;
    } else {
        dr = ((d >> 10) & 31) << 3 | 7;
        dg = ((d >> 5) & 31) << 3 | 7;
        db = (d & 31) << 3 | 7;
    }
    uint32_t R = (r * a + dr * (255 - a)) >> 8;
    uint32_t G = (g * a + dg * (255 - a)) >> 8;
    uint32_t B = (b * a + db * (255 - a)) >> 8;
    if (to565) return (R >> 3) << 11 | (G >> 2) << 5 | (B >> 3);
    return 0x8000 | (R >> 3) << 10 | (G >> 3) << 5 | (B >> 3);
}

// The destination pixel after copying source pixel v of type st over d
// of type dt; nullopt when the pair has no routine.
std::optional<uint32_t> expectedPixel(int st, int dt, uint32_t v, uint32_t d, const uint8_t* cmap) {
    bool keyed = isKeyed(st);
    bool toIndex4 = isIndexed4(dt), toIndex8 = isIndexed8(dt);
    bool to16 = dt == PIXEL_RGB565 || dt == PIXEL_ARGB1555;
    const uint16_t* table = dt == PIXEL_RGB565 ? screenPalette565 : screenPalette555;
    if (isIndexed4(st)) {
        if (!(toIndex4 || toIndex8 || to16)) return std::nullopt;
        if (keyed && v == 0) return d;
        if (toIndex4) return v;
        uint8_t index = cmap[v & 15];
        return toIndex8 ? index : table[index];
    }
    if (isIndexed8(st)) {
        if (!(toIndex8 || to16)) return std::nullopt;
        if (keyed && v == 0) return d;
        return toIndex8 ? v : table[v];
    }
    if (!to16) return std::nullopt;
    switch (st) {
    case PIXEL_RGB565:
        return dt == PIXEL_RGB565 ? v : (((v >> 11) & 31) << 10 | ((v >> 6) & 31) << 5 | (v & 31));
    case PIXEL_ARGB1555:
        return dt == PIXEL_ARGB1555 ? v
                                    : (((v >> 10) & 31) << 11 | ((v >> 5) & 31) << 6 | (v & 31));
    case PIXEL_ARGB4444: {
        uint32_t A = v >> 12, r4 = (v >> 8) & 15, g4 = (v >> 4) & 15, b4 = v & 15;
        if (A == 0) return d;
        if (A == 15)
            return dt == PIXEL_RGB565 ? (r4 * 2) << 11 | (g4 * 4) << 5 | b4 * 2
                                      : 0x8000 | (r4 * 2) << 10 | (g4 * 2) << 5 | b4 * 2;
        return blendReference(dt == PIXEL_RGB565, d, A * 17, r4 * 16 + 15, g4 * 16 + 15,
                              b4 * 16 + 15);
    }
    case PIXEL_ALPHA8: {
        uint32_t r = (fontColor >> 16) & 255, g = (fontColor >> 8) & 255, b = fontColor & 255;
        if (v == 0) return d;
        if (v == 240)
            return dt == PIXEL_RGB565 ? (r >> 3) << 11 | (g >> 2) << 5 | b >> 3
                                      : 0x8000 | (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
        return blendReference(dt == PIXEL_RGB565, d, v, r, g, b);
    }
    default: return std::nullopt;
    }
}

// Copies src onto a copy of dst at (x, y) and checks every byte of the
// destination buffer: pixels under the source by the reference, all else
// (outside pixels, row padding, spare row) untouched.
void checkCopyAgainstReference(bitmap_tag* dst, bitmap_tag* src, int x, int y,
                               const uint8_t* cmap) {
    std::vector<uint8_t> before = snapshot(dst);
    bitmapCopy(dst, x, y, src);
    std::vector<uint8_t> after = snapshot(dst);
    // Rebuild the expected buffer from `before`.
    std::vector<uint8_t> expected = before;
    bitmap_tag view = *dst;
    view.pixels = expected.data();
    for (int Y = 0; Y < dst->height; ++Y)
        for (int X = 0; X < dst->width; ++X) {
            int u = X - x, v = Y - y;
            if (u < 0 || v < 0 || u >= src->width || v >= src->height) continue;
            auto e = expectedPixel(src->pixelType, dst->pixelType, getPixel(src, u, v),
                                   getPixel(&view, X, Y), cmap);
            if (e) setPixel(&view, X, Y, *e);
        }
    ASSERT_EQ(expected, after) << "src type " << int(src->pixelType) << " dst type "
                               << int(dst->pixelType) << " at " << x << "," << y;
}

TEST(BitmapCopy, EveryTypePairMatchesTheReferenceOverRandomBitmaps) {
    for (int run = 0; run < 4; ++run) {
        const bool withColormap = run & 1;
        RoutineChoice routines(run & 2);
        CopyScene scene(7 + withColormap, withColormap);
        Rng rng(99 + withColormap);
        for (int st = 0; st <= 10; ++st)
            for (int dt = 0; dt <= 10; ++dt)
                for (int round = 0; round < 6; ++round) {
                    int sw = rng.range(1, 37), sh = rng.range(1, 9);
                    int dw = rng.range(1, 41), dh = rng.range(1, 11);
                    bitmap_tag* src = swtest::randomBitmap(uint8_t(st), sw, sh, rng.next());
                    bitmap_tag* dst = swtest::randomBitmap(uint8_t(dt), dw, dh, rng.next());
                    if (st == PIXEL_ALPHA8 && round % 2) // plenty of 0 and 240
                        for (int i = 0; i < sw * sh; ++i)
                            src->pixels[(i / sw) * src->rowBytes + i % sw] =
                                uint8_t(rng.range(0, 2) == 0 ? 0
                                        : rng.range(0, 1)    ? 240
                                                             : 128);
                    int x = rng.range(-sw - 2, dw + 1), y = rng.range(-sh - 2, dh + 1);
                    checkCopyAgainstReference(dst, src, x, y, scene.activeColormap());
                    bitmapFree(src);
                    bitmapFree(dst);
                }
    }
}

// The pairs the table serves, from the copy rules: any other pair copies
// nothing.
TEST(BitmapCopy, TableHasExactlyTheDocumentedPairs) {
    int filled = 0;
    for (uint32_t st = 0; st < 16; ++st)
        for (uint32_t dt = 0; dt < 16; ++dt) {
            bool expected = (st <= 1 && dt <= 5) || ((st == 2 || st == 3) && dt >= 2 && dt <= 5) ||
                            ((st == 4 || st == 5 || st == 7 || st == 10) && (dt == 4 || dt == 5));
            for (bool plain : {true, false}) {
                RoutineChoice routines(plain);
                EXPECT_EQ(expected, copyRoutineFor(st, dt) != nullptr) << st << "->" << dt;
            }
            filled += expected;
        }
    EXPECT_EQ(filled, 28);
    EXPECT_EQ(copyRoutineFor(0xFFFFFFFFu, 2), nullptr);
    EXPECT_EQ(copyRoutineFor(2, 0xFFFFFFFFu), nullptr);
}

// Source bytes that hit every case of the pixel rules: zeros for the keyed
// copies, ARGB4444 pixels with alpha 0, 15 or in between, coverage 0, 240
// and other values (1 and 255 included); the rest random.
uint8_t sourceByte(uint32_t srcType, size_t i, Rng& rng) {
    uint32_t pick = rng.range(0, 5);
    if (srcType == PIXEL_ALPHA8) {
        const uint8_t special[] = {0, 240, 255, 1, 0};
        return pick < 5 ? special[pick] : uint8_t(rng.next());
    }
    if (srcType == PIXEL_ARGB4444 && i % 2) // high byte: the alpha nibble
        return uint8_t((pick == 0   ? 0x00
                        : pick == 1 ? 0xF0
                                    : rng.next() & 0xF0) |
                       (rng.next() & 0x0F));
    return pick < 2 ? 0 : uint8_t(rng.next());
}

// Each fast routine against its plain one on every pair: widths 0..70,
// source and destination offsets 0..3 (every alignment the multi-pixel
// steps see), rows padded or following each other directly (copied as one
// block), several font colours.
TEST(BitmapCopy, FastRoutinesEqualPlainAtEveryAlignment) {
    Rng rng(5);
    for (int scene = 0; scene < 3; ++scene) {
        CopyScene state(21 + scene, scene != 1);
        for (uint32_t st = 0; st <= PIXEL_ALPHA8; ++st)
            for (uint32_t dt = 0; dt <= PIXEL_ALPHA8; ++dt) {
                CopyRoutine fast, plain;
                {
                    RoutineChoice routines(false);
                    fast = copyRoutineFor(st, dt);
                }
                {
                    RoutineChoice routines(true);
                    plain = copyRoutineFor(st, dt);
                }
                if (!fast || fast == plain) continue;
                const int sb = pixelBitDepthLog2(st), db = pixelBitDepthLog2(dt), height = 3;
                for (int width = 0; width <= 70; width += (width < 20 ? 1 : 7))
                    for (int offsets = 0; offsets < 32; ++offsets) {
                        const int so = offsets % 4, doff = offsets / 4 % 4;
                        const bool packed = offsets >= 16;
                        const int srb = packed ? width * sb : 96 * sb;
                        const int drb = packed ? width * db : 96 * db;
                        std::vector<uint8_t> src(size_t(srb) * height + 8);
                        for (size_t i = 0; i < src.size(); ++i)
                            src[i] = sourceByte(st, i + so, rng);
                        std::vector<uint8_t> a(size_t(drb) * height + 8);
                        for (auto& byte : a)
                            byte = uint8_t(rng.next());
                        std::vector<uint8_t> b = a;
                        fast(a.data() + doff, 0, drb, src.data() + so, 0, srb, width, height);
                        plain(b.data() + doff, 0, drb, src.data() + so, 0, srb, width, height);
                        ASSERT_EQ(a, b) << st << "->" << dt << " width " << width << " offsets "
                                        << so << "," << doff << (packed ? " packed" : "");
                    }
            }
    }
}

TEST(BitmapCopy, ExactConversionValues) {
    struct Case {
        uint8_t st, dt;
        uint32_t font, v, d, expected;
    } cases[] = {
        {PIXEL_RGB565, PIXEL_ARGB1555, 0, 0xFFFF, 0x1234, 0x7FFF},
        {PIXEL_ARGB1555, PIXEL_RGB565, 0, 0xFFFF, 0x1234, 0xFFDF},
        {PIXEL_RGB565, PIXEL_ARGB1555, 0, 0x0020, 0x1234, 0x0000}, // lowest green bit dropped
        {PIXEL_ARGB1555, PIXEL_RGB565, 0, 0x8000, 0x1234, 0x0000}, // alpha bit dropped
        {PIXEL_ARGB4444, PIXEL_RGB565, 0, 0xFFFF, 0x1234, 0xF79E},
        {PIXEL_ARGB4444, PIXEL_ARGB1555, 0, 0xFFFF, 0x1234, 0xFBDE},
        {PIXEL_ARGB4444, PIXEL_RGB565, 0, 0x0FFF, 0x1234, 0x1234},
        {PIXEL_ARGB4444, PIXEL_ARGB1555, 0, 0x0FFF, 0x1234, 0x1234},
        // A = 8 (weight 136), white over black: (255 * 136 + 7 * 119) >> 8 =
        // 138 red and blue, (255 * 136 + 3 * 119) >> 8 = 136 green.
        {PIXEL_ARGB4444, PIXEL_RGB565, 0, 0x8FFF, 0x0000,
         (138 >> 3) << 11 | (136 >> 2) << 5 | 138 >> 3},
        {PIXEL_ARGB4444, PIXEL_ARGB1555, 0, 0x8FFF, 0x0000, 0x8000 | 17 << 10 | 17 << 5 | 17},
        {PIXEL_ALPHA8, PIXEL_RGB565, 0x00FF0000, 240, 0x1234, 0xF800},
        {PIXEL_ALPHA8, PIXEL_ARGB1555, 0x00FF0000, 240, 0x1234, 0xFC00},
        {PIXEL_ALPHA8, PIXEL_RGB565, 0x00FF0000, 0, 0x1234, 0x1234},
        // Coverage 128 of white over black: red (255 * 128 + 7 * 127) >> 8 = 130,
        // field 16; green (255 * 128 + 3 * 127) >> 8 = 128, field 32.
        {PIXEL_ALPHA8, PIXEL_RGB565, 0x00FFFFFF, 128, 0x0000, 16 << 11 | 32 << 5 | 16},
        // Coverage above 240 blends: 255 of pure blue over white on 5:5:5.
        {PIXEL_ALPHA8, PIXEL_ARGB1555, 0x000000FF, 255, 0x7FFF, 0x8000 | 31},
        // The weight byte of the font colour plays no part.
        {PIXEL_ALPHA8, PIXEL_RGB565, 0x7F00FF00, 240, 0, 0x07E0},
    };
    for (const Case& c : cases) {
        bitmapSetFontColor(c.font);
        bitmap_tag *src = nullptr, *dst = nullptr;
        ASSERT_TRUE(bitmapAlloc(&src, c.st, 1, 1, 0));
        ASSERT_TRUE(bitmapAlloc(&dst, c.dt, 1, 1, 0));
        setPixel(src, 0, 0, c.v);
        setPixel(dst, 0, 0, c.d);
        bitmapCopy(dst, 0, 0, src);
        EXPECT_EQ(getPixel(dst, 0, 0), c.expected)
            << std::hex << int(c.st) << "->" << int(c.dt) << " v " << c.v << " d " << c.d;
        bitmapFree(src);
        bitmapFree(dst);
    }
    bitmapSetFontColor(0);
}

TEST(BitmapCopy, ClipsAtEveryEdgeAndReadsTheMatchingSourceOffset) {
    bitmap_tag *src = nullptr, *dst = nullptr;
    ASSERT_TRUE(bitmapAlloc(&src, PIXEL_PAL8, 6, 4, 0));
    ASSERT_TRUE(bitmapAlloc(&dst, PIXEL_PAL8, 5, 5, 0));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            setPixel(src, x, y, 10 * y + x + 1);
    std::memset(dst->pixels, 0, bufferBytes(dst));
    bitmapCopy(dst, -3, 0, src); // fourth column lands at column 0, 3 columns wide
    EXPECT_EQ(getPixel(dst, 0, 0), 4u);
    EXPECT_EQ(getPixel(dst, 2, 3), 36u);
    EXPECT_EQ(getPixel(dst, 3, 0), 0u);
    std::memset(dst->pixels, 0, bufferBytes(dst));
    bitmapCopy(dst, 2, 3, src); // cut at right and bottom
    EXPECT_EQ(getPixel(dst, 2, 3), 1u);
    EXPECT_EQ(getPixel(dst, 4, 4), 13u);
    EXPECT_EQ(dst->pixels[5 * dst->rowBytes], 0) << "spare row untouched";
    std::vector<uint8_t> before = snapshot(dst);
    bitmapCopy(dst, 5, 0, src);
    bitmapCopy(dst, 0, 5, src);
    bitmapCopy(dst, -6, 0, src);
    bitmapCopy(dst, 0, -4, src);
    bitmapCopy(dst, INT32_MIN, INT32_MIN, src);
    bitmapCopy(dst, INT32_MAX, 0, src);
    EXPECT_EQ(before, snapshot(dst));
    bitmapFree(src);
    bitmapFree(dst);
}

TEST(BitmapCopy, FourBitSourcesUseTheCurrentColormapOrIdentity) {
    bitmap_tag *src = nullptr, *dst = nullptr;
    ASSERT_TRUE(bitmapAlloc(&src, PIXEL_CMAP4_KEY, 4, 1, 1));
    ASSERT_TRUE(bitmapAlloc(&dst, PIXEL_PAL8, 4, 1, 0));
    uint8_t own[16];
    for (int i = 0; i < 16; ++i)
        own[i] = uint8_t(200 + i);
    bitmapSetColormap(src, own); // the source's own colormap is not used
    const uint8_t values[4] = {0, 1, 15, 7};
    std::memcpy(src->pixels, values, 4);
    std::memset(dst->pixels, 99, 4);
    colormapSetCurrent(nullptr);
    bitmapCopy(dst, 0, 0, src);
    EXPECT_EQ(std::vector<uint8_t>(dst->pixels, dst->pixels + 4),
              (std::vector<uint8_t>{99, 1, 15, 7}));
    uint8_t current[16];
    for (int i = 0; i < 16; ++i)
        current[i] = uint8_t(100 + i);
    colormapSetCurrent(current);
    bitmapCopy(dst, 0, 0, src);
    EXPECT_EQ(std::vector<uint8_t>(dst->pixels, dst->pixels + 4),
              (std::vector<uint8_t>{99, 101, 115, 107}));
    colormapSetCurrent(nullptr);
    bitmapFree(src);
    bitmapFree(dst);
}

// A keyed source whose pixel memory ends exactly at the last pixel of the
// row highest in memory (its last row, or its first when it is bottom-up):
// under the address sanitizer any read past it fails.
TEST(BitmapCopy, KeyedCopyReadsNothingPastTheSourceRows) {
    for (int width = 1; width <= 23; ++width)
        for (int shape = 0; shape < 8; ++shape) {
            const int rowPad = shape % 4, rowBytes = width + rowPad, height = 3;
            const bool bottomUp = shape >= 4;
            std::vector<uint8_t> memory(size_t(rowBytes) * (height - 1) + width);
            Rng rng(uint64_t(width * 7 + shape));
            for (auto& b : memory)
                b = rng.range(0, 1) ? 0 : uint8_t(rng.next() | 1);
            bitmap_tag src{PIXEL_PAL8_KEY, width, height, rowBytes, nullptr, memory.data()};
            if (bottomUp) {
                src.pixels += (height - 1) * rowBytes;
                src.rowBytes = -rowBytes;
            }
            for (bool plain : {true, false}) {
                RoutineChoice routines(plain);
                bitmap_tag* dst = swtest::randomBitmap(PIXEL_PAL8, width + 2, height, 3);
                bitmap_tag* ref = swtest::randomBitmap(PIXEL_PAL8, width + 2, height, 3);
                bitmapCopy(dst, 1, 0, &src);
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x)
                        if (uint8_t v = src.pixels[y * src.rowBytes + x])
                            setPixel(ref, x + 1, y, v);
                EXPECT_EQ(snapshot(dst), snapshot(ref)) << width << " shape " << shape;
                bitmapFree(dst);
                bitmapFree(ref);
            }
        }
}

TEST(BitmapCopy, RecordsThatAreNotDrawableCopyNothing) {
    bitmap_tag* good = swtest::randomBitmap(PIXEL_PAL8, 8, 8, 4);
    std::vector<uint8_t> before = snapshot(good);
    bitmap_tag noPixels = *good;
    noPixels.pixels = nullptr;
    bitmap_tag negative = *good;
    negative.width = -5;
    bitmap_tag shortRows = *good;
    shortRows.rowBytes = 4;
    bitmap_tag shortUpward = *good;
    shortUpward.rowBytes = -7;
    bitmapCopy(good, 0, 0, nullptr);
    bitmapCopy(nullptr, 0, 0, good);
    bitmapCopy(good, 0, 0, &noPixels);
    bitmapCopy(&noPixels, 0, 0, good);
    bitmapCopy(good, 0, 0, &negative);
    bitmapCopy(&shortRows, 0, 0, good);
    bitmapCopy(good, 0, 0, &shortRows);
    bitmapCopy(&shortUpward, 0, 0, good);
    bitmapCopy(good, 0, 0, &shortUpward);
    EXPECT_EQ(before, snapshot(good));
    bitmap_tag unknown = *good;
    unknown.pixelType = 200;
    bitmapCopy(good, 0, 0, &unknown);
    bitmapCopy(&unknown, 0, 0, good);
    EXPECT_EQ(before, snapshot(good));
    bitmapFree(good);
}

} // namespace
