// Mip files: round trips, the OMT variant, old-style mips, and every
// message of the mip module.
#include "../imagefile/filetest.h"
#include "mip/mip.h"

using namespace swtest;

namespace {

Bytes mphd(uint8_t type, uint32_t logW, uint32_t logH, uint32_t levels, uint32_t color = 0) {
    Bytes b{type};
    for (uint32_t v : {logW, logH, color})
        putLe32(b, v);
    b.push_back(0);
    putLe32(b, levels);
    return b;
}

// A native "BMAP" of a w x h level, its pixels 0.
Bytes levelBmap(uint8_t type, uint32_t w, uint32_t h) {
    uint32_t rowBytes = (w * uint32_t(bytesPerPixel(type)) + 3) & ~3u;
    uint32_t data = isIndexed4(type) ? rowBytes * h / 2 : rowBytes * h;
    return container("BMAP",
                     {chunk("BMHD", bmhd(type, w, h, rowBytes)), chunk("DATA", Bytes(data))});
}

// An old-style mip of a w x h texture with `levels` levels, `total` off by
// `totalDelta`; level i's bytes are i + 1 then counting.
Bytes oldStyle(uint32_t w, uint32_t h, uint32_t levels, int64_t totalDelta) {
    Bytes block;
    for (uint32_t v : {0u, w, h, levels, 77u})
        putLe32(block, v);
    Bytes pixels, table;
    for (uint32_t i = 0, lw = w, lh = h; i < levels; ++i, lw /= 2, lh /= 2) {
        for (uint32_t v : {0u, 0u, lw && lh ? 20 + 12 * levels + uint32_t(pixels.size()) : 0})
            putLe32(table, v);
        for (uint32_t k = 0; k < lw * lh; ++k)
            pixels.push_back(uint8_t(i + 1 + k));
    }
    append(block, table);
    append(block, pixels);
    int64_t total = int64_t(block.size()) + totalDelta;
    if (total > int64_t(block.size())) block.resize(size_t(total), 0);
    Bytes file;
    putLe32(file, uint32_t(total));
    append(file, block);
    return file;
}

// Loads `file` with each allocation failing in turn: nothing is left
// behind and a failed load hands out null. Returns the allocations made.
int loadsCleanly(const Bytes& file) {
    return expectCleanOnEveryAllocationFailure(
        [&] { tryMake(mipLoad, mipUnload, BytesFile(file)); });
}

} // namespace

// Every type's chain written and loaded back, and every allocation of
// either failing cleanly.
TEST(MipFile, WriteAndLoadRoundTripWithExtraChunks) {
    MessageCapture messages;
    // The OMT variant's type codes; 0xFF has none.
    const uint8_t omtCodes[] = {PIXEL_CMAP4,    PIXEL_CMAP4_KEY, 0xFF,         PIXEL_RGB565,
                                PIXEL_ARGB1555, PIXEL_ARGB4444,  PIXEL_RGB888, PIXEL_ARGB8888};
    for (uint8_t type : {PIXEL_CMAP4, PIXEL_CMAP4_KEY, PIXEL_PAL8, PIXEL_RGB565, PIXEL_ARGB1555,
                         PIXEL_ARGB4444, PIXEL_RGB888, PIXEL_ARGB8888}) {
        SCOPED_TRACE(int(type));
        MipHolder made{mipAllocChain(type, 5, 4, 2, "test")}, back;
        made.mip->color = 123;
        Rng rng(type);
        for (const bitmap_tag& level : {made.mip->level[0], made.mip->level[1]})
            for (int64_t k = 0; k < int64_t(level.rowBytes) * level.height; ++k)
                level.pixels[k] = uint8_t(rng.next() & (isIndexed4(type) ? 15 : 255));
        if (isIndexed4(type)) {
            uint8_t* colormap; // the record's field is not aligned
            ASSERT_EQ(colormapAlloc(&colormap), 1);
            for (int i = 0; i < 16; ++i)
                colormap[i] = uint8_t(rng.next());
            made.mip->colormap = colormap;
        }
        auto extra = [](file_tag* f, uint32_t user) {
            uint8_t payload[4];
            storeLe32(payload, user);
            return brixWriteChunk(f, VESK_ID('X', 'T', 'R', 'A'), 0, 4, payload);
        };
        Bytes file = written([&](file_tag* f) { return mipWrite(f, made.mip, extra, 0xCAFE); });
        EXPECT_EQ(Bytes(file.end() - 16, file.end()), chunk("XTRA", {0xFE, 0xCA, 0, 0}))
            << "the callback's chunk closes the container";
        ASSERT_EQ(mipLoad(&back.mip, BytesFile(file)), 1);
        EXPECT_EQ(loadsCleanly(file), 3 + isIndexed4(type)); // record, levels, colormap
        TempDir dir;
        expectCleanOnEveryAllocationFailure(
            [&] { mipWrite(OpenFile(dir.file("w.mip"), 'w'), made.mip, nullptr, 0); });
        EXPECT_EQ(std::memcmp(back.mip, made.mip, 13), 0) << "sizes, colour and flag";
        EXPECT_EQ(+back.mip->levels, +made.mip->levels);
        for (uint32_t i = 0; i < back.mip->levels; ++i) {
            EXPECT_EQ(+back.mip->level[i].pixelType, type);
            EXPECT_EQ(visiblePixels(&back.mip->level[i]), visiblePixels(&made.mip->level[i]));
        }
        // The same file as the OMT variant: its container id and type code.
        const auto omt = std::find(std::begin(omtCodes), std::end(omtCodes), type) - omtCodes;
        std::memcpy(file.data(), " MIP", 4);
        file[24] = uint8_t(omt);
        MipHolder viaOmt;
        ASSERT_EQ(mipLoad(&viaOmt.mip, BytesFile(file)), omt < 8);
        for (uint32_t i = 0; omt < 8 && i < back.mip->levels; ++i)
            EXPECT_EQ(std::memcmp(&viaOmt.mip->level[i], &back.mip->level[i], 13), 0)
                << "level " << i;
        EXPECT_EQ(back.mip->colormap ? Bytes(back.mip->colormap, back.mip->colormap + 16) : Bytes(),
                  made.mip->colormap ? Bytes(made.mip->colormap, made.mip->colormap + 16)
                                     : Bytes());
    }
    expectSaid(messages,
               {"memAlloc() failed in readMPHD()\n", "colormapAlloc() failed in readCMAP()\n"});
}

