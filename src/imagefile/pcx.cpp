// PCX reading (through its variant rows) and 8-bit writing (version 5, one
// plane, run-length coded, 256-colour palette at the end of the file).
#include "imagefile/pcx.h"

#include "bitmap/bitmap.h"
#include "blit/pixels.h"
#include "imagefile/format.h"
#include "imagefile/writer.h"
#include "memory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint8_t pcxManufacturer = 10;
constexpr uint8_t pcxPaletteMarker = 12;
constexpr uint32_t pcxMaxRun = 63;

void unpackBytes(uint8_t* row, const uint8_t* line, int32_t width, int32_t) {
    std::memcpy(row, line, size_t(width));
}
// One bit of each plane, the first plane the lowest bit of the index.
template <int Planes>
void unpackBitPlanes(uint8_t* row, const uint8_t* line, int32_t width, int32_t planeBytes) {
    for (int32_t x = 0; x < width; ++x) {
        uint8_t v = 0;
        for (int p = 0; p < Planes; ++p)
            v |= uint8_t(((line[p * planeBytes + x / 8] >> (7 - x % 8)) & 1) << p);
        row[x] = v;
    }
}
// Pixels of `Bits` packed into bytes, the leftmost in the high bits.
template <int Bits>
void unpackPacked(uint8_t* row, const uint8_t* line, int32_t width, int32_t) {
    constexpr int perByte = 8 / Bits;
    for (int32_t x = 0; x < width; ++x)
        row[x] = uint8_t((line[x / perByte] >> (8 - Bits * (1 + x % perByte))) & ((1 << Bits) - 1));
}
// Red, green, blue (and alpha) planes into 32-bit pixels.
template <bool Alpha>
void unpackColourPlanes(uint8_t* row, const uint8_t* line, int32_t width, int32_t planeBytes) {
    for (int32_t x = 0; x < width; ++x)
        storeLe32(row + 4 * x, uint32_t(Alpha ? line[3 * planeBytes + x] : 0) << 24 |
                                   uint32_t(line[x]) << 16 | uint32_t(line[planeBytes + x]) << 8 |
                                   line[2 * planeBytes + x]);
}

constexpr uint32_t blackAndWhite[16] = {0x000000, 0xFFFFFF};
constexpr uint32_t cgaColours[16] = {0x000000, 0x55FFFF, 0xFF55FF, 0xFFFFFF};
constexpr uint32_t egaColours[16] = {0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA,
                                     0xAA5500, 0xAAAAAA, 0x555555, 0x5555FF, 0x55FF55, 0x55FFFF,
                                     0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF};

constexpr PcxVariant pcxVariants[] = {
    {8, 1, PIXEL_PAL8, true, unpackBytes, nullptr, nullptr},
    {1, 1, PIXEL_PAL8, true, unpackBitPlanes<1>, blackAndWhite, "black and white"},
    {1, 2, PIXEL_PAL8, true, unpackBitPlanes<2>, cgaColours, "default CGA colours"},
    {1, 3, PIXEL_PAL8, true, unpackBitPlanes<3>, egaColours, "default EGA colours"},
    {1, 4, PIXEL_PAL8, true, unpackBitPlanes<4>, egaColours, "default EGA colours"},
    {2, 1, PIXEL_PAL8, true, unpackPacked<2>, cgaColours, "default CGA colours"},
    {4, 1, PIXEL_PAL8, true, unpackPacked<4>, egaColours, "default EGA colours"},
    {8, 3, PIXEL_RGB888, false, unpackColourPlanes<false>, nullptr, nullptr},
    {8, 4, PIXEL_ARGB8888, false, unpackColourPlanes<true>, nullptr, nullptr},
};

const PcxVariant* pcxVariantOf(const uint8_t* header) {
    for (const PcxVariant& v : pcxVariants)
        if (v.bits == header[3] && v.planes == header[65]) return &v;
    return nullptr;
}

bool pcxHasTrailingPalette(const uint8_t* header) {
    return header[1] == 5 && header[3] == 8 && header[65] == 1;
}

