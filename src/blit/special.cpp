// Special bitmaps: a keyed 8-bit picture compiled once, for one
// destination layout and position, into a stream of skips and opaque runs
// that is drawn with block moves and no per-pixel test.
//
// Record layout (one memory block from memAlloc, freed by
// bitmapFreeSpecial), all integers little-endian and unaligned:
//   0  u32  destination byte offset where the stream starts
//   4  u8   destination pixel type: 2, 4 or 5
//   5  u8   header format, 1: the extended header below follows
//   6  i32  destination width     the destination the record was built
//  10  i32  destination height    for: bitmapDrawSpecial refuses any
//  14  i32  destination rowBytes  other
//  18  u32  stream length in bytes, the two closing zero words included
//  22  ...  the command stream
// The command stream is a sequence of signed 16-bit words: n > 0 is an
// opaque run of n pixels, which follow as n bytes (type 2) or n 16-bit
// pixels already converted through screenPalette565/555 (types 4 and 5);
// -n is a skip of n destination bytes; 0 ends the stream (two are written).
//
// Building. Source pixel (i, j) lands at destination (x + i, y + j), so
// every source row lands one destination row below the previous one,
// whatever the source's width; the row gap is written as part of a skip.
// A run goes on across a row end only where the next row's pixels follow
// directly in the destination (source as wide as a row of the
// destination). Source rows are read row by row, so row padding is never
// taken for pixels. Pixels that fall outside the destination count as
// transparent, so a record never writes outside the destination it was
// built for. Runs longer than 32767 pixels and skips longer than 32768
// bytes are split into several commands. The stream starts at (x, y),
// clamped to the destination's pixel memory (its first pixel when (x, y)
// lies above the destination or left of its first row).
#include "bitmap/bitmap.h"
#include "blit/pixels.h"
#include "memory.h"

#include <algorithm>

#if !SPANWRIGHT_GENERIC_ONLY
#include <emmintrin.h>
#endif

namespace {

constexpr size_t specialHeaderBytes = 22;
constexpr uint8_t specialHeaderFormat = 1;
constexpr int64_t longestRun = 32767, longestSkipBytes = 32768;

void putLE32(uint8_t* p, uint32_t v) {
    for (int k = 0; k < 4; ++k)
        p[k] = uint8_t(v >> (8 * k));
}
uint32_t getLE32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void putLE16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
int16_t getLE16(const uint8_t* p) {
    return int16_t(uint16_t(p[0] | p[1] << 8));
}

// Writes the command stream for visible opaque pixels handed over in
// increasing destination position (in pixels from the first pixel). With
// no output it only counts the bytes, so the record can be allocated at
// its exact size before the second, writing pass.
class StreamEncoder {
  public:
    StreamEncoder(uint8_t* out, int bytesPerPixel, const uint16_t* table, int64_t start)
        : out_(out), bpp_(bytesPerPixel), table_(table), position_(start) {}

    void add(int64_t position, uint8_t index) {
        if (runCount_ == 0 || position != position_ || runCount_ == longestRun) {
            closeRun();
            skip(position - position_);
            runHeader_ = length_;
            length_ += 2;
        }
        if (out_) {
            if (bpp_ == 1)
                out_[length_] = index;
            else
                putLE16(out_ + length_, table_[index]);
        }
        length_ += size_t(bpp_);
        ++runCount_;
        position_ = position + 1;
    }

    // Closes the last run and writes the two end words; returns the length.
    size_t finish() {
        closeRun();
        word(0);
        word(0);
        return length_;
    }

  private:
    void word(int16_t w) {
        if (out_) putLE16(out_ + length_, uint16_t(w));
        length_ += 2;
    }
    void closeRun() {
        if (runCount_ && out_) putLE16(out_ + runHeader_, uint16_t(runCount_));
        runCount_ = 0;
    }
    void skip(int64_t pixels) {
        const int64_t most = longestSkipBytes / bpp_;
        for (; pixels > 0; pixels -= most)
            word(int16_t(-std::min(pixels, most) * bpp_));
    }