// 64 x 64 with 7 levels holds S = 5461 pixels: the total lies in 5565 ..
// 9661. A 5 x 3 texture's levels are 8 x 4 and 4 x 2, the rest colour 0;
// its load fails cleanly at every allocation.
TEST(MipFile, OldStyleSizeBoundsAndContents) {
    for (int64_t delta : {0, -1, 4096, 4097}) {
        MessageCapture messages;
        MipHolder m;
        bool ok = delta == 0 || delta == 4096;
        ASSERT_EQ(mipLoad(&m.mip, BytesFile(oldStyle(64, 64, 7, delta))), ok) << delta;
        if (!ok) {
            expectSaid(messages, {"MIP size/header invalid in oldstyle_mipGet()\n"});
            continue;
        }
        ASSERT_EQ(+m.mip->levels, 7u);
        EXPECT_EQ(m.mip->flag * 1000 + m.mip->color, 1077u);
        for (uint32_t i = 0; i < 7; ++i) {
            Bytes expected(size_t(64 >> i) * (64 >> i));
            for (size_t k = 0; k < expected.size(); ++k)
                expected[k] = uint8_t(i + 1 + k);
            EXPECT_EQ(+m.mip->level[i].pixelType, PIXEL_PAL8);
            EXPECT_EQ(visiblePixels(&m.mip->level[i]), expected) << i;
        }
    }
    MessageCapture messages;
    MipHolder m;
    ASSERT_EQ(mipLoad(&m.mip, BytesFile(oldStyle(5, 3, 2, 0))), 1);
    EXPECT_EQ(loadsCleanly(oldStyle(5, 3, 2, 0)), 4); // block, record, 2 levels
    expectSaid(messages, {"memAllocHi() failed in oldstyle_mipGet()\n",
                          "memAlloc() failed in oldstyle_mip2mip()\n"});
    ASSERT_EQ(+m.mip->levels, 2u);
    EXPECT_EQ(visiblePixels(&m.mip->level[0]),
              (Bytes{1,  2,  3,  4,  5,  0, 0, 0, 6, 7, 8, 9, 10, 0, 0, 0,
                     11, 12, 13, 14, 15, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0}));
    EXPECT_EQ(visiblePixels(&m.mip->level[1]), (Bytes{2, 3, 0, 0, 0, 0, 0, 0}));
}