// The colours a variant of fewer than 8 bits takes: the header's unless it
// leaves every one of them black, then the variant's defaults. Black and
// white pictures are black and white whatever the header says.
const uint32_t* pcxLowDepthColours(const PcxReader& r) {
    const PcxVariant& v = *r.variant;
    if (v.bits * v.planes == 1) return v.defaults;
    const int used = v.bits * v.planes >= 4 ? 16 : 1 << (v.bits * v.planes);
    for (int i = 0; i < 3 * used; ++i)
        if (r.header[16 + i]) return nullptr;
    return v.defaults;
}

// "PCX with 2 planes of 8 bits".
void pcxVariantText(const uint8_t* h, char* text, size_t size) {
    std::snprintf(text, size, "PCX with %u plane%s of %u bit%s", h[65], h[65] == 1 ? "" : "s", h[3],
                  h[3] == 1 ? "" : "s");
}

// Bytes of one plane of a scanline: the header's bytes per line when that
// holds the plane's pixels (some writers store odd lengths), else their
// length rounded up to an even count. The bytes past the pixels are
// padding.
int32_t pcxPlaneBytes(const PcxReader& r) {
    int32_t pixelBytes = (pcxWidth(r) * r.variant->bits + 7) / 8;
    int32_t perLine = int32_t(loadLe16(r.header + 66));
    return perLine >= pixelBytes ? perLine : pixelBytes + (pixelBytes & 1);
}

// Decodes the scanlines into `line` and unpacks each into its row, `Run`
// choosing raw bytes or the run-length decoder once for the whole image.
template <bool Run>
bool pcxDecodeRows(bitmap_tag* bm, PcxReader* state, uint8_t* line) {
    const char* pixelFailure = Run ? "pcxrunGetRLE() failed in pcxReadBitmap()\n"
                                   : "pcxrunGetCh() failed in pcxReadBitmap()\n";
    auto next = [state](uint8_t* byte) {
        return Run ? pcxrunReadByte(state, byte) : pcxrunGetCh(state, byte);
    };
    const PcxVariant& variant = *state->variant;
    const int32_t width = pcxWidth(*state), height = pcxHeight(*state);
    const int32_t planeBytes = pcxPlaneBytes(*state);
    const int32_t pixelBytes = (width * variant.bits + 7) / 8;
    for (int32_t y = 0; y < height; ++y) {
        // Padding is decoded like the pixels: the writer may fold it into
        // a plane's last run.
        for (int32_t p = 0; p < variant.planes; ++p)
            for (int32_t i = 0; i < planeBytes; ++i)
                if (!next(&line[p * planeBytes + i])) {
                    DebugPrintf("%s", i < pixelBytes ? pixelFailure
                                                     : "pcxrunGetCh() failed in pcxReadBitmap()\n");
                    return false;
                }
        variant.unpack(rowAt(bm->pixels, bm->rowBytes, y), line, width, planeBytes);
    }
    return true;
}

bool pcxLayout(const PcxReader& r, ImageLayout* layout) {
    pcxVariantText(r.header, layout->variant, sizeof layout->variant);
    if (!r.variant) return false;
    layout->width = pcxWidth(r);
    layout->height = pcxHeight(r);
    layout->pixelType = r.variant->pixelType;
    layout->indexed = layout->palette = r.variant->indexed;
    layout->fourBit = r.variant->bits == 8;
    return true;
}

// True when the pixel data after the header could decode to the image the
// header describes (a count byte and its value give at most 63 bytes), so a
// loader allocates no bitmap that a short file could never fill.
bool pcxFitsFile(const PcxReader& r, const char* caller) {
    int64_t width = pcxWidth(r), height = pcxHeight(r);
    int64_t dataBytes = int64_t(libfileSize(r.file)) - pcxHeaderBytes;
    // Raw data gives one byte per byte; a count byte and its value at most
    // 63, which stays below 32 per byte.
    int64_t perByte = r.header[2] == 0 ? 1 : 32;
    int64_t lineBytes = int64_t(pcxPlaneBytes(r)) * r.variant->planes;
    if (lineBytes * height <= dataBytes * perByte) return true;
    DebugPrintf("PCX data too short for a %lld x %lld image in %s()\n",
                static_cast<long long>(width), static_cast<long long>(height), caller);
    return false;
}

constexpr ImageCodec<PcxReader> pcxCodec = {
    "pcxSetup", "pcxReadBitmap", "pcxReadPalette", pcxSetup,
    pcxLayout,  pcxFitsFile,     pcxReadBitmap,    pcxReadPalette,
};

