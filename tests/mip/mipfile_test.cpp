// Mip files: round trips, the OMT variant, old-style mips and every
// refusal of a malformed file.
#include "../imagefile/filetest.h"
#include "mip/mip.h"

using namespace swtest;

namespace {

Bytes mphd(uint8_t type, uint32_t logW, uint32_t logH, uint32_t color, uint8_t flag,
           uint32_t levels) {
    Bytes b{type};
    putLe32(b, logW);
    putLe32(b, logH);
    putLe32(b, color);
    b.push_back(flag);
    putLe32(b, levels);
    return b;
}

// A native "BMAP" of a w x h level whose DATA bytes are all `value`.
Bytes levelBmap(uint8_t type, uint32_t w, uint32_t h, uint8_t value) {
    uint32_t rowBytes = (w * uint32_t(pixelBitDepthLog2(type)) + 3) & ~3u;
    return container("BMAP",
                     {chunk("BMHD", bmhd(type, w, h, rowBytes)),
                      chunk("DATA", Bytes(type <= 1 ? rowBytes * h / 2 : rowBytes * h, value))});
}

uint8_t loadMip(const TempDir& dir, const Bytes& bytes, mip_tag** out) {
    writeFile(dir.file("m.mip"), bytes);
    OpenFile f(dir.file("m.mip"), 'r');
    return mipLoad(out, f);
}

uint8_t extraChunks(file_tag* file, uint32_t user) {
    Bytes payload;
    putLe32(payload, user);
    return brixWriteChunk(file, VESK_ID('X', 'T', 'R', 'A'), 0, 4, payload.data());
}
uint8_t failingExtra(file_tag*, uint32_t) {
    return 0;
}

// An old-style mip of a w x h texture with `levels` levels and `total`
// given; level i's bytes are i + 1 then counting.
Bytes oldStyle(uint32_t w, uint32_t h, uint32_t levels, int64_t totalDelta) {
    Bytes block;
    putLe32(block, 0);
    putLe32(block, w);
    putLe32(block, h);
    putLe32(block, levels);
    putLe32(block, 77);
    Bytes pixels;
    std::vector<uint32_t> offsets;
    uint32_t base = 20 + 12 * levels;
    for (uint32_t i = 0, lw = w, lh = h; i < levels && lw && lh; ++i, lw /= 2, lh /= 2) {
        offsets.push_back(base + uint32_t(pixels.size()));
        for (uint32_t k = 0; k < lw * lh; ++k)
            pixels.push_back(uint8_t(i + 1 + k));
    }
    for (uint32_t i = 0; i < levels; ++i) {
        putLe32(block, 0);
        putLe32(block, 0);
        putLe32(block, i < offsets.size() ? offsets[i] : 0);
    }
    append(block, pixels);
    int64_t total = int64_t(block.size()) + totalDelta;
    if (total > int64_t(block.size())) block.resize(size_t(total), 0);
    Bytes file;
    putLe32(file, uint32_t(total));
    append(file, block);
    return file;
}

} // namespace

