// Special bitmaps: a keyed 8-bit picture compiled once, for one
// destination layout and position, into a stream of skips and opaque runs
// that is drawn with block moves and no per-pixel test.
//
// Record layout (one memory block from memAlloc, freed by
// bitmapFreeSpecial), all integers little-endian and unaligned:
//   0  i32  destination byte offset, from `pixels`, where the stream starts
//           (below `pixels`, so negative, for a bottom-up destination)
//   4  u8   destination pixel type: PIXEL_PAL8 or a screen type
//   5  u8   header format, 1: the extended header below follows
//   6  i32  destination width     the destination the record was built
//  10  i32  destination height    for: bitmapDrawSpecial refuses any
//  14  i32  destination rowBytes  other
//  18  u32  stream length in bytes, the two closing zero words included
//  22  ...  the command stream
// The command stream is a sequence of signed 16-bit words: n > 0 is an
// opaque run of n pixels, which follow as n bytes (PIXEL_PAL8) or n 16-bit
// pixels already converted through the type's screen table; -n is a skip
// of n destination bytes; 0 ends the stream (two are written). The stream
// only moves up through memory, so it visits the destination's rows in
// memory order: top to bottom, or bottom to top for a bottom-up template.
//
// Building. Source pixel (i, j) lands at destination (x + i, y + j), so
// every source row lands one destination row below the previous one,
// whatever the source's width; the row gap is written as part of a skip.
// A run goes on across a row end only where the next row's pixels follow
// directly in the destination's memory (source as wide as a row of the
// destination). Source rows are read row by row, so row padding is never
// taken for pixels. Pixels that fall outside the destination count as
// transparent, so a record never writes outside the destination it was
// built for. Runs longer than 32767 pixels and skips longer than 32768
// bytes are split into several commands. The stream starts at the first
// pixel of the source row lowest in memory (the top row, or the bottom
// row for a bottom-up template), clamped to the destination's pixel
// memory.
#include "bitmap/bitmap.h"
#include "blit/pixels.h"
#include "fastpath.h"
#include "memory.h"

#include <algorithm>

namespace {

constexpr size_t specialHeaderBytes = 22;
constexpr uint8_t specialHeaderFormat = 1;
constexpr int64_t longestRun = 32767, longestSkipBytes = 32768;

// The destination types a record can be built for: the 8-bit palette type
// and the screen types.
bool specialDestination(uint32_t type) {
    return (isIndexed8(type) && !isKeyed(type)) || isScreen16(type);
}

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
// and columns are visible and the position of each pixel, counted in
// destination pixels from the start of the destination row lowest in
// memory (row 0, or the last row of a bottom-up destination).
struct SpecialPlacement {
    const bitmap_tag* src;
    int64_t x, y, rowUnits, lowestRow;
    int64_t i0, i1, j0, j1; // visible source columns i0..i1-1, rows j0..j1-1