bool pcxContent(const uint8_t* head, uint32_t bytes) {
    return bytes >= 4 && head[0] == pcxManufacturer && head[1] <= 5 && head[1] != 1 &&
           head[2] <= 1 && (head[3] == 1 || head[3] == 2 || head[3] == 4 || head[3] == 8);
}

bool pcxDescribe(file_tag* file, char* text, size_t size) {
    PcxReader r;
    if (!pcxSetup(&r, file)) return false;
    const uint8_t* h = r.header;
    std::snprintf(text, size, "version %u, %u bits x %u planes, %s", h[1], h[3], h[65],
                  h[2] == 0   ? "raw"
                  : h[2] == 1 ? "run-length"
                              : "unknown encoding");
    return true;
}

PaletteOrigin pcxPaletteOrigin(file_tag* file) {
    PcxReader r;
    if (!pcxSetup(&r, file) || !r.variant || !r.variant->indexed) return {nullptr, false};
    if (r.variant->defaults)
        return {pcxLowDepthColours(r) ? r.variant->defaultsName : "header (16 colours)", false};
    uint8_t marker = 0;
    bool trailing = pcxHasTrailingPalette(r.header) && libfileSeekFromEnd(file, pcxPaletteBytes) &&
                    libfileReadExact(file, &marker, 1) && marker == pcxPaletteMarker;
    return trailing ? PaletteOrigin{"256 colours at the end of the file", false}
                    : PaletteOrigin{"header (16 colours)", true};
}

// The run being gathered while the rows are written: a single value goes
// out as itself (escaped by 0xC1 when it looks like a count byte), a longer
// run as count byte and value; runs end at a row's end.
class PcxRunEncoder {
  public:
    explicit PcxRunEncoder(FileWriter& out) : out_(out) {}

    void put(uint8_t value) {
        if (count_ > 0 && value == value_) {
            if (++count_ == pcxMaxRun + 1) {
                out_.put(0xFF);
                out_.put(value);
                count_ = 1;
            }
            return;
        }
        endRun();
        value_ = value;
        count_ = 1;
    }
    void endRun() {
        if (count_ == 1) {
            if (value_ >= 0xC0) out_.put(0xC1);
            out_.put(value_);
        } else if (count_ > 1) {
            out_.put(uint8_t(0xC0 | count_));
            out_.put(value_);
        }
        count_ = 0;
    }

  private:
    FileWriter& out_;
    uint8_t value_ = 0;
    uint32_t count_ = 0;
};

} // namespace

const ImageFormat pcxFormat = {
    "PCX",
    pcxFileIsPcx,
    false,
    pcxContent,
    [](bitmap_tag** out, file_tag* file, const LoadRequest& request) {
        return loadImage(pcxCodec, out, file, request);
    },
    [](bitmap_tag* bm, file_tag* file, const char* caller) {
        return readImage(pcxCodec, bm, file, caller);
    },
    [](uint32_t* palette, file_tag* file, const char* caller) {
        return readImagePalette(pcxCodec, palette, file, caller);
    },
    pcxDescribe,
    pcxPaletteOrigin,
    true,
};

bool pcxFileIsPcx(file_tag* file) {
    uint32_t position = libfileGetCurrentPosition(file);
    int8_t first;
    bool read = libfileReadInt8(file, &first);
    if (!read) DebugPrintf("libfileReadInt8() failed in pcxFileIsPcx()\n");
    libfileSeekFromStart(file, position);
    return read && uint8_t(first) == pcxManufacturer;
}

bool pcxSetup(PcxReader* state, file_tag* file) {
    state->file = file;
    state->variant = nullptr;
    state->position = state->filled = state->repeats = 0;
    state->repeatValue = 0;
    if (!libfileReadExact(file, state->header, pcxHeaderBytes)) {
        DebugPrintf("libfileReadExact() failed in pcxSetup()\n");
        return false;
    }
    if (state->header[0] != pcxManufacturer) {
        DebugPrintf("Not a PCX file in pcxSetup()\n");
        return false;
    }
    state->variant = pcxVariantOf(state->header);
    return true;
}

