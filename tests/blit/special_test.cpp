// Special bitmaps: records byte for byte, splitting of long runs and
// skips, drawing equal to the keyed copy of the same source, refusals,
// allocation failures and damaged records.
#include "bitmap/bitmap.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using swtest::bufferOf;
using swtest::MessageCapture;
using swtest::Rng;

namespace {

constexpr size_t headerBytes = 22;

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

std::vector<uint8_t> streamOf(const uint8_t* record) {
    return std::vector<uint8_t>(record + headerBytes, record + headerBytes + le32(record + 18));
}

void pushWord(std::vector<uint8_t>& v, int w) {
    v.push_back(uint8_t(w));
    v.push_back(uint8_t(uint16_t(w) >> 8));
}

// The stream bytes of `commands`: words, each run word n followed by its
// n source indexes, stored as bytes or as the 16-bit pixels of `table`.
std::vector<uint8_t> streamBytes(const std::vector<int>& commands, const uint16_t* table) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < commands.size();) {
        int n = commands[i++];
        pushWord(out, n);
        for (int k = 0; k < n; ++k, ++i) {
            if (table)
                pushWord(out, table[commands[i]]);
            else
                out.push_back(uint8_t(commands[i]));
        }
    }
    return out;
}

// A template record: no pixels needed.
bitmap_tag layout(uint8_t type, int w, int h, int rowBytes) {
    return bitmap_tag{type, w, h, rowBytes, nullptr, nullptr};
}

// A keyed source with the given rows; its row padding is 0xAA, not 0.
bitmap_tag* sourceRows(int width, const std::vector<std::vector<uint8_t>>& rows) {
    bitmap_tag* bm = swtest::filledBitmap(PIXEL_PAL8_KEY, width, int(rows.size()), 0xAA);
    for (size_t j = 0; j < rows.size(); ++j)
        std::memcpy(bm->pixels + j * bm->rowBytes, rows[j].data(), size_t(width));
    return bm;
}

TEST(SpecialBitmap, RecordsByteForByte) {
    swtest::DrawScene scene(77);
    const std::vector<std::vector<uint8_t>> row = {{0, 0, 5, 6, 0, 0, 0, 7}};
    using Commands = std::vector<int>;
    struct Case {
        const char* name;
        std::vector<std::vector<uint8_t>> rows;
        bitmap_tag dst;
        int x, y;
        int32_t offset;
        Commands commands;
    };
    const std::vector<std::vector<uint8_t>> gap = {{1, 0, 0, 0, 0, 0, 0, 0},
                                                   {0, 0, 2, 3, 0, 0, 0, 9}};
    const std::vector<std::vector<uint8_t>> two = {{0, 4, 5}, {6, 0, 0}};
    const Case cases[] = {
        Case{"8-bit", row, layout(PIXEL_PAL8, 8, 3, 8), 0, 0, 0,
             Commands{-2, 2, 5, 6, -3, 1, 7, 0, 0}},
        Case{"5:6:5, skips in bytes", row, layout(PIXEL_RGB565, 8, 2, 16), 0, 1, 16,
             Commands{-4, 2, 5, 6, -6, 1, 7, 0, 0}},
        Case{"5:5:5", row, layout(PIXEL_ARGB1555, 8, 2, 16), 0, 1, 16,
             Commands{-4, 2, 5, 6, -6, 1, 7, 0, 0}},
        // Row gap 4: a row transparent to its end and a row starting
        // transparent give one skip of 7 + 4 + 2 bytes.
        Case{"row gap", gap, layout(PIXEL_PAL8, 8, 2, 12), 0, 0, 0,
             Commands{1, 1, -13, 2, 2, 3, -3, 1, 9, 0, 0}},
        // Without a row gap a run goes on into the next row, its pixels read
        // row by row (the source's padding never shows up).
        Case{"run across rows", two, layout(PIXEL_PAL8, 3, 2, 3), 0, 0, 0,
             Commands{-1, 3, 4, 5, 6, 0, 0}},
        // Bottom-up: the stream starts at the row lowest in memory (row 1,
        // 3 bytes below pixels) and moves up.
        Case{"bottom-up", two, layout(PIXEL_PAL8, 3, 2, -3), 0, 0, -3,
             Commands{1, 6, -3, 2, 4, 5, 0, 0}},
        Case{"bottom-up placed", two, layout(PIXEL_RGB565, 4, 3, -8), 1, 0, -6,
             Commands{1, 6, -8, 2, 4, 5, 0, 0}},
    };
    for (const Case& c : cases) {
        swtest::Owned src = sourceRows(int(c.rows[0].size()), c.rows);
        bitmap_tag dst = c.dst;
        uint8_t* record = bitmapCreateSpecial(src, &dst, c.x, c.y);
        ASSERT_NE(record, nullptr) << c.name;
        using Words = std::vector<int64_t>;
        EXPECT_EQ(
            (Words{int32_t(le32(record)), record[4] | record[5] << 8, int32_t(le32(record + 6)),
                   int32_t(le32(record + 10)), int32_t(le32(record + 14))}),
            (Words{c.offset, dst.pixelType | 1 << 8, dst.width, dst.height, dst.rowBytes}))
            << c.name;
        EXPECT_EQ(streamOf(record), streamBytes(c.commands, screenTableOf(dst.pixelType)))
            << c.name;
        bitmapFreeSpecial(record);
    }
}

