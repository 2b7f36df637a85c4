// The failure messages that files reaching the readers through the
// container parser cannot provoke (the parser has checked the headers
// already): the handlers called directly, short files, and the loaders'
// allocation failures.
#include "filetest.h"
#include "imagefile/imagefile.h"
#include "imagefile/pcx.h"
#include "imagefile/tga.h"
#include "mip/mip.h"

#include <memory>
#include <tuple>

using namespace swtest;

namespace {

// Opens a file of the given bytes; the handlers below read from it.
struct BytesFile {
    TempDir dir;
    std::unique_ptr<OpenFile> file;
    explicit BytesFile(const Bytes& bytes, const char* name = "f") {
        writeFile(dir.file(name), bytes);
        file = std::make_unique<OpenFile>(dir.file(name), 'r');
    }
    operator file_tag*() const { return *file; }
};

// The first n bytes.
Bytes prefix(const Bytes& bytes, size_t n) {
    return Bytes(bytes.begin(), bytes.begin() + std::ptrdiff_t(n));
}

} // namespace

TEST(Messages, HandlersCalledDirectly) {
    const Bytes head = chunk("BMHD", bmhd(PIXEL_PAL8, 2, 2, 4));
    const Bytes data = chunk("DATA", Bytes(8));
    const uint32_t BMHD = VESK_ID('B', 'M', 'H', 'D'), DATA = VESK_ID('D', 'A', 'T', 'A');
    const uint32_t MPHD = VESK_ID('M', 'P', 'H', 'D');
    BitmapHolder bm{randomBitmap(PIXEL_PAL8, 2, 2, 1)};
    const struct {
        Bytes file;
        uint8_t (*handler)(void*, uint32_t, uint32_t, int32_t, file_tag*);
        uint32_t id;
        int32_t size;
        bool seen;
        const char* message;
    } cases[] = {
        {{}, readBMHD, BMHD, 14, false, "brixReadChunkHeader() failed in readBMHD()\n"},
        {head, readBMHD, BMHD, 15, false, "passed data and read data don't match in readBMHD()\n"},
        {prefix(head, head.size() - 3), readBMHD, BMHD, 14, false,
         "libfileReadExact() failed in readBMHD()\n"},
        {{}, readDATA, DATA, 8, true, "brixReadChunkHeader() failed in readDATA()\n"},
        {data, readDATA, BMHD, 8, true, "passed header and read data don't match in readDATA()\n"},
        {prefix(data, data.size() - 1), readDATA, DATA, 8, true,
         "libfileReadExact() failed in readDATA()\n"},
    };
    for (const auto& c : cases) {
        BytesFile f(c.file);
        BmapParseState state{};
        state.bitmap = bm.bm;
        state.seen = c.seen;
        state.header = {PIXEL_PAL8, 2, 2, 4, 0};
        MessageCapture messages;
        EXPECT_EQ(c.handler(&state, c.id, 0, c.size, f), 0) << c.message;
        EXPECT_TRUE(messages.sawDebug(c.message)) << c.message << messages.dump();
    }
    // Four-bit data read a byte at a time, ending early.
    {
        BitmapHolder four{randomBitmap(PIXEL_CMAP4, 4, 2, 1)};
        Bytes shortData = chunk("DATA", Bytes(4), 4);
        shortData.pop_back();
        BytesFile f(shortData);
        BmapParseState state{};
        state.bitmap = four.bm;
        state.seen = 1;
        state.header = {PIXEL_CMAP4, 4, 2, 4, 0};
        MessageCapture messages;
        EXPECT_EQ(readDATA(&state, DATA, 0, 4, f), 0);
        EXPECT_TRUE(messages.sawDebug("libfileReadUint8() failed in readDATA()\n"));
    }
    // A missing bitmap, and one without pixels.
    for (bool withRecord : {false, true}) {
        BytesFile f(container("BMAP", {head, data}));
        bitmap_tag empty{};
        MessageCapture messages;
        EXPECT_EQ(bitmapRead(withRecord ? &empty : nullptr, f), 0);
        EXPECT_TRUE(messages.sawDebug(withRecord ? "Missing bitmap data in readDATA()\n"
                                                 : "Missing bitmap in readDATA()\n"));
    }
    // The mip header handler.
    for (const auto& [bytes, size, message] :
         {std::tuple{Bytes{}, 18, "brixReadChunkHeader() failed in readMPHD()\n"},
          std::tuple{chunk("MPHD", Bytes(18)), 17,
                     "passed data and read data don't match in readMPHD()\n"},
          std::tuple{prefix(chunk("MPHD", Bytes(18)), 20), 18,
                     "libfileReadExact() failed in readMPHD()\n"}}) {
        BytesFile f(bytes);
        mipfile::ParseState state{};
        MessageCapture messages;
        EXPECT_EQ(mipfile::readMPHD(&state, MPHD, 0, size, f), 0);
        EXPECT_TRUE(messages.sawDebug(message)) << message << messages.dump();
        EXPECT_EQ(state.mip, nullptr);
    }
}

