// bitmapLoad's cache: sharing by directory and name, reference counts,
// the format order, and clean failures.
#include "filetest.h"
#include "imagefile/imagefile.h"

using namespace swtest;

namespace {

// Writes a 4 x 2 PCX whose pixels are all `value`.
void writePcxOf(const std::string& path, uint8_t value) {
    BitmapHolder bm;
    bitmapAlloc(&bm.bm, PIXEL_PAL8, 4, 2, 0);
    std::memset(bm.bm->pixels, value, size_t(bm.bm->rowBytes) * 3);
    uint32_t* pal = randomPalette(value);
    OpenFile f(path, 'w');
    EXPECT_EQ(bitmapWritePcx(f, bm.bm, pal), 1);
    paletteFree(pal);
}

bitmap_tag* load(const std::string& path, uint8_t key = 0) {
    OpenFile f(path, 'r');
    bitmap_tag* bm = nullptr;
    EXPECT_EQ(bitmapLoad(&bm, f, key), 1) << path;
    return bm;
}

} // namespace

TEST(BitmapCache, SameNameSameDirectoryIsReadOnce) {
    TempDir dir;
    ChangeDir in(dir.path());
    int64_t blocks = memLiveBlocks();
    writePcxOf("a.pcx", 1);
    bitmap_tag* first = load("a.pcx");
    writePcxOf("a.pcx", 2); // not read again: the cached bitmap comes back
    bitmap_tag* second = load("a.pcx", 1);
    EXPECT_EQ(first, second);
    EXPECT_EQ(second->pixels[0], 1);
    EXPECT_EQ(+second->pixelType, PIXEL_PAL8); // the cache ignores key
    bitmapUnload(first);
    EXPECT_EQ(second->pixels[0], 1); // still in place
    bitmapUnload(second);
    EXPECT_EQ(memLiveBlocks(), blocks);
    bitmap_tag* third = load("a.pcx");
    EXPECT_EQ(third->pixels[0], 2); // read afresh after the last unload
    bitmapUnload(third);
    EXPECT_EQ(memLiveBlocks(), blocks);
}

TEST(BitmapCache, DirectoriesAndSixteenCharacterNames) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("one"));
    std::filesystem::create_directory(dir.file("two"));
    int64_t blocks = memLiveBlocks();
    writePcxOf(dir.file("one/p.pcx"), 1);
    writePcxOf(dir.file("two/p.pcx"), 2);
    bitmap_tag *a, *b, *c, *d;
    {
        ChangeDir in(dir.file("one"));
        a = load("p.pcx");
        writePcxOf("TEXTURE_ROAD_01A.PCX", 3);
        writePcxOf("texture_road_01a_old.pcx", 4);
        c = load("TEXTURE_ROAD_01A.PCX");
        d = load("texture_road_01a_old.pcx");
    }
    {
        ChangeDir in(dir.file("two"));
        b = load("p.pcx");
    }
    EXPECT_NE(a, b);
    EXPECT_EQ(a->pixels[0], 1);
    EXPECT_EQ(b->pixels[0], 2);
    EXPECT_EQ(c, d); // equal over the first 16 characters, ignoring case
    EXPECT_EQ(d->pixels[0], 3);
    for (bitmap_tag* bm : {a, b, c, d})
        bitmapUnload(bm);
    EXPECT_EQ(memLiveBlocks(), blocks);
}

TEST(BitmapCache, CoverageLoadsChangeTheSharedBitmap) {
    TempDir dir;
    ChangeDir in(dir.path());
    int64_t blocks = memLiveBlocks();
    writePcxOf("g.pcx", 7);
    bitmap_tag* glyphs;
    {
        OpenFile f("g.pcx", 'r');
        ASSERT_EQ(bitmapLoad8a(&glyphs, f), 1);
    }
    EXPECT_EQ(+glyphs->pixelType, PIXEL_ALPHA8);
    EXPECT_EQ(+glyphs->map, nullptr);
    bitmap_tag* again = load("g.pcx");
    EXPECT_EQ(again, glyphs);
    EXPECT_EQ(+again->pixelType, PIXEL_ALPHA8);
    bitmapUnload(glyphs);
    bitmapUnload(again);
    EXPECT_EQ(memLiveBlocks(), blocks);
}

TEST(BitmapCache, PcxByFirstByteBeforeTheTgaName) {
    TempDir dir;
    ChangeDir in(dir.path());
    writePcxOf("pcx.tga", 9);
    bitmap_tag* bm = load("pcx.tga");
    EXPECT_EQ(+bm->pixelType, PIXEL_PAL8);
    EXPECT_EQ(bm->pixels[0], 9);
    bitmapUnload(bm);
}

TEST(BitmapCache, UncachedBitmapsAreFreed) {
    int64_t blocks = memLiveBlocks();
    bitmap_tag* bm;
    ASSERT_EQ(bitmapAlloc(&bm, PIXEL_PAL8, 3, 3, 1), 1);
    bitmapUnload(bm);
    bitmapUnload(nullptr);
    EXPECT_EQ(memLiveBlocks(), blocks);
}

TEST(BitmapCache, FailuresLeaveTheCacheAsItWas) {
    TempDir dir;
    ChangeDir in(dir.path());
    writeFile("bad.bm", {1, 2, 3});
    MessageCapture messages;
    int64_t blocks = memLiveBlocks();
    OpenFile f("bad.bm", 'r');
    bitmap_tag* bm = reinterpret_cast<bitmap_tag*>(1);
    EXPECT_EQ(bitmapLoad(&bm, f, 0), 0);
    EXPECT_EQ(bm, nullptr);
    EXPECT_TRUE(messages.sawDebug("Couldn't load bitmap.\n"));
    EXPECT_EQ(memLiveBlocks(), blocks);

    // Every allocation of a load, the directory record and the cache entry
    // included: a failed entry still hands out an uncached bitmap, which
    // bitmapUnload frees.
    writePcxOf("ok.pcx", 3);
    int allocations = expectCleanOnEveryAllocationFailure([&] {
        OpenFile g("ok.pcx", 'r');
        bitmap_tag* loaded;
        if (bitmapLoad(&loaded, g, 0))
            bitmapUnload(loaded);
        else
            EXPECT_EQ(loaded, nullptr);
    });
    EXPECT_EQ(allocations, 5); // directory, record, pixels, palette, entry
    EXPECT_TRUE(messages.sawDebug("memAlloc() of the directory record failed in bitmapLoad()\n"));
    EXPECT_TRUE(messages.sawDebug("Couldn't cache bitmap.\n"));
}
