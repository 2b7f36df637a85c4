// Building mip chains: level layout, the box filter against a reference,
// both filter variants, subsets, and clean failures.
#include "../imagefile/filetest.h"
#include "mip/mip.h"

using namespace swtest;

namespace {

// The box filter as defined, written independently: mean of the counted
// pixels' palette colours (halves round up), nearest palette entry by
// squared distance, lowest index on ties, within the subset.
uint8_t referenceAverage(const bitmap_tag* src, const uint32_t* pal, int x0, int y0, int x1, int y1,
                         const uint32_t* subset) {
    uint32_t sum[3] = {}, count = 0;
    for (int y = y0; y < std::min(y1, +src->height); ++y)
        for (int x = x0; x < std::min(x1, +src->width); ++x) {
            uint8_t v = src->pixels[y * src->rowBytes + x];
            if (subset && !(subset[v / 32] >> (v % 32) & 1)) continue;
            for (int c = 0; c < 3; ++c)
                sum[c] += (pal[v] >> (16 - 8 * c)) & 0xFF;
            ++count;
        }
    if (!count) return 0;
    int mean[3];
    for (int c = 0; c < 3; ++c)
        mean[c] = int((sum[c] + count / 2) / count);
    int best = -1;
    long bestDistance = 0;
    for (int i = 0; i < 256; ++i) {
        if (subset && !(subset[i / 32] >> (i % 32) & 1)) continue;
        long d = 0;
        for (int c = 0; c < 3; ++c) {
            long diff = long((pal[i] >> (16 - 8 * c)) & 0xFF) - mean[c];
            d += diff * diff;
        }
        if (best < 0 || d < bestDistance) best = i, bestDistance = d;
    }
    return uint8_t(best < 0 ? 0 : best);
}

void expectMatchesReference(const mip_tag* mip, const bitmap_tag* src, const uint32_t* pal,
                            const uint32_t* subset) {
    EXPECT_EQ(+mip->color, referenceAverage(src, pal, 0, 0, src->width, src->height, subset));
    for (uint32_t i = 1; i < mip->levels; ++i) {
        const bitmap_tag& level = mip->level[i];
        int s = 1 << i;
        for (int y = 0; y < level.height; ++y)
            for (int x = 0; x < level.width; ++x)
                ASSERT_EQ(
                    level.pixels[y * level.rowBytes + x],
                    referenceAverage(src, pal, x * s, y * s, (x + 1) * s, (y + 1) * s, subset))
                    << "level " << i << " at " << x << ", " << y;
    }
}

// A palette with many near-equal entries, so ties and close calls happen.
uint32_t* clusteredPalette(uint32_t seed) {
    uint32_t* pal = randomPalette(seed);
    Rng rng(seed);
    for (int i = 0; i < 256; ++i)
        if (i % 3 == 0) pal[i] = pal[rng.range(0, 255)] ^ (rng.next() & 0x03010100);
    return pal;
}

} // namespace

TEST(MipCreate, LevelsAreClampedToEightPixels) {
    BitmapHolder src{randomBitmapWithMap(PIXEL_PAL8, 256, 64, 1)};
    MipHolder m;
    ASSERT_EQ(mipCreate(&m.mip, src.bm, 10, 0), 1);
    ASSERT_EQ(+m.mip->levels, 4u);
    EXPECT_EQ(+m.mip->logWidth, 8u);
    EXPECT_EQ(+m.mip->logHeight, 6u);
    EXPECT_EQ(+m.mip->flag, 0);
    EXPECT_EQ(+m.mip->colormap, nullptr);
    const int sizes[4][2] = {{256, 64}, {128, 32}, {64, 16}, {32, 8}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(+m.mip->level[i].width, sizes[i][0]);
        EXPECT_EQ(+m.mip->level[i].height, sizes[i][1]);
        EXPECT_EQ(+m.mip->level[i].rowBytes, sizes[i][0]);
        EXPECT_EQ(+m.mip->level[i].pixelType, PIXEL_PAL8);
        EXPECT_EQ(+m.mip->level[i].map, nullptr);
    }
    EXPECT_EQ(visiblePixels(&m.mip->level[0]), visiblePixels(src.bm));
}