TEST(Messages, ShortAndForeignFiles) {
    Bytes pcxHeader(128, 0);
    pcxHeader[0] = 10, pcxHeader[1] = 5, pcxHeader[2] = 1, pcxHeader[3] = 8, pcxHeader[65] = 1;
    Bytes pcx4 = pcxHeader;
    pcx4[3] = 4;
    const struct {
        Bytes file;
        int call; // 0 paletteLoad, 1 bitmapLoad4, 2 pcxSetup, 3 oldstyle_mipGet
        std::vector<const char*> messages;
    } cases[] = {
        {{10, 5}, 0, {"pcxSetup() failed in paletteRead()\n"}},
        {pcxHeader,
         0,
         {"libfileReadExact() failed in pcxReadPalette()\n",
          "pcxReadPalette() failed in paletteRead()\n"}},
        {container("BMAP", {chunk("PLET", Bytes(2000))}),
         0,
         {"Invalid PLET size in readPLET()\n", "brixParseContainer() failed in paletteRead()\n"}},
        {prefix(chunk("PLET", Bytes(1024)), 100), 0, {"libfileReadExact() failed in readPLET()\n"}},
        {{}, 0, {"libfileReadInt8() failed in pcxFileIsPcx()\n"}},
        {{10, 1, 2}, 1, {"pcxSetup() failed in bitmapLoad4()\n"}},
        {pcx4, 1, {"Invalid pixel depth in bitmapLoad4()\n"}},
        {[&] {
             Bytes b = pcxHeader;
             b[8] = 3; // 4 x 1, data for 4 pixels ending in an unfinished run
             append(b, {1, 2, 0xC5});
             return b;
         }(),
         1,
         {"pcxReadBitmap() failed in bitmapLoad4()\n"}},
        {Bytes(128, 7), 2, {"Not a PCX file in pcxSetup()\n"}},
        {{1, 2}, 3, {"libfileReadUint32() failed in oldstyle_mipGet()\n"}},
        {Bytes(16, 1), 3, {"libfileReadExact() failed in oldstyle_mipGet()\n"}},
    };
    for (const auto& c : cases) {
        BytesFile f(c.file);
        MessageCapture messages;
        int64_t blocks = memLiveBlocks();
        if (c.call == 0) {
            uint32_t* pal;
            EXPECT_EQ(paletteLoad(&pal, f), 0);
        } else if (c.call == 1) {
            bitmap_tag* bm;
            EXPECT_EQ(bitmapLoad4(&bm, f, 0), 0);
            EXPECT_EQ(bm, nullptr);
        } else if (c.call == 2) {
            PcxReader reader;
            EXPECT_FALSE(pcxSetup(&reader, f));
        } else {
            mip_tag* mip;
            EXPECT_EQ(oldstyle_mipGet(&mip, f), 0);
        }
        EXPECT_EQ(memLiveBlocks(), blocks);
        for (const char* m : c.messages)
            EXPECT_TRUE(messages.sawDebug(m)) << m << messages.dump();
    }
    // The TGA reader straight on a file too short for its header's image.
    Bytes tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 4, 0, 16, 0x20, 1, 2, 3};
    BytesFile f(tga, "s.tga");
    TgaReader reader;
    ASSERT_TRUE(tgaSetup(&reader, f));
    BitmapHolder target{randomBitmap(PIXEL_ARGB1555, 4, 4, 1)};
    MessageCapture messages;
    EXPECT_FALSE(tgaReadBitmap(target.bm, &reader));
    EXPECT_TRUE(messages.sawError("couldn't read image data in tgaReadBitmap."));
}

TEST(Messages, DirectoryThatNoLongerExists) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("gone"));
    writeFile(dir.file("p.bm"),
              container("BMAP", {chunk("BMHD", bmhd(2, 1, 1, 4)), chunk("DATA", Bytes(4, 9))}));
    MessageCapture messages;
    ChangeDir in(dir.file("gone"));
    std::filesystem::remove(dir.file("gone"));
    OpenFile f(dir.file("p.bm"), 'r');
    bitmap_tag* bm;
    ASSERT_EQ(bitmapLoad(&bm, f, 0), 1); // the load goes on
    EXPECT_TRUE(messages.sawDebug("libfileGetDir() failed in BitmapLoad\n")) << messages.dump();
    EXPECT_EQ(bm->pixels[0], 9);
    bitmapUnload(bm);
}

