// Building mip chains from a bitmap with a box filter through the palette.
//
// Every level i > 0 is computed from the source itself: each pixel is the
// palette entry nearest to the mean colour of its 2^i x 2^i block (pixels
// outside a subset left out, windows clipped to the source). The nearest-
// colour search is the cost: one search per output pixel. The filter is
// a fast/plain pair (fastpath.h) whose routines give identical chains:
//  - plain: readPixel, colorR/G/B and a full palette search per pixel, as
//    the filter is defined;
//  - fast (indexed sources): one colour table per call, rows read
//    directly, and an exact search over the palette sorted by red that
//    stops once the red distance alone exceeds the best match, behind a
//    direct-mapped cache from RGB to result.
#include "bitmap/bitmap.h"
#include "fastpath.h"
#include "mip/mip.h"
#include "raster/fixed.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr int32_t maxSourceSide = 2048; // the domain of log2Ceil

struct Window {
    int32_t x0, y0, x1, y1;
};

// Clips a window to the bitmap; false when nothing is left.
bool clipWindow(const bitmap_tag* bm, Window& w) {
    // Copies of the packed record's fields: std::min binds references.
    const int32_t width = bm->width, height = bm->height;
    w.x0 = std::max(w.x0, 0);
    w.y0 = std::max(w.y0, 0);
    w.x1 = std::min(w.x1, width);
    w.y1 = std::min(w.y1, height);
    return w.x0 < w.x1 && w.y0 < w.y1;
}

uint32_t roundedMean(uint32_t sum, uint32_t count) {
    return (sum + count / 2) / count;
}

// The colormap a 4-bit source is shown through: its own or the current one.
const uint8_t* sourceColormap(const bitmap_tag* bm) {
    return colormapFor4Bit(bm, ColormapRule::OwnThenCurrent);
}
// The palette an indexed or direct source is searched in: its own, else
// the current one. A 4-bit source's values go through the current one.
const uint32_t* sourcePalette(const bitmap_tag* bm) {
    if (isIndexed4(bm->pixelType) || !bm->map) return paletteCurrent;
    return static_cast<const uint32_t*>(bm->map);
}

// Exact nearest-entry search over the allowed entries of a palette, sorted
// by red: from the entry whose red is closest the scan goes outwards in
// both directions and stops when the red difference alone exceeds the best
// distance. Ties go to the lowest palette index, as in the full search.
class SortedPalette {
  public:
    SortedPalette(const uint32_t* palette, const uint32_t* subset) {
        for (int i = 0; i < 256; ++i)
            if (!subset || maskHas(subset, i)) order_[count_++] = uint8_t(i);
        std::stable_sort(order_, order_ + count_, [&](uint8_t a, uint8_t b) {
            return ((palette[a] >> 16) & 0xFF) < ((palette[b] >> 16) & 0xFF);
        });
        for (int k = 0; k < count_; ++k) {
            uint32_t e = palette[order_[k]];
            red_[k] = int32_t((e >> 16) & 0xFF);
            green_[k] = int32_t((e >> 8) & 0xFF);
            blue_[k] = int32_t(e & 0xFF);
        }
    }

    uint8_t nearest(int32_t r, int32_t g, int32_t b) const {
        if (count_ == 0) return 0;
        int start = int(std::lower_bound(red_, red_ + count_, r) - red_);
        int32_t best = INT32_MAX;
        int bestIndex = 256;
        auto consider = [&](int k, int32_t dr) {
            int32_t dg = green_[k] - g, db = blue_[k] - b;
            int32_t d = dr * dr + dg * dg + db * db;
            if (d < best || (d == best && order_[k] < bestIndex)) {
                best = d;
                bestIndex = order_[k];
            }
        };
        for (int k = start; k < count_; ++k) {
            int32_t dr = red_[k] - r;
            if (dr * dr > best) break;
            consider(k, dr);
        }
        for (int k = start - 1; k >= 0; --k) {
            int32_t dr = red_[k] - r;
            if (dr * dr > best) break;
            consider(k, dr);
        }
        return uint8_t(bestIndex);
    }

  private:
    int count_ = 0;
    uint8_t order_[256];
    int32_t red_[256], green_[256], blue_[256];
};