TEST(MipFile, WriteAndLoadRoundTripWithExtraChunks) {
    TempDir dir;
    for (uint8_t type : {PIXEL_CMAP4_KEY, PIXEL_PAL8, PIXEL_RGB565, PIXEL_ARGB8888}) {
        SCOPED_TRACE(int(type));
        BitmapHolder src{randomBitmapWithMap(type, 32, 16, type)};
        MipHolder made;
        if (type <= PIXEL_PAL8_KEY) {
            if (type <= PIXEL_CMAP4_KEY)
                for (int i = 0; i < 17 * 32; ++i)
                    src.bm->pixels[i] &= 15;
            ASSERT_EQ(mipCreate(&made.mip, src.bm, 2, 0), 1);
        } else {
            // Direct-colour chains come from files: build one level by hand.
            made.mip = mipRecordAlloc(1);
            made.mip->logWidth = 5, made.mip->logHeight = 4, made.mip->levels = 1;
            made.mip->level[0] = *src.bm;
            made.mip->level[0].map = nullptr;
            made.mip->level[0].pixels =
                static_cast<uint8_t*>(memAlloc(size_t(src.bm->rowBytes) * 16));
            std::memcpy(made.mip->level[0].pixels, src.bm->pixels, size_t(src.bm->rowBytes) * 16);
        }
        made.mip->color = 123;
        if (type <= PIXEL_CMAP4_KEY) {
            uint8_t* colormap;
            colormapAlloc(&colormap);
            made.mip->colormap = colormap;
            for (int i = 0; i < 16; ++i)
                made.mip->colormap[i] = uint8_t(i * 3);
        }
        {
            OpenFile f(dir.file("o.mip"), 'w');
            ASSERT_EQ(mipWrite(f, made.mip, extraChunks, 0xCAFE), 1);
        }
        Bytes file = readFile(dir.file("o.mip"));
        // The callback's chunk closes the container.
        EXPECT_EQ(Bytes(file.end() - 16, file.end()), chunk("XTRA", {0xFE, 0xCA, 0, 0}));
        MipHolder back;
        OpenFile f(dir.file("o.mip"), 'r');
        ASSERT_EQ(mipLoad(&back.mip, f), 1);
        EXPECT_EQ(+back.mip->levels, +made.mip->levels);
        EXPECT_EQ(+back.mip->logWidth, 5u);
        EXPECT_EQ(+back.mip->logHeight, 4u);
        EXPECT_EQ(+back.mip->color, 123u);
        EXPECT_EQ(+back.mip->flag, 0);
        for (uint32_t i = 0; i < back.mip->levels; ++i) {
            EXPECT_EQ(+back.mip->level[i].pixelType, type);
            EXPECT_EQ(+back.mip->level[i].rowBytes, +made.mip->level[i].rowBytes);
            EXPECT_EQ(visiblePixels(&back.mip->level[i]), visiblePixels(&made.mip->level[i]));
        }
        if (type <= PIXEL_CMAP4_KEY) {
            ASSERT_NE(+back.mip->colormap, nullptr);
            EXPECT_EQ(0, std::memcmp(back.mip->colormap, made.mip->colormap, 16));
        } else {
            EXPECT_EQ(+back.mip->colormap, nullptr);
        }
    }
}

TEST(MipFile, OmtTypesMapToLibraryTypes) {
    TempDir dir;
    const struct {
        uint8_t omt, type;
        int32_t rowBytes; // of a 4-pixel-wide level 0
    } cases[] = {{0, PIXEL_CMAP4, 4},    {1, PIXEL_CMAP4_KEY, 4}, {3, PIXEL_RGB565, 8},
                 {4, PIXEL_ARGB1555, 8}, {5, PIXEL_ARGB4444, 8},  {6, PIXEL_RGB888, 16},
                 {7, PIXEL_ARGB8888, 16}};
    for (const auto& c : cases) {
        MipHolder m;
        ASSERT_EQ(
            loadMip(dir,
                    container(" MIP", {chunk("MPHD", mphd(c.omt, 2, 2, 0, 0, 2)),
                                       levelBmap(c.type, 4, 4, 9), levelBmap(c.type, 2, 2, 8)}),
                    &m.mip),
            1)
            << int(c.omt);
        EXPECT_EQ(+m.mip->level[0].pixelType, c.type);
        EXPECT_EQ(+m.mip->level[0].rowBytes, +c.rowBytes);
        EXPECT_EQ(m.mip->level[1].pixels[0], c.type <= 1 ? 0 : 8); // 4-bit DATA is packed
    }
}

