// bitmapLoad's cache: sharing by directory and name, reference counts,
// the format order, coverage loads and clean failures.
#include "filetest.h"
#include "imagefile/imagefile.h"

using namespace swtest;

namespace {

// Writes a 4 x 2 PCX whose pixels are all `value`.
void writePcxOf(const std::string& path, uint8_t value) {
    uint32_t* pal = randomPalette(value);
    EXPECT_EQ(
        bitmapWritePcx(OpenFile(path, 'w'), Owned(filledBitmap(PIXEL_PAL8, 4, 2, value)), pal), 1);
    paletteFree(pal);
}

// A cached load, or a coverage load (bitmapLoad8a), of the file at `path`.
bitmap_tag* load(const std::string& path, uint8_t key = 0, bool coverage = false) {
    OpenFile f(path, 'r');
    bitmap_tag* bm = nullptr;
    EXPECT_EQ(coverage ? bitmapLoad8a(&bm, f) : bitmapLoad(&bm, f, key), 1) << path;
    return bm;
}

// Each test runs in a fresh current directory; `blocks` is the number of
// live library blocks when it starts.
class BitmapCache : public testing::Test {
  protected:
    TempDir dir;
    ChangeDir in{dir.path()};
    const int64_t blocks = memLiveBlocks();
};

} // namespace

// One bitmap per name (its first 16 characters, ignoring case) and
// directory, read again only after its last unload; the key is ignored for
// a cached bitmap.
TEST_F(BitmapCache, SharedByNameAndDirectory) {
    std::filesystem::create_directory(dir.file("two"));
    writePcxOf(dir.file("two/a.tga"), 9); // a PCX by its first byte, before the TGA name
    writePcxOf("a.tga", 1);
    writePcxOf("TEXTURE_ROAD_01A.PCX", 3);
    writePcxOf("texture_road_01a_old.pcx", 4);
    bitmap_tag *first = load("a.tga"), *c = load("TEXTURE_ROAD_01A.PCX"),
               *d = load("texture_road_01a_old.pcx");
    writePcxOf("a.tga", 2);
    bitmap_tag* second = load("a.tga", 1);
    EXPECT_EQ(second, first);
    EXPECT_EQ(+second->pixelType, PIXEL_PAL8);
    EXPECT_EQ(c, d);
    EXPECT_EQ(d->pixels[0], 3);
    {
        ChangeDir inTwo(dir.file("two"));
        bitmap_tag* fromTwo = load("a.tga");
        EXPECT_EQ(fromTwo->pixels[0], 9) << "another directory, another bitmap";
        bitmapUnload(fromTwo);
    }
    for (bitmap_tag* bm : {first, c, d})
        bitmapUnload(bm);
    EXPECT_EQ(second->pixels[0], 1); // still in place
    bitmapUnload(second);
    EXPECT_EQ(memLiveBlocks(), blocks);
    bitmap_tag* third = load("a.tga");
    EXPECT_EQ(third->pixels[0], 2); // read afresh after the last unload
    bitmapUnload(third);
    // A bitmap that did not come from the cache is simply freed.
    ASSERT_EQ(bitmapAlloc(&third, PIXEL_PAL8, 3, 3, 1), 1);
    bitmapUnload(third);
    bitmapUnload(nullptr);
    EXPECT_EQ(memLiveBlocks(), blocks);
}

// bitmapLoad8a changes the type of the shared bitmap and nothing else:
// whoever holds it keeps its palette, which the last unload releases.
TEST_F(BitmapCache, CoverageLoadKeepsTheSharedPalette) {
    SelectionGuard selection;
    writePcxOf("s.pcx", 4);
    bitmap_tag* a = load("s.pcx");
    void* map = a->map;
    paletteSetCurrentFromBitmap(a, 0, 256);
    bitmap_tag* b = load("s.pcx", 0, true);
    EXPECT_EQ(b, a);
    EXPECT_EQ(+b->pixelType, PIXEL_ALPHA8);
    EXPECT_EQ(+b->map, map);
    uint32_t current[256];
    paletteGetCurrent(current, 0, 256);
    EXPECT_EQ(0, std::memcmp(current, map, sizeof current));
    bitmap_tag* again = load("s.pcx");
    EXPECT_EQ(+again->pixelType, PIXEL_ALPHA8) << "later loads share the changed bitmap";
    for (bitmap_tag* bm : {a, b, again})
        bitmapUnload(bm);
    EXPECT_EQ(memLiveBlocks(), blocks);
}

TEST_F(BitmapCache, FailuresLeaveTheCacheAsItWas) {
    MessageCapture messages;
    // Every allocation of a load, the directory record and the cache entry
    // included: a failed entry still hands out an uncached bitmap, which
    // bitmapUnload frees; a coverage load of it drops its palette at once.
    writePcxOf("ok.pcx", 3);
    for (bool coverage : {false, true}) {
        int allocations = expectCleanOnEveryAllocationFailure([&] {
            OpenFile g("ok.pcx", 'r');
            coverage ? tryMake(bitmapLoad8a, bitmapUnload, g)
                     : tryMake(bitmapLoad, bitmapUnload, g, 0);
        });
        EXPECT_EQ(allocations, 6); // directory, record, pixels, palette, row, entry
    }
    expectSaid(messages, {"memAlloc() of the directory record failed in bitmapLoad()\n",
                          "Couldn't cache bitmap.\n"});

    // A current directory of 257 characters, one more than the directory
    // buffer holds: the load goes on.
    const std::string deep = dir.file(std::string(256 - dir.path().size(), 'd'));
    ASSERT_TRUE(std::filesystem::create_directory(deep));
    ChangeDir inDeep(deep);
    bitmap_tag* bm = load(dir.file("ok.pcx"));
    ASSERT_NE(bm, nullptr);
    EXPECT_TRUE(messages.sawDebug("libfileGetDir() failed in BitmapLoad\n")) << messages.dump();
    EXPECT_EQ(bm->pixels[0], 3);
    bitmapUnload(bm);
}