TEST(SpecialBitmap, LongRunsAndSkipsAreSplit) {
    swtest::DrawScene scene(77);
    // One row of 70000 opaque pixels: runs of 32767, 32767 and 4466.
    swtest::Owned src = swtest::filledBitmap(PIXEL_PAL8_KEY, 70000, 1, 3);
    bitmap_tag dst = layout(PIXEL_PAL8, 70000, 1, 70000);
    uint8_t* record = bitmapCreateSpecial(src, &dst, 0, 0);
    std::vector<uint8_t> stream = streamOf(record);
    ASSERT_EQ(stream.size(), 3 * 2 + 70000 + 4u);
    EXPECT_EQ(stream[0] | stream[1] << 8, 32767);
    EXPECT_EQ(stream[2 + 32767] | stream[3 + 32767] << 8, 32767);
    EXPECT_EQ(stream[4 + 2 * 32767] | stream[5 + 2 * 32767] << 8, 4466);
    bitmapFreeSpecial(record);
    // A 16-bit overlay transparent but for the last pixel of its second
    // row: a skip of (40000 + 39999) pixels = 159998 bytes, in four skips
    // of 32768 bytes and one of 28926.
    swtest::Owned overlay = swtest::filledBitmap(PIXEL_PAL8_KEY, 40000, 2, 0);
    overlay->pixels[overlay->rowBytes + 39999] = 8;
    dst = layout(PIXEL_ARGB1555, 40000, 2, 80000);
    record = bitmapCreateSpecial(overlay, &dst, 0, 0);
    EXPECT_EQ(streamOf(record),
              streamBytes({-32768, -32768, -32768, -32768, -28926, 1, 8, 0, 0}, screenPalette555));
    bitmapFreeSpecial(record);
}