TEST(MipFile, OldStyleSizeBoundsAndContents) {
    TempDir dir;
    // 64 x 64, 7 levels: S = 5461, so total must lie in 5565 .. 9661.
    const struct {
        int64_t delta;
        bool ok;
    } cases[] = {{0, true}, {-1, false}, {4096, true}, {4097, false}};
    for (const auto& c : cases) {
        Bytes file = oldStyle(64, 64, 7, c.delta);
        EXPECT_EQ(getLe32(file, 0), uint32_t(5565 + c.delta));
        MessageCapture messages;
        MipHolder m;
        EXPECT_EQ(loadMip(dir, file, &m.mip), c.ok) << c.delta;
        if (!c.ok) {
            EXPECT_TRUE(messages.sawDebug("MIP size/header invalid in oldstyle_mipGet()\n"));
            EXPECT_TRUE(messages.sawDebug("oldstyle_mipGet() failed in mipLoad()\n"));
            continue;
        }
        ASSERT_EQ(+m.mip->levels, 7u);
        EXPECT_EQ(+m.mip->flag, 1);
        EXPECT_EQ(+m.mip->color, 77u);
        for (uint32_t i = 0; i < 7; ++i) {
            const bitmap_tag& level = m.mip->level[i];
            EXPECT_EQ(+level.pixelType, PIXEL_PAL8);
            EXPECT_EQ(+level.width, 64 >> i);
            EXPECT_EQ(level.pixels[0], uint8_t(i + 1));
            EXPECT_EQ(level.pixels[(level.height - 1) * level.rowBytes + level.width - 1],
                      uint8_t(i + 1 + (64 >> i) * (64 >> i) - 1));
        }
    }
    // A 5 x 3 texture: levels are 8 x 4 and 4 x 2 with the rest colour 0.
    MipHolder m;
    ASSERT_EQ(loadMip(dir, oldStyle(5, 3, 2, 0), &m.mip), 1);
    ASSERT_EQ(+m.mip->levels, 2u);
    EXPECT_EQ(visiblePixels(&m.mip->level[0]),
              (Bytes{1,  2,  3,  4,  5,  0, 0, 0, 6, 7, 8, 9, 10, 0, 0, 0,
                     11, 12, 13, 14, 15, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0}));
    EXPECT_EQ(visiblePixels(&m.mip->level[1]), (Bytes{2, 3, 0, 0, 0, 0, 0, 0}));
}

