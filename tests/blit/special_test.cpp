// Special bitmaps: streams byte for byte, splitting of long runs and
// skips, drawing equal to the keyed copy of the same source, refusals,
// allocation failures and damaged records.
#include "bitmap/bitmap.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using swtest::MessageCapture;
using swtest::Rng;

namespace {

constexpr size_t headerBytes = 22;

std::vector<uint8_t> buffer(const bitmap_tag* bm) {
    return std::vector<uint8_t>(bm->pixels, bm->pixels + size_t(bm->height + 1) * bm->rowBytes + 1);
}

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The record's stream as signed words and raw bytes, for comparisons.
std::vector<uint8_t> streamOf(const uint8_t* record) {
    return std::vector<uint8_t>(record + headerBytes, record + headerBytes + le32(record + 18));
}

void pushWord(std::vector<uint8_t>& v, int w) {
    v.push_back(uint8_t(w));
    v.push_back(uint8_t(uint16_t(w) >> 8));
}

// A bitmap record over caller-owned bytes (no pixels needed for a
// template).
bitmap_tag layout(uint8_t type, int w, int h, int rowBytes) {
    return bitmap_tag{type, w, h, rowBytes, nullptr, nullptr};
}

bitmap_tag* sourceRows(int width, const std::vector<std::vector<uint8_t>>& rows) {
    bitmap_tag* bm = nullptr;
    EXPECT_TRUE(bitmapAlloc(&bm, PIXEL_PAL8_KEY, width, int(rows.size()), 0));
    std::memset(bm->pixels, 0xAA, size_t(rows.size() + 1) * bm->rowBytes + 1); // padding not 0
    for (size_t j = 0; j < rows.size(); ++j)
        std::memcpy(bm->pixels + j * bm->rowBytes, rows[j].data(), size_t(width));
    return bm;
}

struct Scene {
    uint32_t* palette;
    Scene() {
        palette = swtest::randomPalette(77);
        paletteSetCurrent(palette, 0, 256);
    }
    ~Scene() {
        paletteCurrent = nullptr;
        paletteFree(palette);
    }
};

TEST(SpecialBitmap, EightBitStreamByteForByte) {
    bitmap_tag* src = sourceRows(8, {{0, 0, 5, 6, 0, 0, 0, 7}});
    bitmap_tag dst = layout(PIXEL_PAL8, 8, 3, 8);
    uint8_t* record = bitmapCreateSpecial(src, &dst, 0, 0);
    ASSERT_NE(record, nullptr);
    const std::vector<uint8_t> header = {0, 0, 0, 0, 2, 1, 8, 0, 0, 0, 3, 0, 0, 0, 8, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(record, record + 18), header);
    const std::vector<uint8_t> stream = {0xFE, 0xFF, 2, 0, 5, 6, 0xFD, 0xFF, 1, 0, 7, 0, 0, 0, 0};
    EXPECT_EQ(streamOf(record), stream);
    EXPECT_EQ(le32(record + 18), stream.size());
    bitmapFreeSpecial(record);
    bitmapFree(src);
}

TEST(SpecialBitmap, SixteenBitStreamStoresTablePixels) {
    Scene scene;
    bitmap_tag* src = sourceRows(8, {{0, 0, 5, 6, 0, 0, 0, 7}});
    for (uint8_t type : {PIXEL_RGB565, PIXEL_ARGB1555}) {
        const uint16_t* table = type == PIXEL_RGB565 ? screenPalette565 : screenPalette555;
        bitmap_tag dst = layout(type, 8, 2, 16);
        uint8_t* record = bitmapCreateSpecial(src, &dst, 0, 1);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(le32(record), 16u) << "offset of (0, 1)";
        EXPECT_EQ(record[4], type);
        std::vector<uint8_t> stream;
        pushWord(stream, -4);
        pushWord(stream, 2);
        pushWord(stream, table[5]);
        pushWord(stream, table[6]);
        pushWord(stream, -6);
        pushWord(stream, 1);
        pushWord(stream, table[7]);
        pushWord(stream, 0);
        pushWord(stream, 0);
        EXPECT_EQ(streamOf(record), stream);
        bitmapFreeSpecial(record);
    }
    bitmapFree(src);
}

// Row gap 4 (rowBytes 12 for 8 pixels): a row transparent to its end and
// a row starting transparent give one skip of 7 + 4 + 2 bytes.
TEST(SpecialBitmap, RowGapJoinsTheSkipsAroundIt) {
    bitmap_tag* src = sourceRows(8, {{1, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 2, 3, 0, 0, 0, 9}});
    bitmap_tag dst = layout(PIXEL_PAL8, 8, 2, 12);
    uint8_t* record = bitmapCreateSpecial(src, &dst, 0, 0);
    std::vector<uint8_t> stream;
    pushWord(stream, 1);
    stream.push_back(1);
    pushWord(stream, -13);
    pushWord(stream, 2);
    stream.push_back(2);
    stream.push_back(3);
    pushWord(stream, -3);
    pushWord(stream, 1);
    stream.push_back(9);
    pushWord(stream, 0);
    pushWord(stream, 0);
    EXPECT_EQ(streamOf(record), stream);
    bitmapFreeSpecial(record);
    bitmapFree(src);
}

// Without a row gap a run goes on into the next row, its pixels read row
// by row (the 0xAA padding of the source rows never shows up).
TEST(SpecialBitmap, RunsCrossRowEndsOnlyWithoutARowGap) {
    bitmap_tag* src = sourceRows(3, {{0, 4, 5}, {6, 0, 0}});
    ASSERT_EQ(int(src->rowBytes), 4);
    bitmap_tag dst = layout(PIXEL_PAL8, 3, 2, 3);
    uint8_t* record = bitmapCreateSpecial(src, &dst, 0, 0);
    std::vector<uint8_t> stream;
    pushWord(stream, -1);
    pushWord(stream, 3);
    stream.push_back(4);
    stream.push_back(5);
    stream.push_back(6);
    pushWord(stream, 0);
    pushWord(stream, 0);
    EXPECT_EQ(streamOf(record), stream);
    bitmapFreeSpecial(record);
    bitmapFree(src);
}

TEST(SpecialBitmap, LongRunsAndSkipsAreSplit) {
    // One row of 70000 opaque pixels: runs of 32767, 32767 and 4466.
    bitmap_tag* src = nullptr;
    ASSERT_TRUE(bitmapAlloc(&src, PIXEL_PAL8_KEY, 70000, 1, 0));
    std::memset(src->pixels, 3, 70000);
    bitmap_tag dst = layout(PIXEL_PAL8, 70000, 1, 70000);
    uint8_t* record = bitmapCreateSpecial(src, &dst, 0, 0);
    std::vector<uint8_t> stream = streamOf(record);
    ASSERT_EQ(stream.size(), 3 * 2 + 70000 + 4u);
    EXPECT_EQ(stream[0] | stream[1] << 8, 32767);
    EXPECT_EQ(stream[2 + 32767] | stream[3 + 32767] << 8, 32767);
    EXPECT_EQ(stream[4 + 2 * 32767] | stream[5 + 2 * 32767] << 8, 4466);
    bitmapFreeSpecial(record);
    bitmapFree(src);
    // A 16-bit overlay transparent but for the last pixel of its second
    // row: a skip of (40000 + 39999) pixels = 159998 bytes, in four
    // skips of 32768 bytes and one of 28926.
    Scene scene;
    ASSERT_TRUE(bitmapAlloc(&src, PIXEL_PAL8_KEY, 40000, 2, 0));
    std::memset(src->pixels, 0, size_t(3) * src->rowBytes);
    src->pixels[src->rowBytes + 39999] = 8;
    dst = layout(PIXEL_ARGB1555, 40000, 2, 80000);
    record = bitmapCreateSpecial(src, &dst, 0, 0);
    std::vector<uint8_t> expected;
    for (int k = 0; k < 4; ++k)
        pushWord(expected, -32768);
    pushWord(expected, -28926);
    pushWord(expected, 1);
    pushWord(expected, screenPalette555[8]);
    pushWord(expected, 0);
    pushWord(expected, 0);
    EXPECT_EQ(streamOf(record), expected);
    bitmapFreeSpecial(record);
    bitmapFree(src);
}

// For any source and position, drawing the record gives the destination
// that the keyed copy of the same source gives, and leaves every byte
// outside the destination's pixels alone. Sources are narrower, as wide
// as and wider than the destination, with non-zero row padding.
TEST(SpecialBitmap, DrawingEqualsTheKeyedCopy) {
    Scene scene;
    Rng rng(8);
    for (int round = 0; round < 1500; ++round) {
        swtest::RoutineChoice routines(round % 2);
        uint8_t type = std::vector<uint8_t>{PIXEL_PAL8, PIXEL_RGB565, PIXEL_ARGB1555}[round % 3];
        int dw = rng.range(1, 40), dh = rng.range(1, 12);
        int sw = rng.range(0, 3) == 0 ? dw : rng.range(1, 48), sh = rng.range(1, 14);
        bitmap_tag* src = swtest::randomBitmap(PIXEL_PAL8_KEY, sw, sh, rng.next());
        int density = rng.range(0, 4);
        for (int j = 0; j < sh; ++j)
            for (int i = 0; i < sw; ++i)
                if (rng.range(0, 4) >= density) src->pixels[j * src->rowBytes + i] = 0;
        bitmap_tag* a = swtest::randomBitmap(type, dw, dh, 5);
        bitmap_tag* b = swtest::randomBitmap(type, dw, dh, 5);
        int x = rng.range(-sw - 1, dw + 1), y = rng.range(-sh - 1, dh + 1);
        if (round % 4 == 0) x = y = 0;
        uint8_t* record = bitmapCreateSpecial(src, a, x, y);
        ASSERT_NE(record, nullptr);
        bitmapDrawSpecial(a, record);
        bitmapCopy(b, x, y, src);
        ASSERT_EQ(buffer(a), buffer(b)) << "type " << int(type) << " src " << sw << "x" << sh
                                        << " dst " << dw << "x" << dh << " at " << x << "," << y;
        bitmapFreeSpecial(record);
        bitmapFree(src);
        bitmapFree(a);
        bitmapFree(b);
    }
}

TEST(SpecialBitmap, FullScreenOverlayDrawsLikeTheKeyedCopy) {
    Scene scene;
    swtest::RoutineChoice routines(false);
    bitmap_tag* src = swtest::randomBitmap(PIXEL_PAL8_KEY, 1024, 768, 3);
    for (int j = 0; j < 768; ++j)
        for (int i = 0; i < 1024; ++i)
            if ((i / 200 + j / 150) % 2 == 0 || (i * 7 + j) % 11 == 0)
                src->pixels[j * src->rowBytes + i] = 0;
    bitmap_tag* a = swtest::randomBitmap(PIXEL_RGB565, 1024, 768, 4);
    bitmap_tag* b = swtest::randomBitmap(PIXEL_RGB565, 1024, 768, 4);
    uint8_t* record = bitmapCreateSpecial(src, a, 0, 0);
    bitmapDrawSpecial(a, record);
    bitmapCopy(b, 0, 0, src);
    EXPECT_EQ(buffer(a), buffer(b));
    bitmapFreeSpecial(record);
    for (bitmap_tag* bm : {src, a, b})
        bitmapFree(bm);
}

TEST(SpecialBitmap, PaletteChangesDoNotReachABuiltRecord) {
    uint32_t palette[256] = {};
    palette[5] = 0xFFFF0000;
    paletteSetCurrent(palette, 0, 256);
    bitmap_tag* src = sourceRows(1, {{5}});
    bitmap_tag* dst = swtest::randomBitmap(PIXEL_RGB565, 1, 1, 1);
    uint8_t* record = bitmapCreateSpecial(src, dst, 0, 0);
    palette[5] = 0xFF0000FF;
    paletteSetCurrent(palette, 0, 256);
    bitmapDrawSpecial(dst, record);
    EXPECT_EQ(dst->pixels[0] | dst->pixels[1] << 8, 0xF800);
    bitmapFreeSpecial(record);
    bitmapFree(src);
    bitmapFree(dst);
    paletteCurrent = nullptr;
}

// Every refusal prints exactly its one line, returns no record and draws
// nothing.
TEST(SpecialBitmap, EveryRefusalPrintsItsLine) {
    bitmap_tag* src = sourceRows(2, {{1, 2}});
    bitmap_tag* dst = swtest::randomBitmap(PIXEL_PAL8, 8, 4, 2);
    bitmap_tag* wide = swtest::randomBitmap(PIXEL_RGB565, 2, 2, 1);
    uint8_t* record = bitmapCreateSpecial(src, dst, 1, 1);
    ASSERT_NE(record, nullptr);
    const std::vector<uint8_t> before = buffer(dst);
    const std::string unsupported = "Unsupported destination bitmap type in bitmapCreateSpecial\n",
                      badDestination = "Bad destination bitmap in bitmapCreateSpecial\n",
                      badSource = "Bad source bitmap in bitmapCreateSpecial\n",
                      noFit = "Special bitmap does not fit the destination in bmDrawSpecial\n";
    struct Case {
        bitmap_tag shape;
        bitmap_tag* source;
        std::string message;
    };
    std::vector<Case> creations;
    for (uint8_t type : {0, 1, 3, 6, 7, 8, 9, 10, 11})
        creations.push_back({layout(type, 4, 4, 16), src, unsupported});
    creations.push_back({layout(PIXEL_RGB565, 4, 4, 9), src, badDestination}); // odd rowBytes
    creations.push_back({layout(PIXEL_PAL8, 4, 4, 3), src, badDestination});   // short rows
    creations.push_back({layout(PIXEL_PAL8, 4, 4, -3), src, badDestination});
    creations.push_back({layout(PIXEL_PAL8, 4, -1, 4), src, badDestination});
    creations.push_back({layout(PIXEL_PAL8, 0x10000, 0x10000, 0x10000), src, badDestination});
    creations.push_back({layout(PIXEL_PAL8, 4, 4, 4), nullptr, badSource});
    creations.push_back({layout(PIXEL_PAL8, 4, 4, 4), wide, badSource});
    for (Case& c : creations) {
        MessageCapture messages;
        EXPECT_EQ(bitmapCreateSpecial(c.source, &c.shape, 0, 0), nullptr);
        EXPECT_EQ(messages.debug(), std::vector<std::string>{c.message})
            << "type " << int(c.shape.pixelType) << " rowBytes " << c.shape.rowBytes;
    }
    {
        MessageCapture messages;
        EXPECT_EQ(bitmapCreateSpecial(src, nullptr, 0, 0), nullptr);
        EXPECT_EQ(messages.debug(), std::vector<std::string>{badDestination});
    }
    for (int change = 0; change < 5; ++change) {
        bitmap_tag other = *dst;
        if (change == 0) other.width = 7;
        if (change == 1) other.height = 3;
        if (change == 2) other.rowBytes = 12;
        if (change == 3) other.rowBytes = -8;
        if (change == 4) other.pixelType = PIXEL_PAL8_KEY;
        MessageCapture messages;
        bitmapDrawSpecial(&other, record);
        EXPECT_EQ(messages.debug(), std::vector<std::string>{noFit}) << change;
    }
    record[4] = 9;
    {
        MessageCapture messages;
        bitmapDrawSpecial(dst, record);
        EXPECT_EQ(messages.debug(), std::vector<std::string>{"Bad source type in bmDrawSpecial\n"});
    }
    EXPECT_EQ(before, buffer(dst));
    bitmapFreeSpecial(record);
    bitmapFreeSpecial(nullptr);
    bitmapDrawSpecial(dst, nullptr);
    bitmapDrawSpecial(nullptr, nullptr);
    for (bitmap_tag* bm : {src, dst, wide})
        bitmapFree(bm);
}

// A record whose stream runs past the destination (here: forged to claim
// a larger run than the pixels hold) stops at the edge of the pixel
// memory; the destination's buffer is exactly its pixels, so the
// sanitizer build catches any stray write.
TEST(SpecialBitmap, DamagedRecordsStayInsideTheDestination) {
    bitmap_tag* src = sourceRows(4, {{1, 2, 3, 4}, {5, 6, 7, 8}});
    std::vector<uint8_t> pixels(4 * 2, 0xEE);
    bitmap_tag dst{PIXEL_PAL8, 4, 2, 4, nullptr, pixels.data()};
    uint8_t* record = bitmapCreateSpecial(src, &dst, 0, 0);
    ASSERT_NE(record, nullptr);
    bitmapDrawSpecial(&dst, record);
    EXPECT_EQ(pixels, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    // The run word (8 pixels) claims 20; the length field claims more too.
    record[headerBytes] = 20;
    record[18] = 200;
    std::fill(pixels.begin(), pixels.end(), 0xEE);
    bitmapDrawSpecial(&dst, record);
    EXPECT_EQ(pixels, std::vector<uint8_t>(8, 0xEE)) << "a run past the end is not drawn";
    bitmapFreeSpecial(record);
    bitmapFree(src);
}

TEST(SpecialBitmap, NothingLeftAllocatedWhenMemoryRunsOut) {
    bitmap_tag* src = sourceRows(3, {{0, 1, 2}, {3, 0, 4}});
    bitmap_tag dst = layout(PIXEL_PAL8, 3, 2, 4);
    MessageCapture messages;
    int allocations = swtest::expectCleanOnEveryAllocationFailure([&] {
        uint8_t* record = bitmapCreateSpecial(src, &dst, 0, 0);
        if (memFailureHit()) {
            EXPECT_EQ(record, nullptr);
        }
        bitmapFreeSpecial(record);
    });
    EXPECT_EQ(allocations, 1);
    EXPECT_TRUE(messages.sawDebug("Mem alloc failed in bmSpecial create\n"));
    bitmapFree(src);
}

} // namespace
