// Special bitmaps: records byte for byte (long runs and skips split),
// drawing equal to the keyed copy of the same source, refusals,
// allocation failures and damaged records.
#include "bitmap/bitmap.h"
#include "host/byteorder.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using swtest::bufferOf;
using swtest::shape;

namespace {

constexpr size_t headerBytes = 22;

// The stream bytes of `commands`: words, each run word n followed by its
// n source indexes, stored as bytes or as the 16-bit pixels of `table`.
std::vector<uint8_t> streamBytes(const std::vector<int>& commands, const uint16_t* table) {
    std::vector<uint8_t> out;
    auto word = [&out](int w) { out.insert(out.end(), {uint8_t(w), uint8_t(uint16_t(w) >> 8)}); };
    for (size_t i = 0; i < commands.size();) {
        int n = commands[i++];
        word(n);
        for (int k = 0; k < n; ++k, ++i)
            if (table)
                word(table[commands[i]]);
            else
                out.push_back(uint8_t(commands[i]));
    }
    return out;
}

using Rows = std::vector<std::vector<uint8_t>>;

// A keyed source with the given rows; its row padding is 0xAA, not 0.
bitmap_tag* sourceRows(const Rows& rows) {
    const int width = int(rows[0].size());
    bitmap_tag* bm = swtest::filledBitmap(PIXEL_PAL8_KEY, width, int(rows.size()), 0xAA);
    for (size_t j = 0; j < rows.size(); ++j)
        std::memcpy(bm->pixels + j * bm->rowBytes, rows[j].data(), size_t(width));
    return bm;
}

TEST(SpecialBitmap, RecordsByteForByte) {
    swtest::DrawScene scene(77);
    const Rows row = {{0, 0, 5, 6, 0, 0, 0, 7}}, two = {{0, 4, 5}, {6, 0, 0}};
    const Rows gap = {{1, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 2, 3, 0, 0, 0, 9}},
               bottomUp = {{0, 1, 2}, {3, 4, 5}, {0, 0, 6}};
    // One row of 70000 opaque pixels: runs of 32767, 32767 and 4466.
    std::vector<int> longRuns;
    for (int n : {32767, 32767, 4466}) {
        longRuns.push_back(n);
        longRuns.insert(longRuns.end(), size_t(n), 3);
    }
    longRuns.insert(longRuns.end(), {0, 0});
    // Transparent but for the last pixel of the second row.
    Rows overlay(2, std::vector<uint8_t>(40000, 0));
    overlay[1].back() = 8;
    // A skip of (40000 + 39999) pixels = 159998 bytes: four skips of 32768
    // bytes and one of 28926.
    const std::vector<int> longSkip = {-32768, -32768, -32768, -32768, -28926, 1, 8, 0, 0};
    struct Case {
        Rows rows;
        bitmap_tag dst;
        int32_t x, y, offset;
        std::vector<int> commands;
    };
    const Case cases[] = {
        // 5:6:5: pixels from the screen table, skips in bytes.
        {row, shape(PIXEL_RGB565, 8, 2, 16), 0, 1, 16, {-4, 2, 5, 6, -6, 1, 7, 0, 0}},
        // Row gap 4: a row transparent to its end and a row starting
        // transparent give one skip of 7 + 4 + 2 bytes.
        {gap, shape(PIXEL_PAL8, 8, 2, 12), 0, 0, 0, {1, 1, -13, 2, 2, 3, -3, 1, 9, 0, 0}},
        // Without a row gap a run goes on into the next row, its pixels read
        // row by row (the source's padding never shows up).
        {two, shape(PIXEL_PAL8, 3, 2, 3), 0, 0, 0, {-1, 3, 4, 5, 6, 0, 0}},
        // Bottom-up: the stream starts at the row lowest in memory and moves
        // up, runs crossing row ends upward.
        {two, shape(PIXEL_RGB565, 4, 3, -8), 1, 0, -6, {1, 6, -8, 2, 4, 5, 0, 0}},
        {bottomUp, shape(PIXEL_PAL8, 3, 3, -3), 0, 0, -6, {-2, 4, 6, 3, 4, 5, -1, 2, 1, 2, 0, 0}},
        {{std::vector<uint8_t>(70000, 3)}, shape(PIXEL_PAL8, 70000, 1, 70000), 0, 0, 0, longRuns},
        {overlay, shape(PIXEL_ARGB1555, 40000, 2, 80000), 0, 0, 0, longSkip},
    };
    for (const Case& c : cases) {
        swtest::Owned src = sourceRows(c.rows);
        bitmap_tag dst = c.dst;
        uint8_t* record = bitmapCreateSpecial(src, &dst, c.x, c.y);
        ASSERT_NE(record, nullptr) << "case " << &c - cases;
        using Words = std::vector<int64_t>;
        EXPECT_EQ(
            (Words{int32_t(loadLe32(record)), loadLe16(record + 4), int32_t(loadLe32(record + 6)),
                   int32_t(loadLe32(record + 10)), int32_t(loadLe32(record + 14))}),
            (Words{c.offset, dst.pixelType | 1 << 8, dst.width, dst.height, dst.rowBytes}))
            << "case " << &c - cases;
        EXPECT_EQ(std::vector<uint8_t>(record + headerBytes,
                                       record + headerBytes + loadLe32(record + 18)),
                  streamBytes(c.commands, screenTableOf(dst.pixelType)))
            << "case " << &c - cases;
        bitmapFreeSpecial(record);
    }
}

// For any source and position, drawing the record gives the destination
// that the keyed copy of the same source gives, and leaves every byte
// outside the destination's pixels alone. Sources are narrower, as wide
// as and wider than the destination, with non-zero row padding; the plain
// and the fast players take turns.
TEST(SpecialBitmap, DrawingEqualsTheKeyedCopy) {
    swtest::DrawScene scene(77);
    swtest::Rng rng(8);
    for (int round = 0; round < 1500; ++round) {
        swtest::RoutineChoice routines(round % 2);
        const uint8_t types[] = {PIXEL_PAL8, PIXEL_RGB565, PIXEL_ARGB1555};
        uint8_t type = types[round % 3];
        int dw = rng.range(1, 40), dh = rng.range(1, 12);
        int sw = rng.range(0, 3) == 0 ? dw : rng.range(1, 48), sh = rng.range(1, 14);
        swtest::Owned src = swtest::randomBitmap(PIXEL_PAL8_KEY, sw, sh, rng.next());
        int density = rng.range(0, 4);
        for (int j = 0; j < sh; ++j)
            for (int i = 0; i < sw; ++i)
                if (rng.range(0, 4) >= density) src->pixels[j * src->rowBytes + i] = 0;
        swtest::Owned a = swtest::randomBitmap(type, dw, dh, 5);
        swtest::Owned b = swtest::randomBitmap(type, dw, dh, 5);
        int x = rng.range(-sw - 1, dw + 1), y = rng.range(-sh - 1, dh + 1);
        if (round % 4 == 0) x = y = 0;
        uint8_t* record = bitmapCreateSpecial(src, a, x, y);
        ASSERT_NE(record, nullptr);
        bitmapDrawSpecial(a, record);
        bitmapCopy(b, x, y, src);
        ASSERT_EQ(bufferOf(a), bufferOf(b))
            << "type " << int(type) << " src " << sw << "x" << sh << " dst " << dw << "x" << dh
            << " at " << x << "," << y;
        bitmapFreeSpecial(record);
    }
}

// Every refusal prints exactly its one line, returns no record and draws
// nothing.
TEST(SpecialBitmap, EveryRefusalPrintsItsLine) {
    swtest::Owned src = sourceRows({{1, 2}});
    swtest::Owned dst = swtest::randomBitmap(PIXEL_PAL8, 8, 4, 2);
    uint8_t* record = bitmapCreateSpecial(src, dst, 1, 1);
    ASSERT_NE(record, nullptr);
    const std::vector<uint8_t> before = bufferOf(dst);
    const std::string badDestination = "Bad destination bitmap in bitmapCreateSpecial\n",
                      unsupported = "Unsupported destination bitmap type in bitmapCreateSpecial\n";
    swtest::MessageCapture messages;
    for (bitmap_tag bad : {shape(PIXEL_PAL8_KEY, 4, 4, 4), shape(PIXEL_RGB888, 4, 4, 12),
                           shape(PIXEL_PAL8, 4, 4, 3), // rows shorter than the width
                           shape(PIXEL_PAL8, 0x10000, 0x10000, 0x10000)}) // offsets past 32 bits
        EXPECT_EQ(bitmapCreateSpecial(src, &bad, 0, 0), nullptr);
    EXPECT_EQ(bitmapCreateSpecial(src, nullptr, 0, 0), nullptr);
    EXPECT_EQ(bitmapCreateSpecial(nullptr, dst, 0, 0), nullptr);
    bitmap_tag shorter = *dst;
    shorter.height = 3;
    bitmapDrawSpecial(&shorter, record);
    record[4] = 9;
    bitmapDrawSpecial(dst, record);
    EXPECT_EQ(
        messages.debug(),
        (std::vector<std::string>{unsupported, unsupported, badDestination, badDestination,
                                  badDestination, "Bad source bitmap in bitmapCreateSpecial\n",
                                  "Special bitmap does not fit the destination in bmDrawSpecial\n",
                                  "Bad source type in bmDrawSpecial\n"}));
    EXPECT_EQ(before, bufferOf(dst));
    bitmapFreeSpecial(record);
    bitmapFreeSpecial(nullptr);
    bitmapDrawSpecial(dst, nullptr);
    bitmapDrawSpecial(nullptr, nullptr);
}

// A record whose stream runs past the destination (forged to claim a
// larger run than the pixels hold, or to start outside them) stops at the
// edge of the pixel memory; the destination's buffer is exactly its
// pixels, so the sanitizer build catches any stray write.
TEST(SpecialBitmap, DamagedRecordsStayInsideTheDestination) {
    swtest::Owned src = sourceRows({{1, 2, 3, 4}, {5, 6, 7, 8}});
    for (int rowBytes : {4, -4}) {
        std::vector<uint8_t> pixels(4 * 2, 0xEE);
        bitmap_tag dst{PIXEL_PAL8, 4, 2, rowBytes, nullptr, pixels.data() + (rowBytes < 0 ? 4 : 0)};
        uint8_t* record = bitmapCreateSpecial(src, &dst, 0, 0);
        ASSERT_NE(record, nullptr);
        bitmapDrawSpecial(&dst, record);
        EXPECT_EQ(pixels, (rowBytes > 0 ? std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}
                                        : std::vector<uint8_t>{5, 6, 7, 8, 1, 2, 3, 4}));
        std::vector<uint8_t> damaged(record, record + headerBytes + loadLe32(record + 18));
        damaged[headerBytes] = 20; // the run of 8 pixels claims 20
        damaged[18] = 200;         // and the length field more bytes than there are
        damaged.resize(headerBytes + 200, 0);
        std::fill(pixels.begin(), pixels.end(), 0xEE);
        bitmapDrawSpecial(&dst, damaged.data());
        std::vector<uint8_t> forged(record, record + headerBytes + loadLe32(record + 18));
        storeLe32(forged.data(), rowBytes > 0 ? -1 : -5); // starts before the lowest row
        bitmapDrawSpecial(&dst, forged.data());
        EXPECT_EQ(pixels, std::vector<uint8_t>(8, 0xEE)) << "nothing drawn " << rowBytes;
        bitmapFreeSpecial(record);
    }
}

TEST(SpecialBitmap, NothingLeftAllocatedWhenMemoryRunsOut) {
    swtest::Owned src = sourceRows({{0, 1, 2}, {3, 0, 4}});
    bitmap_tag dst = shape(PIXEL_PAL8, 3, 2, 4);
    swtest::MessageCapture messages;
    int allocations = swtest::expectCleanOnEveryAllocationFailure([&] {
        uint8_t* record = bitmapCreateSpecial(src, &dst, 0, 0);
        EXPECT_EQ(record == nullptr, memFailureHit());
        bitmapFreeSpecial(record);
    });
    EXPECT_EQ(allocations, 1);
    EXPECT_TRUE(messages.sawDebug("Mem alloc failed in bmSpecial create\n"));
}

} // namespace