    uint8_t* out_;
    int bpp_;
    const uint16_t* table_;
    int64_t position_;
    size_t length_ = 0, runHeader_ = 0;
    int64_t runCount_ = 0;
};

// The placement of a source in the destination layout: which source rows
// and columns are visible and the destination position of each pixel.
struct SpecialPlacement {
    const bitmap_tag* src;
    int64_t x, y, rowUnits;
    int64_t i0, i1, j0, j1; // visible source columns i0..i1-1, rows j0..j1-1

    SpecialPlacement(const bitmap_tag* s, const bitmap_tag* dst, int32_t px, int32_t py,
                     int64_t units)
        : src(s), x(px), y(py), rowUnits(units) {
        i0 = std::max<int64_t>(0, -x);
        i1 = std::min<int64_t>(s->width, int64_t(dst->width) - x);
        j0 = std::max<int64_t>(0, -y);
        j1 = std::min<int64_t>(s->height, int64_t(dst->height) - y);
    }
    // The position where the stream starts; no visible pixel lies before
    // it, since every one is at y * rowUnits + x or beyond.
    int64_t start(int64_t destinationUnits) const {
        return std::clamp<int64_t>(y * rowUnits + x, 0, destinationUnits);
    }
    size_t encode(StreamEncoder& e) const {
        for (int64_t j = j0; j < j1; ++j) {
            const uint8_t* row = rowAt(src->pixels, src->rowBytes, j);
            int64_t base = (y + j) * rowUnits + x;
            for (int64_t i = i0; i < i1; ++i)
                if (row[i]) e.add(base + i, row[i]);
        }
        return e.finish();
    }
};

// Copies a run of n bytes. The fast version moves runs of up to 16 bytes
// as two overlapping loads and stores, runs of up to 256 bytes in 16-byte
// blocks ending with an overlapping one, and longer ones with memcpy; all
// write exactly the n bytes.
inline void copyRun(uint8_t* d, const uint8_t* s, size_t n) {
#if SPANWRIGHT_GENERIC_ONLY
    for (size_t i = 0; i < n; ++i)
        d[i] = s[i];
#else
    if (n > 512) {
        std::memcpy(d, s, n);
    } else if (n > 16) {
        const __m128i* from = reinterpret_cast<const __m128i*>(s);
        __m128i* to = reinterpret_cast<__m128i*>(d);
        __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + n - 16));
        size_t blocks = (n - 1) / 16;
        size_t i = 0;
        for (; i + 2 <= blocks; i += 2) {
            __m128i a = _mm_loadu_si128(from + i), b = _mm_loadu_si128(from + i + 1);
            _mm_storeu_si128(to + i, a);
            _mm_storeu_si128(to + i + 1, b);
        }
        if (i < blocks) _mm_storeu_si128(to + i, _mm_loadu_si128(from + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + n - 16), last);
    } else if (n >= 8) {
        uint64_t head, tail;
        std::memcpy(&head, s, 8);
        std::memcpy(&tail, s + n - 8, 8);
        std::memcpy(d, &head, 8);
        std::memcpy(d + n - 8, &tail, 8);
    } else if (n >= 4) {
        uint32_t head = load32(s), tail = load32(s + n - 4);
        store32(d, head);
        store32(d + n - 4, tail);
    } else {
        d[0] = s[0];
        d[n / 2] = s[n / 2];
        d[n - 1] = s[n - 1];
    }
#endif
}

// Plays a stream into pixel memory of `extent` bytes from `pixels`,
// starting `offset` bytes in. Each command is checked once against the
// stream's length and the extent, so even a damaged record cannot read or
// write outside them.
template <int bpp>
void playStream(uint8_t* pixels, size_t extent, size_t offset, const uint8_t* stream,
                size_t streamLength) {
    size_t at = offset, read = 0;
    while (read + 2 <= streamLength) {
        int32_t n = getLE16(stream + read);
        read += 2;
        if (n == 0) return;
        if (n < 0) {
            at += size_t(-n);
            continue;
        }
        size_t bytes = size_t(n) * bpp;
        if (bytes > streamLength - read || at > extent || bytes > extent - at) return;
        copyRun(pixels + at, stream + read, bytes);
        at += bytes;
        read += bytes;
    }
}

} // namespace