// For any source and position, drawing the record gives the destination
// that the keyed copy of the same source gives, and leaves every byte
// outside the destination's pixels alone. Sources are narrower, as wide
// as and wider than the destination, with non-zero row padding; the plain
// and the fast players take turns.
TEST(SpecialBitmap, DrawingEqualsTheKeyedCopy) {
    swtest::DrawScene scene(77);
    Rng rng(8);
    for (int round = 0; round < 1502; ++round) {
        swtest::RoutineChoice routines(round % 2);
        const uint8_t types[] = {PIXEL_PAL8, PIXEL_RGB565, PIXEL_ARGB1555};
        uint8_t type = types[round % 3];
        const bool overlay = round >= 1500; // full screen, large skips
        int dw = overlay ? 1024 : rng.range(1, 40), dh = overlay ? 768 : rng.range(1, 12);
        int sw = overlay || rng.range(0, 3) == 0 ? dw : rng.range(1, 48);
        int sh = overlay ? dh : rng.range(1, 14);
        swtest::Owned src = swtest::randomBitmap(PIXEL_PAL8_KEY, sw, sh, rng.next());
        int density = rng.range(0, 4);
        for (int j = 0; j < sh; ++j)
            for (int i = 0; i < sw; ++i)
                if (overlay ? (i / 200 + j / 150) % 2 == 0 || (i * 7 + j) % 11 == 0
                            : rng.range(0, 4) >= density)
                    src->pixels[j * src->rowBytes + i] = 0;
        swtest::Owned a = swtest::randomBitmap(type, dw, dh, 5);
        swtest::Owned b = swtest::randomBitmap(type, dw, dh, 5);
        int x = rng.range(-sw - 1, dw + 1), y = rng.range(-sh - 1, dh + 1);
        if (round % 4 == 0 || overlay) x = y = 0;
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

TEST(SpecialBitmap, PaletteChangesDoNotReachABuiltRecord) {
    swtest::SelectionGuard guard;
    uint32_t palette[256] = {};
    palette[5] = 0xFFFF0000;
    paletteSetCurrent(palette, 0, 256);
    swtest::Owned src = sourceRows(1, {{5}});
    swtest::Owned dst = swtest::randomBitmap(PIXEL_RGB565, 1, 1, 1);
    uint8_t* record = bitmapCreateSpecial(src, dst, 0, 0);
    palette[5] = 0xFF0000FF;
    paletteSetCurrent(palette, 0, 256);
    bitmapDrawSpecial(dst, record);
    EXPECT_EQ(swtest::pixelAt(dst, 0, 0), 0xF800u);
    bitmapFreeSpecial(record);
}

// Every refusal prints exactly its one line, returns no record and draws
// nothing.
TEST(SpecialBitmap, EveryRefusalPrintsItsLine) {
    swtest::Owned src = sourceRows(2, {{1, 2}});
    swtest::Owned dst = swtest::randomBitmap(PIXEL_PAL8, 8, 4, 2);
    swtest::Owned wide = swtest::randomBitmap(PIXEL_RGB565, 2, 2, 1);
    uint8_t* record = bitmapCreateSpecial(src, dst, 1, 1);
    ASSERT_NE(record, nullptr);
    const std::vector<uint8_t> before = bufferOf(dst);
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
    swtest::Owned src = sourceRows(4, {{1, 2, 3, 4}, {5, 6, 7, 8}});
    for (int rowBytes : {4, -4}) {
        std::vector<uint8_t> pixels(4 * 2, 0xEE);
        bitmap_tag dst{PIXEL_PAL8, 4, 2, rowBytes, nullptr, pixels.data() + (rowBytes < 0 ? 4 : 0)};
        uint8_t* record = bitmapCreateSpecial(src, &dst, 0, 0);
        ASSERT_NE(record, nullptr);
        bitmapDrawSpecial(&dst, record);
        const std::vector<uint8_t> drawn = rowBytes > 0
                                               ? std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}
                                               : std::vector<uint8_t>{5, 6, 7, 8, 1, 2, 3, 4};
        EXPECT_EQ(pixels, drawn);
        std::vector<uint8_t> damaged(record, record + headerBytes + le32(record + 18));
        damaged[headerBytes] = 20; // the run of 8 pixels claims 20
        damaged[18] = 200;         // and the length field more bytes than there are
        damaged.resize(headerBytes + 200, 0);
        std::fill(pixels.begin(), pixels.end(), 0xEE);
        bitmapDrawSpecial(&dst, damaged.data());
        std::vector<uint8_t> forged(record, record + headerBytes + le32(record + 18));
        const int32_t below = rowBytes > 0 ? -1 : -5;
        std::memcpy(forged.data(), &below, 4); // starts before the lowest row
        bitmapDrawSpecial(&dst, forged.data());
        EXPECT_EQ(pixels, std::vector<uint8_t>(8, 0xEE)) << "nothing drawn " << rowBytes;
        bitmapFreeSpecial(record);
    }
}

TEST(SpecialBitmap, NothingLeftAllocatedWhenMemoryRunsOut) {
    swtest::Owned src = sourceRows(3, {{0, 1, 2}, {3, 0, 4}});
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
}

} // namespace