bool pcxrunInit(PcxReader* state) {
    state->position = state->filled = state->repeats = 0;
    uint32_t got;
    if (!libfileReadAtMost(&got, state->file, state->buffer, sizeof state->buffer)) {
        DebugPrintf("libfileReadAtMost() failed in pcxrunInit()\n");
        return false;
    }
    state->filled = got;
    return true;
}

bool pcxrunGetCh(PcxReader* state, uint8_t* byte) {
    if (state->position >= state->filled) {
        uint32_t got;
        if (!libfileReadAtMost(&got, state->file, state->buffer, sizeof state->buffer)) {
            DebugPrintf("libfileReadAtMost() failed in pcxrunGetCh()\n");
            return false;
        }
        state->position = 0;
        state->filled = got;
        if (got == 0) {
            DebugPrintf("Unexpected end of file in pcxrunGetCh()\n");
            return false;
        }
    }
    *byte = state->buffer[state->position++];
    return true;
}

bool pcxrunReadByte(PcxReader* state, uint8_t* byte) {
    if (state->repeats > 0) {
        --state->repeats;
        *byte = state->repeatValue;
        return true;
    }
    uint8_t c;
    if (!pcxrunGetCh(state, &c)) {
        DebugPrintf("pcxrunGetCh() failed in pcxrunReadByte()\n");
        return false;
    }
    if ((c & 0xC0) != 0xC0) {
        *byte = c;
        return true;
    }
    // A count byte of 0xC0 yields its value once, like 0xC1.
    uint32_t count = c & 0x3F;
    if (!pcxrunGetCh(state, &state->repeatValue)) {
        DebugPrintf("pcxrunGetCh() failed in pcxrunReadByte()\n");
        return false;
    }
    state->repeats = count > 0 ? count - 1 : 0;
    *byte = state->repeatValue;
    return true;
}

bool pcxReadBitmap(bitmap_tag* bm, PcxReader* state) {
    const PcxVariant* variant = state->variant;
    if (!variant) {
        char text[64];
        pcxVariantText(state->header, text, sizeof text);
        DebugPrintf("%s is not supported in pcxReadBitmap()\n", text);
        return false;
    }
    int32_t width = pcxWidth(*state), height = pcxHeight(*state);
    if (!imageSizeAcceptable(width, height, "pcxReadBitmap")) return false;
    if (!bitmapUsable(bm, bytesPerPixel(variant->pixelType)) || width > bm->width ||
        height > bm->height) {
        DebugPrintf("PCX image larger than the bitmap in pcxReadBitmap()\n");
        return false;
    }
    if (!libfileSeekFromStart(state->file, pcxHeaderBytes)) {
        DebugPrintf("libfileSeekFromStart() failed in pcxReadBitmap()\n");
        return false;
    }
    if (!pcxrunInit(state)) return false;
    const uint8_t encoding = state->header[2];
    if (encoding > 1) {
        DebugPrintf("Bad encoding in pcxReadBitmap()\n");
        return false;
    }
    auto* line = static_cast<uint8_t*>(memAlloc(size_t(pcxPlaneBytes(*state)) * variant->planes));
    if (!line) {
        DebugPrintf("memAlloc() failed in pcxReadBitmap()\n");
        return false;
    }
    bool ok =
        encoding ? pcxDecodeRows<true>(bm, state, line) : pcxDecodeRows<false>(bm, state, line);
    memFree(line);
    return ok;
}

bool pcxReadPalette(uint32_t* palette, PcxReader* state) {
    // Fewer than 8 bits: the palette is in the header (or a default); such
    // files are often shorter than a trailing palette would be.
    if (state->variant && state->variant->defaults) {
        if (const uint32_t* colours = pcxLowDepthColours(*state)) {
            for (int i = 0; i < 256; ++i)
                paletteSetEntry(palette, i, colours[i % 16]);
            return true;
        }
    } else {
        uint8_t marker;
        if (!libfileSeekFromEnd(state->file, pcxPaletteBytes) ||
            !libfileReadExact(state->file, &marker, 1)) {
            DebugPrintf("libfileReadExact() failed in pcxReadPalette()\n");
            return false;
        }
        if (pcxHasTrailingPalette(state->header) && marker == pcxPaletteMarker) {
            uint8_t rgb[768];
            if (!libfileReadExact(state->file, rgb, sizeof rgb)) {
                DebugPrintf("libfileRead() failed in pcxReadPalette()\n");
                return false;
            }
            for (int i = 0; i < 256; ++i)
                paletteSetEntry(palette, i,
                                uint32_t(rgb[3 * i]) << 16 | uint32_t(rgb[3 * i + 1]) << 8 |
                                    rgb[3 * i + 2]);
            return true;
        }
    }
    // Older files: the header's 16 colours, repeated through the palette.
    const uint8_t* h = state->header;
    for (int i = 0; i < 256; ++i) {
        const uint8_t* c = h + 16 + 3 * (i % 16);
        paletteSetEntry(palette, i, uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2]);
    }
    return true;
}