// Search results by packed RGB; a slot holds the last colour that hashed
// there. 0xFFFFFFFF is no RGB, so it marks an empty slot.
class NearestCache {
  public:
    NearestCache() { std::memset(keys_, 0xFF, sizeof keys_); }
    template <class Search>
    uint8_t lookup(uint32_t rgb, Search&& search) {
        uint32_t slot = (rgb * 0x9E3779B1u) >> (32 - slotBits);
        if (keys_[slot] == rgb) return values_[slot];
        uint8_t v = search();
        keys_[slot] = rgb;
        values_[slot] = v;
        return v;
    }

  private:
    static constexpr int slotBits = 12;
    uint32_t keys_[1 << slotBits];
    uint8_t values_[1 << slotBits];
};

// The fast filter of an indexed source (types 0 to 3, one byte a pixel).
class IndexedBoxFilter {
  public:
    IndexedBoxFilter(const bitmap_tag* src, const uint32_t* subset)
        : src_(src), subset_(subset), fourBit_(isIndexed4(src->pixelType)),
          colormap_(sourceColormap(src)), palette_(sourcePalette(src)),
          sorted_(palette_ && !fourBit_ ? palette_ : blackPalette, subset) {
        searchable_ = palette_ && (!fourBit_ || colormap_);
        for (int v = 0; v < 256; ++v) {
            uint32_t entry = 0;
            if (searchable_) entry = fourBit_ ? palette_[colormap_[v & 15]] : palette_[v];
            rgb_[v] = entry & 0xFFFFFF;
            counted_[v] = !subset || maskHas(subset, v);
        }
    }

    uint8_t average(Window w) {
        if (!searchable_ || !clipWindow(src_, w)) return 0;
        uint32_t sumR = 0, sumG = 0, sumB = 0, count = 0;
        for (int32_t y = w.y0; y < w.y1; ++y) {
            const uint8_t* row = rowAt(src_->pixels, src_->rowBytes, y);
            for (int32_t x = w.x0; x < w.x1; ++x) {
                uint8_t v = row[x];
                if (!counted_[v]) continue;
                uint32_t c = rgb_[v];
                sumR += c >> 16;
                sumG += (c >> 8) & 0xFF;
                sumB += c & 0xFF;
                ++count;
            }
        }
        if (count == 0) return 0;
        uint32_t r = roundedMean(sumR, count), g = roundedMean(sumG, count),
                 b = roundedMean(sumB, count);
        return cache_.lookup(r << 16 | g << 8 | b, [&] { return search(r, g, b); });
    }

  private:
    uint8_t search(uint32_t r, uint32_t g, uint32_t b) const {
        if (fourBit_)
            return subset_
                       ? colormapSubsetRGB(colormap_, uint8_t(r), uint8_t(g), uint8_t(b), subset_)
                       : colormapRGB(colormap_, uint8_t(r), uint8_t(g), uint8_t(b));
        return sorted_.nearest(int32_t(r), int32_t(g), int32_t(b));
    }

    static inline const uint32_t blackPalette[256] = {};
    const bitmap_tag* src_;
    const uint32_t* subset_;
    bool fourBit_;
    const uint8_t* colormap_;
    const uint32_t* palette_;
    bool searchable_;
    SortedPalette sorted_;
    NearestCache cache_;
    uint32_t rgb_[256];
    uint8_t counted_[256];
};

} // namespace

uint32_t averageColor(const bitmap_tag* bm, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                      const uint32_t* subset) {
    // A 4-bit source's map is a colormap: its values are searched among
    // the 16 colours it names in the current palette.
    bool fourBit = isIndexed4(bm->pixelType);
    const uint8_t* colormap = sourceColormap(bm);
    const uint32_t* palette = sourcePalette(bm);
    if (fourBit ? !(colormap && paletteCurrent) : !palette) return 0;
    Window w{x0, y0, x1, y1};
    if (!clipWindow(bm, w)) return 0;
    uint32_t sumR = 0, sumG = 0, sumB = 0, count = 0;
    for (int32_t y = w.y0; y < w.y1; ++y)
        for (int32_t x = w.x0; x < w.x1; ++x) {
            uint32_t v = uint32_t(readPixel(bm, x, y));
            if (subset && !maskHas(subset, int(v & 0xFF))) continue;
            if (fourBit) v &= 15;
            sumR += colorR(bm, v);
            sumG += colorG(bm, v);
            sumB += colorB(bm, v);
            ++count;
        }
    if (count == 0) return 0;
    uint8_t r = uint8_t(roundedMean(sumR, count)), g = uint8_t(roundedMean(sumG, count)),
            b = uint8_t(roundedMean(sumB, count));
    if (fourBit)
        return subset ? colormapSubsetRGB(colormap, r, g, b, subset)
                      : colormapRGB(colormap, r, g, b);
    return subset ? paletteSubsetRGB(palette, r, g, b, subset) : paletteRGB(palette, r, g, b);
}