TEST(MipCreate, BothFiltersMatchTheReference) {
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        BitmapHolder src{randomBitmap(seed % 2 ? PIXEL_PAL8 : PIXEL_PAL8_KEY, 64, 32, seed)};
        uint32_t* pal = clusteredPalette(seed);
        src.bm->map = pal;
        uint32_t subset[8];
        Rng rng(seed);
        for (uint32_t& w : subset)
            w = rng.next() | rng.next();
        subset[0] &= ~1u; // a transparent index 0 left out
        for (const uint32_t* s : std::initializer_list<const uint32_t*>{nullptr, subset})
            for (MipFilter filter : {MipFilter::plain, MipFilter::fast}) {
                MipHolder m;
                ASSERT_EQ(mipCreateWith(&m.mip, src.bm, 9, s, filter), 1);
                ASSERT_EQ(+m.mip->levels, 3u);
                expectMatchesReference(m.mip, src.bm, pal, s);
            }
    }
}

TEST(MipCreate, CurrentPaletteAndSourcesThatAreNotPowersOfTwo) {
    uint32_t* pal = clusteredPalette(11);
    paletteSetCurrent(pal, 0, 256);
    BitmapHolder src{randomBitmap(PIXEL_PAL8, 37, 21, 4)}; // no map of its own
    MipHolder plain, fast;
    ASSERT_EQ(mipCreateWith(&plain.mip, src.bm, 5, nullptr, MipFilter::plain), 1);
    ASSERT_EQ(mipCreateWith(&fast.mip, src.bm, 5, nullptr, MipFilter::fast), 1);
    ASSERT_EQ(+fast.mip->levels, 3u); // 64 x 32 -> 16 x 8
    // Level 0: the source in the top left corner, colour 0 elsewhere.
    const bitmap_tag& l0 = fast.mip->level[0];
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(l0.pixels[y * l0.rowBytes + x],
                      x < 37 && y < 21 ? src.bm->pixels[y * src.bm->rowBytes + x] : 0);
    // Windows are clipped to the source.
    expectMatchesReference(fast.mip, src.bm, pal, nullptr);
    for (uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(visiblePixels(&plain.mip->level[i]), visiblePixels(&fast.mip->level[i]));
    paletteSetCurrent(nullptr, 0, 0);
    paletteFree(pal);
}

TEST(MipCreate, HalvesRoundUpAndEmptySubsetBlocksGiveZero) {
    uint32_t* pal;
    ASSERT_EQ(paletteAlloc(&pal), 1);
    for (int i = 0; i < 256; ++i)
        pal[i] = 0x00FFFFFF; // far from everything below
    pal[1] = 0x010000, pal[2] = 0x020000, pal[3] = 0x030000;
    BitmapHolder src;
    ASSERT_EQ(bitmapAlloc(&src.bm, PIXEL_PAL8, 32, 32, 0), 1);
    src.bm->map = pal;
    // Left half alternates reds 1 and 2 (mean 1.5 -> 2); right half is 1s
    // and 3s except the subset leaves out 3 there.
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            src.bm->pixels[y * src.bm->rowBytes + x] = uint8_t(x < 16 ? 1 + (x + y) % 2 : 3);
    uint32_t subset[8] = {1u << 1 | 1u << 2};
    MipHolder m;
    ASSERT_EQ(mipCreateWith(&m.mip, src.bm, 3, nullptr, MipFilter::fast), 1);
    EXPECT_EQ(m.mip->level[1].pixels[0], 2);
    MipHolder s;
    ASSERT_EQ(mipCreateFromSubset(&s.mip, src.bm, 3, 0, subset), 1);
    EXPECT_EQ(s.mip->level[1].pixels[0], 2);
    EXPECT_EQ(s.mip->level[1].pixels[15], 0); // a block of 3s only: nothing counted
    EXPECT_EQ(+s.mip->color, 2u);
}

TEST(MipCreate, FourBitSourcesSearchTheirColormap) {
    uint32_t* pal = clusteredPalette(3);
    paletteSetCurrent(pal, 0, 256);
    BitmapHolder src{randomBitmapWithMap(PIXEL_CMAP4, 32, 32, 8)};
    for (int i = 0; i < 33 * 32; ++i)
        src.bm->pixels[i] &= 15;
    MipHolder plain, fast;
    ASSERT_EQ(mipCreateWith(&plain.mip, src.bm, 3, nullptr, MipFilter::plain), 1);
    ASSERT_EQ(mipCreateWith(&fast.mip, src.bm, 3, nullptr, MipFilter::fast), 1);
    // Reference: the colormap's 16 colours as a palette of values.
    uint32_t values[256];
    const uint8_t* cm = static_cast<const uint8_t*>(src.bm->map);
    for (int v = 0; v < 256; ++v)
        values[v] = v < 16 ? pal[cm[v]] : 0x7FFFFFFF;
    uint32_t only16[8] = {0xFFFF};
    for (const mip_tag* m : {plain.mip, fast.mip})
        for (uint32_t i = 1; i < 3; ++i)
            for (int y = 0; y < m->level[i].height; ++y)
                for (int x = 0; x < m->level[i].width; ++x) {
                    int s = 1 << i;
                    ASSERT_EQ(m->level[i].pixels[y * m->level[i].rowBytes + x],
                              referenceAverage(src.bm, values, x * s, y * s, x * s + s, y * s + s,
                                               only16));
                }
    paletteSetCurrent(nullptr, 0, 0);
    paletteFree(pal);
}

TEST(MipCreate, FailuresAndCopy) {
    MessageCapture messages;
    BitmapHolder tiny{randomBitmap(PIXEL_PAL8, 4, 64, 1)};
    MipHolder m;
    EXPECT_EQ(mipCreate(&m.mip, tiny.bm, 3, 0), 0);
    EXPECT_TRUE(messages.sawDebug("Source too small for a mip level in mipCreate()\n"));
    BitmapHolder wide{randomBitmap(PIXEL_PAL8, 4096, 8, 1)};
    EXPECT_EQ(mipCreate(&m.mip, wide.bm, 3, 0), 0);
    EXPECT_TRUE(messages.sawDebug("Source larger than 2048 pixels in mipCreate()\n"));
    EXPECT_EQ(mipCreate(&m.mip, nullptr, 3, 0), 0);
    EXPECT_EQ(m.mip, nullptr);
    bitmap_tag shortRows = *wide.bm;
    shortRows.width = 64, shortRows.rowBytes = 60;
    EXPECT_EQ(mipCreate(&m.mip, &shortRows, 3, 0), 0);
    EXPECT_TRUE(messages.sawDebug("Invalid source bitmap in mipCreate()\n"));

    BitmapHolder src{randomBitmapWithMap(PIXEL_PAL8, 64, 64, 2)};
    int allocations = expectCleanOnEveryAllocationFailure([&] {
        mip_tag* mip;
        if (mipCreate(&mip, src.bm, 4, 0))
            mipFree(mip);
        else
            EXPECT_EQ(mip, nullptr);
    });
    EXPECT_EQ(allocations, 5); // record and four pixel blocks
    EXPECT_TRUE(messages.sawDebug("memAlloc() failed in mipCreate()\n"));

    ASSERT_EQ(mipCreate(&m.mip, src.bm, 4, 0), 1);
    BitmapHolder dst;
    ASSERT_EQ(bitmapAlloc(&dst.bm, PIXEL_PAL8, 40, 40, 0), 1);
    std::memset(dst.bm->pixels, 0xEE, size_t(dst.bm->rowBytes) * 41);
    mipCopyBitmap(dst.bm, 3, 5, m.mip, 2); // 16 x 16 at (3, 5)
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(dst.bm->pixels[(y + 5) * dst.bm->rowBytes + x + 3],
                      m.mip->level[2].pixels[y * m.mip->level[2].rowBytes + x]);
    EXPECT_EQ(dst.bm->pixels[5 * dst.bm->rowBytes + 2], 0xEE);
    EXPECT_EQ(dst.bm->pixels[4 * dst.bm->rowBytes + 3], 0xEE);
}