// Every message of the mip module: one row per call that fails.
TEST(MipFile, Messages) {
    const Bytes head = chunk("MPHD", mphd(PIXEL_PAL8, 2, 2, 2));
    Bytes outside = oldStyle(8, 8, 1, 0), truncated = outside;
    outside[4 + 20 + 8] = 0xF0; // level 0's offset far past the block
    truncated.pop_back();
    auto load = [](Bytes bytes) {
        return [bytes] { return tryMake(mipLoad, mipUnload, BytesFile(bytes)); };
    };
    auto mip = [&](const std::vector<Bytes>& chunks) { return load(container("MIP ", chunks)); };
    auto header = [&](uint8_t type, uint32_t logW, uint32_t logH, uint32_t levels) {
        return mip({chunk("MPHD", mphd(type, logW, logH, levels))});
    };
    Owned src{randomBitmapWithMap(PIXEL_PAL8, 4096, 8, 1)};
    bitmap_tag narrow = *src, shortRows = *src, square = *src;
    narrow.width = 4, square.width = 8;
    shortRows.width = 64, shortRows.rowBytes = 60;
    MipHolder chain;
    ASSERT_EQ(mipCreate(&chain.mip, &square, 1, 0), 1);
    TempDir dir;
    BytesFile readOnly({});
    auto failing = [](file_tag*, uint32_t) -> uint8_t { return 0; };
    auto create = [](bitmap_tag* bm) {
        return [bm] { return tryMake(mipCreate, mipFree, bm, 3, 0); };
    };
    const struct {
        std::function<bool()> call;
        const char* message;
    } cases[] = {
        {header(2, 3, 3, 5), "Width/Height <= 0 in readMPHD()\n"},
        {load(container(" MIP", {chunk("MPHD", mphd(2, 2, 2, 1))})),
         "unsupported OMT mip type in readMPHD()\n"},
        {mip({levelBmap(2, 4, 4), head}), "BMAP chunk before MPHD\n"},
        {mip({chunk("CMAP", Bytes(64)), head}), "CMAP chunk before MPHD\n"},
        {mip({head, levelBmap(2, 4, 4), levelBmap(2, 2, 2), levelBmap(2, 2, 2)}),
         "More BMAPs than levels in MIP\n"},
        {mip({}), "Required MPHD chunk not read\n"},
        {mip({chunk("MPHD", Bytes(17))}), "Invalid MPHD size in readMPHD()\n"},
        {mip({head, head}), "More than one MPHD chunk in readMPHD()\n"},
        {mip({head, levelBmap(2, 2, 2)}), "BMHD doesn't match the bitmap in readBMHD()\n"},
        {mip({head, levelBmap(3, 4, 4)}), "bitmapRead() failed in readBMAP\n"},
        {mip({head, chunk("CMAP", Bytes(16))}), "colormapRead() failed in readCMAP()\n"},
        {header(2, 16, 2, 1), "Invalid image size 65536 x 4 in readMPHD()\n"},
        {header(9, 12, 12, 1), "MPHD describes more data than the file holds in readMPHD()\n"},
        {header(2, 2, 2, 0), "No levels in readMPHD()\n"},
        {header(11, 2, 2, 1), "Invalid pixel type 11 in readMPHD()\n"},
        {load({'M', 'I', 'P', ' ', 0, 0, 0, 0, 100, 0, 0, 0}),
         "brixParseContainer() failed in mipLoad()\n"},
        {load({1, 2}), "brixPeekChunkHeader() failed in mipLoad()\n"},
        {load(outside), "Old-style mip level 0 outside the block in oldstyle_mip2mip()\n"},
        {load(oldStyle(4096, 1, 1, 0)), "Invalid old-style mip header in oldstyle_mip2mip()\n"},
        {load(truncated), "MIP block runs past the end of the file in oldstyle_mipGet()\n"},
        {load(Bytes(16, 1)), "libfileReadExact() failed in oldstyle_mipGet()\n"},
        {load(oldStyle(8, 8, 1, -1)), "oldstyle_mipGet() failed in mipLoad()\n"},
        {create(&narrow), "Source too small for a mip level in mipCreate()\n"},
        {create(src), "Source larger than 2048 pixels in mipCreate()\n"},
        {create(&shortRows), "Invalid source bitmap in mipCreate()\n"},
        {create(nullptr), "Invalid source bitmap in mipCreate()\n"},
        {[&] { return mipWrite(readOnly.file, chain.mip, nullptr, 0); },
         "brixStartChunk() failed in mipWrite()\n"},
        {[&] { return mipWrite(OpenFile(dir.file("w"), 'w'), chain.mip, failing, 0); },
         "Extra Function failed in mipWrite()\n"},
    };
    for (const auto& c : cases)
        expectFailure(c.call, c.message);
}