namespace {

// Fills mip->color and levels 1 .. levels - 1 from the source.
using MipFilterRoutine = void (*)(mip_tag* mip, const bitmap_tag* src, const uint32_t* subset);

void filterPlain(mip_tag* mip, const bitmap_tag* src, const uint32_t* subset) {
    mip->color = averageColor(src, 0, 0, src->width, src->height, subset);
    for (uint32_t i = 1; i < mip->levels; ++i) {
        bitmap_tag& level = mip->level[i];
        for (int32_t y = 0; y < level.height; ++y)
            for (int32_t x = 0; x < level.width; ++x)
                drawPixel(
                    &level,
                    int32_t(averageColor(src, x << i, y << i, (x + 1) << i, (y + 1) << i, subset)),
                    x, y);
    }
}

void filterIndexed(mip_tag* mip, const bitmap_tag* src, const uint32_t* subset) {
    IndexedBoxFilter box(src, subset);
    mip->color = box.average({0, 0, src->width, src->height});
    for (uint32_t i = 1; i < mip->levels; ++i) {
        bitmap_tag& level = mip->level[i];
        for (int32_t y = 0; y < level.height; ++y) {
            uint8_t* row = rowAt(level.pixels, level.rowBytes, y);
            for (int32_t x = 0; x < level.width; ++x)
                row[x] = box.average({x << i, y << i, (x + 1) << i, (y + 1) << i});
        }
    }
}

// By source: indexed sources (one byte a pixel, a map) have a fast filter.
enum MipSource { indexedSource, otherSource };
constexpr RoutinePair<MipFilterRoutine> mipFilterRoutines[] = {
    {filterPlain, filterIndexed},
    {filterPlain, nullptr},
};

} // namespace

extern "C" {

uint8_t mipCreateFromSubset(mip_tag** out, bitmap_tag* src, uint32_t levels, uint32_t,
                            const uint32_t* subset) {
    *out = nullptr;
    if (!src || !bitmapUsable(src, bytesPerPixel(src->pixelType)) || src->width < 1 ||
        src->height < 1) {
        DebugPrintf("Invalid source bitmap in mipCreate()\n");
        return 0;
    }
    if (src->width > maxSourceSide || src->height > maxSourceSide) {
        DebugPrintf("Source larger than 2048 pixels in mipCreate()\n");
        return 0;
    }
    int32_t lw = log2Ceil(src->width), lh = log2Ceil(src->height);
    int64_t n = std::min<int64_t>({levels, lw - 2, lh - 2});
    if (n < 1) {
        DebugPrintf("Source too small for a mip level in mipCreate()\n");
        return 0;
    }
    const uint8_t type = src->pixelType;
    mip_tag* mip = mipAllocChain(type, uint32_t(lw), uint32_t(lh), uint32_t(n), "mipCreate");
    if (!mip) return 0;
    // Every byte of every level starts at 0, before level 0 gets colour 0
    // and the source: the filter draws palette indexes, which on a type
    // outside the primitives' layouts (RGB444, ARGB4444, the 32-bit types)
    // cover only the first bytes of each row, and bitmapFill leaves such
    // types alone.
    for (uint32_t i = 0; i < mip->levels; ++i)
        std::memset(mip->level[i].pixels, 0,
                    size_t(mip->level[i].rowBytes) * size_t(mip->level[i].height));
    bitmapFill(&mip->level[0], 0);
    bitmapCopy(&mip->level[0], 0, 0, src);
    pickRoutine(mipFilterRoutines[hasMap(type) ? indexedSource : otherSource])(mip, src, subset);
    *out = mip;
    return 1;
}

uint8_t mipCreate(mip_tag** out, bitmap_tag* src, uint32_t levels, uint32_t extra) {
    return mipCreateFromSubset(out, src, levels, extra, nullptr);
}

void mipCopyBitmap(bitmap_tag* dst, int32_t x, int32_t y, mip_tag* mip, uint32_t level) {
    if (!mip || level >= mip->levels) return;
    bitmapCopy(dst, x, y, &mip->level[level]);
}

} // extern "C"