extern "C" {

uint8_t* bitmapCreateSpecial(bitmap_tag* src, bitmap_tag* dst, int32_t x, int32_t y) {
    if (!dst) {
        DebugPrintf("Bad destination bitmap in bitmapCreateSpecial\n");
        return nullptr;
    }
    uint8_t type = dst->pixelType;
    if (type != PIXEL_PAL8 && type != PIXEL_RGB565 && type != PIXEL_ARGB1555) {
        DebugPrintf("Unsupported destination bitmap type in bitmapCreateSpecial\n");
        return nullptr;
    }
    int bpp = bytesPerPixel(type);
    // The destination is only a template: its pixels need not exist, but
    // its layout must be one the stream's byte offsets can describe.
    bool layoutOk = dst->width >= 0 && dst->height >= 0 && dst->rowBytes % bpp == 0 &&
                    int64_t(dst->rowBytes) >= int64_t(dst->width) * bpp &&
                    int64_t(dst->rowBytes) * dst->height <= int64_t(UINT32_MAX);
    if (!layoutOk) {
        DebugPrintf("Bad destination bitmap in bitmapCreateSpecial\n");
        return nullptr;
    }
    if (!bitmapUsable(src, 1) || bytesPerPixel(src->pixelType) != 1) {
        DebugPrintf("Bad source bitmap in bitmapCreateSpecial\n");
        return nullptr;
    }
    const uint16_t* table = type == PIXEL_RGB565     ? screenPalette565
                            : type == PIXEL_ARGB1555 ? screenPalette555
                                                     : nullptr;
    SpecialPlacement placement(src, dst, x, y, dst->rowBytes / bpp);
    int64_t start = placement.start(int64_t(dst->rowBytes / bpp) * dst->height);
    StreamEncoder counter(nullptr, bpp, table, start);
    size_t streamLength = placement.encode(counter);
    if (streamLength > UINT32_MAX - specialHeaderBytes) {
        DebugPrintf("Mem alloc failed in bmSpecial create\n");
        return nullptr;
    }
    uint8_t* record = static_cast<uint8_t*>(memAlloc(specialHeaderBytes + streamLength));
    if (!record) {
        DebugPrintf("Mem alloc failed in bmSpecial create\n");
        return nullptr;
    }
    putLE32(record, uint32_t(start * bpp));
    record[4] = type;
    record[5] = specialHeaderFormat;
    putLE32(record + 6, uint32_t(dst->width));
    putLE32(record + 10, uint32_t(dst->height));
    putLE32(record + 14, uint32_t(dst->rowBytes));
    putLE32(record + 18, uint32_t(streamLength));
    StreamEncoder writer(record + specialHeaderBytes, bpp, table, start);
    placement.encode(writer);
    return record;
}

// Draws a record exactly where and how it was built. A record of another
// destination type, size or rowBytes than `dst` is refused.
void bitmapDrawSpecial(bitmap_tag* dst, uint8_t* special) {
    if (!dst || !special) return;
    uint8_t type = special[4];
    if (type != PIXEL_PAL8 && type != PIXEL_RGB565 && type != PIXEL_ARGB1555) {
        DebugPrintf("Bad source type in bmDrawSpecial\n");
        return;
    }
    if (special[5] != specialHeaderFormat || dst->pixelType != type ||
        int32_t(getLE32(special + 6)) != dst->width ||
        int32_t(getLE32(special + 10)) != dst->height ||
        int32_t(getLE32(special + 14)) != dst->rowBytes) {
        DebugPrintf("Special bitmap does not fit the destination in bmDrawSpecial\n");
        return;
    }
    int bpp = bytesPerPixel(type);
    if (!bitmapUsable(dst, bpp) || dst->width == 0 || dst->height == 0) return;
    size_t extent = size_t(dst->height - 1) * size_t(dst->rowBytes) + size_t(dst->width) * bpp;
    size_t offset = getLE32(special);
    const uint8_t* stream = special + specialHeaderBytes;
    size_t streamLength = getLE32(special + 18);
    if (bpp == 1)
        playStream<1>(dst->pixels, extent, offset, stream, streamLength);
    else
        playStream<2>(dst->pixels, extent, offset, stream, streamLength);
}

void bitmapFreeSpecial(uint8_t* special) {
    releaseBlock(special);
}

} // extern "C"