// Every refusal: one table row per malformed file.
TEST(MipFile, FailureMessages) {
    TempDir dir;
    const Bytes head = chunk("MPHD", mphd(PIXEL_PAL8, 2, 2, 0, 0, 2));
    Bytes outside = oldStyle(8, 8, 1, 0);
    Bytes truncated = oldStyle(8, 8, 1, 0);
    truncated.pop_back();
    outside[4 + 20 + 8] = 0xF0; // level 0's offset far past the block
    const struct {
        const char* what;
        Bytes file;
        const char* message;
    } cases[] = {
        {"level too small", container("MIP ", {chunk("MPHD", mphd(2, 3, 3, 0, 0, 5))}),
         "Width/Height <= 0 in readMPHD()\n"},
        {"OMT type 2", container(" MIP", {chunk("MPHD", mphd(2, 2, 2, 0, 0, 1))}),
         "unsupported OMT mip type in readMPHD()\n"},
        {"OMT type 8", container(" MIP", {chunk("MPHD", mphd(8, 2, 2, 0, 0, 1))}),
         "unsupported OMT mip type in readMPHD()\n"},
        {"BMAP first", container("MIP ", {levelBmap(2, 4, 4, 0), head}),
         "BMAP chunk before MPHD\n"},
        {"CMAP first", container("MIP ", {chunk("CMAP", Bytes(64)), head}),
         "CMAP chunk before MPHD\n"},
        {"too many BMAPs",
         container("MIP ", {chunk("MPHD", mphd(2, 3, 3, 0, 0, 3)), levelBmap(2, 8, 8, 0),
                            levelBmap(2, 4, 4, 0), levelBmap(2, 2, 2, 0), levelBmap(2, 1, 1, 0)}),
         "More BMAPs than levels in MIP\n"},
        {"no MPHD", container("MIP ", {}), "Required MPHD chunk not read\n"},
        {"MPHD of 17", container("MIP ", {chunk("MPHD", Bytes(17))}),
         "Invalid MPHD size in readMPHD()\n"},
        {"MPHD of 19", container("MIP ", {chunk("MPHD", Bytes(19))}),
         "Invalid MPHD size in readMPHD()\n"},
        {"two MPHD", container("MIP ", {head, head}), "More than one MPHD chunk in readMPHD()\n"},
        {"BMAP of another size", container("MIP ", {head, levelBmap(2, 2, 2, 0)}),
         "BMHD doesn't match the bitmap in readBMHD()\n"},
        {"BMAP of another type", container("MIP ", {head, levelBmap(3, 4, 4, 0)}),
         "bitmapRead() failed in readBMAP\n"},
        {"short CMAP", container("MIP ", {head, chunk("CMAP", Bytes(16))}),
         "colormapRead() failed in readCMAP()\n"},
        {"huge", container("MIP ", {chunk("MPHD", mphd(2, 16, 2, 0, 0, 1))}),
         "Invalid image size 65536 x 4 in readMPHD()\n"},
        {"larger than the file", container("MIP ", {chunk("MPHD", mphd(9, 12, 12, 0, 0, 1))}),
         "MPHD describes more data than the file holds in readMPHD()\n"},
        {"no levels", container("MIP ", {chunk("MPHD", mphd(2, 2, 2, 0, 0, 0))}),
         "No levels in readMPHD()\n"},
        {"broken container", Bytes{'M', 'I', 'P', ' ', 0, 0, 0, 0, 100, 0, 0, 0},
         "brixParseContainer() failed in mipLoad()\n"},
        {"too short", Bytes{1, 2}, "brixPeekChunkHeader() failed in mipLoad()\n"},
        {"old-style offset outside", outside,
         "Old-style mip level 0 outside the block in oldstyle_mip2mip()\n"},
        {"old-style too wide", oldStyle(4096, 1, 1, 0),
         "Invalid old-style mip header in oldstyle_mip2mip()\n"},
        {"old-style truncated", truncated,
         "MIP block runs past the end of the file in oldstyle_mipGet()\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MessageCapture messages;
        int64_t blocks = memLiveBlocks();
        mip_tag* m = reinterpret_cast<mip_tag*>(1);
        EXPECT_EQ(loadMip(dir, c.file, &m), 0);
        EXPECT_EQ(m, nullptr);
        EXPECT_EQ(memLiveBlocks(), blocks);
        EXPECT_TRUE(messages.sawDebug(c.message)) << messages.dump();
    }
}

TEST(MipFile, WriterFailures) {
    TempDir dir;
    BitmapHolder src{randomBitmapWithMap(PIXEL_PAL8, 32, 32, 1)};
    MipHolder m;
    ASSERT_EQ(mipCreate(&m.mip, src.bm, 2, 0), 1);
    MessageCapture messages;
    {
        OpenFile f(dir.file("o.mip"), 'w');
        EXPECT_EQ(mipWrite(f, m.mip, failingExtra, 0), 0);
    }
    EXPECT_TRUE(messages.sawDebug("Extra Function failed in mipWrite()\n"));
    writeFile(dir.file("ro"), {});
    OpenFile ro(dir.file("ro"), 'r');
    EXPECT_EQ(mipWrite(ro, m.mip, nullptr, 0), 0);
    EXPECT_TRUE(messages.sawDebug("brixStartChunk() failed in mipWrite()\n"));
}

TEST(MipFile, CleanOnEveryAllocationFailure) {
    TempDir dir;
    MessageCapture quiet;
    BitmapHolder src{randomBitmapWithMap(PIXEL_CMAP4, 32, 32, 1)};
    for (int i = 0; i < 33 * 32; ++i)
        src.bm->pixels[i] &= 15;
    MipHolder m;
    uint32_t* pal = randomPalette(2);
    paletteSetCurrent(pal, 0, 256);
    ASSERT_EQ(mipCreate(&m.mip, src.bm, 3, 0), 1);
    uint8_t* colormap;
    colormapAlloc(&colormap);
    m.mip->colormap = colormap;
    std::memset(m.mip->colormap, 5, 16);
    {
        OpenFile f(dir.file("s.mip"), 'w');
        ASSERT_EQ(mipWrite(f, m.mip, nullptr, 0), 1);
    }
    writeFile(dir.file("o.mip"), oldStyle(16, 16, 3, 10));
    for (const char* name : {"s.mip", "o.mip"}) {
        int allocations = expectCleanOnEveryAllocationFailure([&] {
            OpenFile f(dir.file(name), 'r');
            mip_tag* loaded;
            if (mipLoad(&loaded, f))
                mipUnload(loaded);
            else
                EXPECT_EQ(loaded, nullptr);
        });
        EXPECT_EQ(allocations, 5) << name; // record, 3 levels, colormap or block
    }
    expectCleanOnEveryAllocationFailure([&] {
        OpenFile f(dir.file("w.mip"), 'w');
        mipWrite(f, m.mip, nullptr, 0);
    });
    paletteSetCurrent(nullptr, 0, 0);
    paletteFree(pal);
}