    SpecialPlacement(const bitmap_tag* s, const bitmap_tag* dst, int32_t px, int32_t py,
                     int64_t units)
        : src(s), x(px), y(py), rowUnits(units) {
        lowestRow = units < 0 && dst->height > 0 ? int64_t(dst->height - 1) * units : 0;
        i0 = std::max<int64_t>(0, -x);
        i1 = std::min<int64_t>(s->width, int64_t(dst->width) - x);
        j0 = std::max<int64_t>(0, -y);
        j1 = std::min<int64_t>(s->height, int64_t(dst->height) - y);
    }
    int64_t position(int64_t i, int64_t j) const { return (y + j) * rowUnits + x + i - lowestRow; }
    // Where the stream starts: the first pixel of the source row lowest in
    // memory, which no visible pixel lies before.
    int64_t start(int64_t destinationUnits) const {
        int64_t firstRow = rowUnits < 0 ? src->height - 1 : 0;
        return std::clamp<int64_t>(position(0, firstRow), 0, destinationUnits);
    }
    // The stream's start as a byte offset from the destination's `pixels`.
    int64_t startOffset(int64_t start, int bpp) const { return (start + lowestRow) * bpp; }
    // Source rows in the destination's memory order.
    size_t encode(StreamEncoder& e) const {
        for (int64_t k = j0; k < j1; ++k) {
            int64_t j = rowUnits < 0 ? j1 - 1 - (k - j0) : k;
            const uint8_t* row = rowAt(src->pixels, src->rowBytes, j);
            for (int64_t i = i0; i < i1; ++i)
                if (row[i]) e.add(position(i, j), row[i]);
        }
        return e.finish();
    }
};

// Copies a run of n bytes, byte by byte (plain), or (fast) runs of up to
// 16 bytes as two overlapping moves, runs of up to 512 bytes in 16-byte
// blocks ending with an overlapping one, and longer ones with memcpy; both
// write exactly the n bytes.
inline void copyRunPlain(uint8_t* d, const uint8_t* s, size_t n) {
    for (size_t i = 0; i < n; ++i)
        d[i] = s[i];
}

inline void copyRunFast(uint8_t* d, const uint8_t* s, size_t n) {
    if (n > 512) {
        std::memcpy(d, s, n);
    } else if (n > 16) {
        uint8_t last[16];
        std::memcpy(last, s + n - 16, 16);
        size_t blocks = (n - 1) / 16, i = 0;
        for (; i + 2 <= blocks; i += 2)
            std::memcpy(d + 16 * i, s + 16 * i, 32);
        if (i < blocks) std::memcpy(d + 16 * i, s + 16 * i, 16);
        std::memcpy(d + n - 16, last, 16);
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
}

// Plays a stream into pixel memory of `extent` bytes from `pixels`,
// starting `offset` bytes in. Each command is checked once against the
// stream's length and the extent, so even a damaged record cannot read or
// write outside them.
template <int bpp, void (*copyRun)(uint8_t*, const uint8_t*, size_t)>
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

using StreamPlayer = void (*)(uint8_t* pixels, size_t extent, size_t offset, const uint8_t* stream,
                              size_t streamLength);

// Indexed by 16-bit destination.
const RoutinePair<StreamPlayer> streamPlayers[2] = {
    {playStream<1, copyRunPlain>, playStream<1, copyRunFast>},
    {playStream<2, copyRunPlain>, playStream<2, copyRunFast>}};

} // namespace

extern "C" {

uint8_t* bitmapCreateSpecial(bitmap_tag* src, bitmap_tag* dst, int32_t x, int32_t y) {
    if (!dst) {
        DebugPrintf("Bad destination bitmap in bitmapCreateSpecial\n");
        return nullptr;
    }
    uint8_t type = dst->pixelType;
    if (!specialDestination(type)) {
        DebugPrintf("Unsupported destination bitmap type in bitmapCreateSpecial\n");
        return nullptr;
    }
    int bpp = bytesPerPixel(type);
    // The destination is only a template: its pixels need not exist, but
    // its layout must be one the stream's byte offsets can describe.
    int64_t rowLength = dst->rowBytes < 0 ? -int64_t(dst->rowBytes) : dst->rowBytes;
    bool layoutOk = dst->width >= 0 && dst->height >= 0 && dst->rowBytes % bpp == 0 &&
                    rowLength >= int64_t(dst->width) * bpp &&
                    rowLength * dst->height <= int64_t(INT32_MAX);
    if (!layoutOk) {
        DebugPrintf("Bad destination bitmap in bitmapCreateSpecial\n");
        return nullptr;
    }
    if (!bitmapUsable(src, 1) || bytesPerPixel(src->pixelType) != 1) {
        DebugPrintf("Bad source bitmap in bitmapCreateSpecial\n");
        return nullptr;
    }
    const uint16_t* table = screenTableOf(type);
    SpecialPlacement placement(src, dst, x, y, dst->rowBytes / bpp);
    int64_t start = placement.start(rowLength / bpp * dst->height);
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
    putLE32(record, uint32_t(placement.startOffset(start, bpp)));
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
    if (!specialDestination(type)) {
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
    // The stream plays upward from the row lowest in memory, through the
    // bytes from its first pixel to the last pixel of the highest row.
    const int64_t rowBytes = dst->rowBytes, lastRow = dst->height - 1;
    const int64_t lowestRow = rowBytes < 0 ? lastRow : 0;
    const int64_t extent =
        lastRow * (rowBytes < 0 ? -rowBytes : rowBytes) + int64_t(dst->width) * bpp;
    const int64_t offset = int64_t(int32_t(getLE32(special))) - lowestRow * rowBytes;
    if (offset < 0) return;
    const uint8_t* stream = special + specialHeaderBytes;
    size_t streamLength = getLE32(special + 18);
    pickRoutine(streamPlayers[bpp == 2])(rowAt(dst->pixels, rowBytes, lowestRow), size_t(extent),
                                         size_t(offset), stream, streamLength);
}

void bitmapFreeSpecial(uint8_t* special) {
    releaseBlock(special);
}

} // extern "C"