bool pcxWriteBitmap(file_tag* file, bitmap_tag* bm, const uint32_t* palette) {
    if (!file || !palette || !bitmapUsable(bm, bytesPerPixel(bm ? bm->pixelType : 0))) {
        DebugPrintf("Missing file, bitmap or palette in pcxWriteBitmap()\n");
        return false;
    }
    int32_t width = bm->width, height = bm->height;
    // xmax and ymax are signed 16-bit fields.
    if (width < 1 || height < 1 || width > 32768 || height > 32768) {
        DebugPrintf("Bitmap size %d x %d not writable in pcxWriteBitmap()\n", width, height);
        return false;
    }
    FileWriter out(file);
    uint8_t* header = out.reserve(pcxHeaderBytes);
    std::memset(header, 0, pcxHeaderBytes);
    header[0] = pcxManufacturer;
    header[1] = 5;
    header[2] = 1;
    header[3] = 8;
    storeLe16(header + 8, uint32_t(width - 1));
    storeLe16(header + 10, uint32_t(height - 1));
    storeLe16(header + 12, uint32_t(width));
    storeLe16(header + 14, uint32_t(height));
    header[65] = 1;
    storeLe16(header + 66, uint32_t(width + (width & 1)));
    storeLe16(header + 68, 1);
    out.commit(pcxHeaderBytes);
    if (!out.flush()) {
        DebugPrintf("Unable to write pcx header\n");
        return false;
    }

    // readPixel's indexes: every layout's byte, and for a 16-bit screen
    // pixel the first index whose screen-table entry it is (0 for none),
    // found here by a binary search of the table sorted by pixel instead of
    // readPixel's scan of all 256 entries.
    const uint16_t* table = screenTableOf(bm->pixelType);
    uint32_t sorted[256];
    for (uint32_t i = 0; table && i < 256; ++i)
        sorted[i] = uint32_t(table[i]) << 8 | i;
    std::sort(sorted, sorted + (table ? 256 : 0));
    auto indexAt = [&](int32_t x, int32_t y) {
        if (!table) return uint8_t(readPixel(bm, x, y));
        const uint32_t v = load16(primitivePixel(bm, x, y));
        const uint32_t* it = std::lower_bound(sorted, sorted + 256, v << 8);
        return it != sorted + 256 && *it >> 8 == v ? uint8_t(*it) : uint8_t(0);
    };
    PcxRunEncoder runs(out);
    for (int32_t y = 0; y < height && !out.failed(); ++y) {
        for (int32_t x = 0; x < width; ++x)
            runs.put(indexAt(x, y));
        if (width & 1) runs.put(0);
        runs.endRun();
    }
    out.put(pcxPaletteMarker);
    if (!out.flush()) {
        DebugPrintf("Error writing file\n");
        return false;
    }
    // The palette goes out a byte at a time, each write checked.
    for (int i = 0; i < 256; ++i) {
        uint32_t entry = paletteGetEntry(palette, i);
        for (int c = 0; c < 3; ++c) {
            out.put(uint8_t(entry >> (16 - 8 * c)));
            if (!out.flush()) {
                DebugPrintf("fileWrite() of %c failed in pcxWriteBitmap()\n", "rgb"[c]);
                return false;
            }
        }
    }
    return true;
}

extern "C" uint8_t bitmapWritePcx(file_tag* file, bitmap_tag* bm, const uint32_t* palette) {
    if (!pcxWriteBitmap(file, bm, palette)) {
        DebugPrintf("pcxWriteBitmap() failed in bitmapWritePcx()\n");
        return 0;
    }
    return 1;
}