// The allocation failures of the loaders print their quoted messages.
TEST(Messages, AllocationFailures) {
    TempDir dir;
    BitmapHolder pal8{randomBitmapWithMap(PIXEL_PAL8, 4, 4, 1)};
    BitmapHolder cmap4{randomBitmapWithMap(PIXEL_CMAP4, 4, 4, 2)};
    BitmapHolder argb{randomBitmap(PIXEL_ARGB1555, 4, 4, 3)};
    auto write = [&](const char* name, auto&& body) {
        OpenFile f(dir.file(name), 'w');
        ASSERT_TRUE(body(f.get()));
    };
    write("p.bm", [&](file_tag* f) { return bitmapWrite(f, pal8.bm); });
    write("c.bm", [&](file_tag* f) { return bitmapWrite(f, cmap4.bm); });
    write("p.pcx", [&](file_tag* f) {
        return bitmapWritePcx(f, pal8.bm, static_cast<uint32_t*>(pal8.bm->map));
    });
    write("raw.tga",
          [&](file_tag* f) { return tgaWriteBitmap(argb.bm, nullptr, f, false, false, 16); });
    write("rle.tga",
          [&](file_tag* f) { return tgaWriteBitmap(argb.bm, nullptr, f, true, false, 16); });
    write("plet",
          [&](file_tag* f) { return paletteWrite(f, static_cast<uint32_t*>(pal8.bm->map)); });
    write("cmap",
          [&](file_tag* f) { return colormapWrite(f, static_cast<uint8_t*>(cmap4.bm->map)); });
    MipHolder chain;
    uint8_t* colormap;
    BitmapHolder texture{randomBitmapWithMap(PIXEL_CMAP4, 8, 8, 4)};
    ASSERT_EQ(mipCreate(&chain.mip, texture.bm, 1, 0), 1);
    ASSERT_EQ(colormapAlloc(&colormap), 1);
    std::memset(colormap, 1, 16);
    chain.mip->colormap = colormap;
    write("c.mip", [&](file_tag* f) { return mipWrite(f, chain.mip, nullptr, 0); });

    const struct {
        const char* file;
        int call; // 0 bitmapLoadFile, 1 bitmapLoad4, 2 paletteLoad, 3 colormapLoad, 4 mipLoad
        std::vector<const char*> messages;
    } cases[] = {
        {"p.bm",
         0,
         {"bitmapAlloc() failed in readBMHD()\n", "paletteAlloc() failed in readPLET()\n"}},
        {"c.bm", 0, {"colormapAlloc() failed in readCMAP()\n"}},
        {"p.pcx", 0, {"bitmapAlloc() failed in bitmapLoad()\n"}},
        {"p.pcx", 1, {"bitmapAlloc() failed in bitmapLoad4()\n"}},
        {"raw.tga", 0, {"bitmapAlloc() failed in bitmapLoad()\n"}},
        {"plet", 2, {"paletteAlloc() failed in paletteLoad()\n"}},
        {"cmap", 3, {"memAlloc() failed in colormapLoad()\n"}},
        {"c.mip",
         4,
         {"memAlloc() failed in readMPHD()\n", "colormapAlloc() failed in readCMAP()\n"}},
    };
    for (const auto& c : cases) {
        MessageCapture messages;
        expectCleanOnEveryAllocationFailure([&] {
            OpenFile f(dir.file(c.file), 'r');
            if (c.call == 0 || c.call == 1) {
                bitmap_tag* bm;
                if ((c.call ? bitmapLoad4 : bitmapLoadFile)(&bm, f, 0)) bitmapFree(bm);
            } else if (c.call == 2) {
                uint32_t* p;
                if (paletteLoad(&p, f)) paletteFree(p);
            } else if (c.call == 3) {
                uint8_t* cm;
                if (colormapLoad(&cm, f)) colormapFree(cm);
            } else {
                mip_tag* m;
                if (mipLoad(&m, f)) mipFree(m);
            }
        });
        for (const char* m : c.messages)
            EXPECT_TRUE(messages.sawDebug(m)) << c.file << ": " << m;
    }
    MessageCapture messages;
    for (const char* name : {"raw.tga", "rle.tga"})
        expectCleanOnEveryAllocationFailure([&] {
            OpenFile f(dir.file(name), 'r');
            bitmap_tag* bm;
            if (bitmapLoadFile(&bm, f, 0)) bitmapFree(bm);
        });
    EXPECT_TRUE(messages.sawError("couldn't allocate temporary storage in tgaReadBitmap."));
    EXPECT_TRUE(messages.sawError("Couldn't allocate memory for temp data in tgaReadBitmap."));
    // Old-style mips: the block, then the chain.
    Bytes old;
    putLe32(old, 20 + 12 + 64);
    for (uint32_t v : {0u, 8u, 8u, 1u, 3u, 0u, 0u, 32u})
        putLe32(old, v);
    old.resize(old.size() + 64, 5);
    writeFile(dir.file("old.mip"), old);
    expectCleanOnEveryAllocationFailure([&] {
        OpenFile f(dir.file("old.mip"), 'r');
        mip_tag* m;
        if (mipLoad(&m, f)) mipFree(m);
    });
    EXPECT_TRUE(messages.sawDebug("memAllocHi() failed in oldstyle_mipGet()\n"));
    EXPECT_TRUE(messages.sawDebug("memAlloc() failed in oldstyle_mip2mip()\n"));
}
