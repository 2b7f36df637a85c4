// Building mip chains: both filter routines against an independent
// reference over a table of sources, copying a level out, and clean
// failures.
#include "../imagefile/filetest.h"
#include "mip/mip.h"
#include "raster/fixed.h"

using namespace swtest;

namespace {

// What the box filter is defined to compute, written independently: the
// mean of the counted pixels' colours (halves round up), then the nearest
// allowed value by squared distance, lowest on ties; 0 when none counts.
// Values below n with their subset bit (if any) are counted and allowed.
struct Reference {
    const uint32_t* colour;
    int n;
    const uint32_t* subset = nullptr;
    bool allowed(int v) const { return v < n && (!subset || (subset[v / 32] >> (v % 32) & 1)); }
};

uint8_t referenceAverage(const bitmap_tag* src, const Reference& ref, int x0, int y0, int x1,
                         int y1) {
    uint32_t sum[3] = {}, count = 0;
    for (int y = y0; y < std::min(y1, +src->height); ++y)
        for (int x = x0; x < std::min(x1, +src->width); ++x) {
            uint8_t v = src->pixels[int64_t(y) * src->rowBytes + x];
            for (int c = 0; c < 3 && ref.allowed(v); ++c)
                sum[c] += (ref.colour[v] >> (16 - 8 * c)) & 0xFF;
            count += ref.allowed(v);
        }
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < ref.n && count; ++i) {
        long d = 0;
        for (int c = 0; c < 3; ++c) {
            long diff =
                long((ref.colour[i] >> (16 - 8 * c)) & 0xFF) - long((sum[c] + count / 2) / count);
            d += diff * diff;
        }
        if (ref.allowed(i) && (bestDistance < 0 || d < bestDistance)) best = i, bestDistance = d;
    }
    return uint8_t(best);
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

// Level 0 is the source, cleared past its sides; every other pixel and
// the chain's colour are the reference average of their block.
TEST(MipCreate, BothRoutinesMatchTheReference) {
    SelectionGuard selection;
    uint32_t* current = clusteredPalette(11);
    paletteSetCurrent(current, 0, 256);
    struct Source {
        const char* what;
        bitmap_tag* bm;
        Reference ref;
    };
    std::vector<Source> sources;
    uint32_t subsets[6][8];
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        bitmap_tag* bm = randomBitmap(seed % 2 ? PIXEL_PAL8 : PIXEL_PAL8_KEY, 64, 32, seed);
        bm->map = clusteredPalette(seed);
        Rng rng(seed);
        for (uint32_t& w : subsets[seed - 1])
            w = rng.next() | rng.next();
        subsets[seed - 1][0] &= ~1u; // a transparent index 0 left out
        const uint32_t* subset = seed > 3 ? subsets[seed - 1] : nullptr;
        sources.push_back({"own palette", bm, {static_cast<uint32_t*>(bm->map), 256, subset}});
    }
    // Sides that are not powers of two: windows clipped to the source.
    sources.push_back({"current palette", randomBitmap(PIXEL_PAL8, 37, 21, 4), {current, 256}});
    // A 4-bit source: its colormap's 16 colours are the candidates.
    bitmap_tag* four = randomBitmapWithMap(PIXEL_CMAP4, 32, 32, 8);
    uint32_t fourColours[16];
    for (int v = 0; v < 16; ++v)
        fourColours[v] = current[static_cast<uint8_t*>(four->map)[v]];
    sources.push_back({"4-bit", four, {fourColours, 16}});
    bitmap_tag view = bottomUpView(sources[0].bm);
    sources.push_back({"bottom-up", &view, {sources[0].ref.colour, 256}});

    for (const Source& s : sources) {
        SCOPED_TRACE(s.what);
        withPlainAndFast([&](bool) {
            MipHolder m;
            ASSERT_EQ(mipCreateFromSubset(&m.mip, s.bm, 9, 0, s.ref.subset), 1);
            ASSERT_EQ(+m.mip->levels,
                      uint32_t(log2Ceil(std::min(+s.bm->width, +s.bm->height)) - 2));
            EXPECT_EQ(+m.mip->color,
                      referenceAverage(s.bm, s.ref, 0, 0, s.bm->width, s.bm->height));
            for (uint32_t i = 0; i < m.mip->levels; ++i) {
                const bitmap_tag& level = m.mip->level[i];
                for (int y = 0; y < level.height; ++y)
                    for (int x = 0; x < level.width; ++x)
                        ASSERT_EQ(level.pixels[y * level.rowBytes + x],
                                  i ? referenceAverage(s.bm, s.ref, x << i, y << i, (x + 1) << i,
                                                       (y + 1) << i)
                                  : x < s.bm->width && y < s.bm->height
                                      ? s.bm->pixels[int64_t(y) * s.bm->rowBytes + x]
                                      : 0)
                            << "level " << i << " at " << x << ", " << y;
            }
        });
    }
    for (Source& s : sources)
        if (s.bm != &view) bitmapFree(s.bm);
    paletteFree(current);
}

// mipCopyBitmap: level 2 (8 x 8) at (3, 5), nothing around it.
TEST(MipCreate, CopyBitmapWritesTheLevelOnly) {
    Owned src{randomBitmapWithMap(PIXEL_PAL8, 32, 32, 3)},
        dst{filledBitmap(PIXEL_PAL8, 20, 20, 0xEE)};
    MipHolder s;
    ASSERT_EQ(mipCreate(&s.mip, src, 3, 0), 1);
    mipCopyBitmap(dst, 3, 5, s.mip, 2);
    for (int y = 4; y < 14; ++y)
        for (int x = 2; x < 12; ++x)
            ASSERT_EQ(dst->pixels[y * dst->rowBytes + x],
                      y < 5 || x < 3 || y > 12 || x > 10
                          ? 0xEE
                          : s.mip->level[2].pixels[(y - 5) * 8 + x - 3]);
}

TEST(MipCreate, CleanOnEveryAllocationFailure) {
    Owned src{randomBitmapWithMap(PIXEL_PAL8, 64, 64, 2)};
    MessageCapture messages;
    int allocations =
        expectCleanOnEveryAllocationFailure([&] { tryMake(mipCreate, mipFree, src, 4, 0); });
    EXPECT_EQ(allocations, 5); // record and four pixel blocks
    expectSaid(messages, {"memAlloc() failed in mipCreate()\n"});
}
