// 8-bit PCX reading and writing (version 5, one plane, run-length coded,
// 256-colour palette at the end of the file).
#include "imagefile/pcx.h"

#include "bitmap/bitmap.h"
#include "imagefile/imagefile.h"

#include <cstring>

namespace {

constexpr uint8_t pcxManufacturer = 10;
constexpr uint8_t pcxPaletteMarker = 12;
constexpr uint32_t pcxMaxRun = 63;

// Reads the rows of the image into the bitmap, `Run` choosing raw bytes or
// the run-length decoder once for the whole image.
template <bool Run>
bool pcxDecodeRows(bitmap_tag* bm, PcxReader* state, int32_t width, int32_t height) {
    const char* pixelFailure = Run ? "pcxrunGetRLE() failed in pcxReadBitmap()\n"
                                   : "pcxrunGetCh() failed in pcxReadBitmap()\n";
    auto next = [state](uint8_t* byte) {
        return Run ? pcxrunReadByte(state, byte) : pcxrunGetCh(state, byte);
    };
    const int32_t padding = pcxRowBytes(*state) - width;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = bm->pixels + int64_t(y) * bm->rowBytes;
        for (int32_t x = 0; x < width; ++x)
            if (!next(&row[x])) {
                DebugPrintf("%s", pixelFailure);
                return false;
            }
        // Padding is decoded like the pixels: the writer may fold it into
        // the row's last run.
        uint8_t pad;
        for (int32_t i = 0; i < padding; ++i)
            if (!next(&pad)) {
                DebugPrintf("pcxrunGetCh() failed in pcxReadBitmap()\n");
                return false;
            }
    }
    return true;
}

// Writer state: one PCX write at a time.
struct PcxWriter {
    file_tag* file;
    uint8_t buffer[256];
    uint32_t filled;
    uint8_t runValue;
    uint32_t runCount;
    bool error;
};
PcxWriter pcxWriter;

void pcxFlush() {
    if (pcxWriter.filled && !pcxWriter.error &&
        !fileWrite(pcxWriter.file, pcxWriter.buffer, pcxWriter.filled)) {
        DebugPrintf("Error writing file\n");
        pcxWriter.error = true;
    }
    pcxWriter.filled = 0;
}

void pcxEmit(uint8_t byte) {
    pcxWriter.buffer[pcxWriter.filled++] = byte;
    if (pcxWriter.filled == sizeof pcxWriter.buffer) pcxFlush();
}

// Emits the gathered run: a single value as itself (escaped by 0xC1 when it
// looks like a count byte), a longer run as count byte and value.
void pcxEndRun() {
    if (pcxWriter.runCount == 1) {
        if (pcxWriter.runValue >= 0xC0) pcxEmit(0xC1);
        pcxEmit(pcxWriter.runValue);
    } else if (pcxWriter.runCount > 1) {
        pcxEmit(uint8_t(0xC0 | pcxWriter.runCount));
        pcxEmit(pcxWriter.runValue);
    }
    pcxWriter.runCount = 0;
}

void pcxPut(uint8_t value) {
    if (pcxWriter.runCount > 0 && value == pcxWriter.runValue) {
        if (++pcxWriter.runCount == pcxMaxRun + 1) {
            pcxEmit(0xFF);
            pcxEmit(value);
            pcxWriter.runCount = 1;
        }
        return;
    }
    pcxEndRun();
    pcxWriter.runValue = value;
    pcxWriter.runCount = 1;
}

void putLe16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

} // namespace

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
    int32_t width = pcxWidth(*state), height = pcxHeight(*state);
    if (!bm || !bm->pixels) {
        DebugPrintf("Missing bitmap in pcxReadBitmap()\n");
        return false;
    }
    if (!imageSizeAcceptable(width, height, "pcxReadBitmap")) return false;
    if (width > bm->width || width > bm->rowBytes || height > bm->height) {
        DebugPrintf("PCX image larger than the bitmap in pcxReadBitmap()\n");
        return false;
    }
    if (!libfileSeekFromStart(state->file, pcxHeaderBytes)) {
        DebugPrintf("libfileSeekFromStart() failed in pcxReadBitmap()\n");
        return false;
    }
    if (!pcxrunInit(state)) return false;
    switch (state->header[2]) {
    case 0: return pcxDecodeRows<false>(bm, state, width, height);
    case 1: return pcxDecodeRows<true>(bm, state, width, height);
    default: DebugPrintf("Bad encoding in pcxReadBitmap()\n"); return false;
    }
}

bool pcxReadPalette(uint32_t* palette, PcxReader* state) {
    uint8_t marker;
    if (!libfileSeekFromEnd(state->file, pcxPaletteBytes) ||
        !libfileReadExact(state->file, &marker, 1)) {
        DebugPrintf("libfileReadExact() failed in pcxReadPalette()\n");
        return false;
    }
    const uint8_t* h = state->header;
    if (h[1] == 5 && h[3] == 8 && h[65] == 1 && marker == pcxPaletteMarker) {
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
    // Older files: the header's 16 colours, repeated through the palette.
    for (int i = 0; i < 256; ++i) {
        const uint8_t* c = h + 16 + 3 * (i % 16);
        paletteSetEntry(palette, i, uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2]);
    }
    return true;
}

bool pcxSizeFitsFile(const PcxReader& state, const char* function) {
    int64_t width = pcxWidth(state), height = pcxHeight(state);
    int64_t dataBytes = int64_t(libfileSize(state.file)) - pcxHeaderBytes;
    // Raw data gives one byte per byte; a count byte and its value at most
    // 63, which stays below 32 per byte.
    int64_t perByte = state.header[2] == 0 ? 1 : 32;
    if (width >= 1 && height >= 1 && int64_t(pcxRowBytes(state)) * height <= dataBytes * perByte)
        return true;
    DebugPrintf("PCX data too short for a %lld x %lld image in %s()\n",
                static_cast<long long>(width), static_cast<long long>(height), function);
    return false;
}

bool pcxWriteBitmap(file_tag* file, bitmap_tag* bm, const uint32_t* palette) {
    if (!file || !bm || !bm->pixels || !palette) {
        DebugPrintf("Missing file, bitmap or palette in pcxWriteBitmap()\n");
        return false;
    }
    int32_t width = bm->width, height = bm->height;
    // xmax and ymax are signed 16-bit fields.
    if (width < 1 || height < 1 || width > 32768 || height > 32768) {
        DebugPrintf("Bitmap size %d x %d not writable in pcxWriteBitmap()\n", width, height);
        return false;
    }
    uint8_t header[pcxHeaderBytes] = {};
    header[0] = pcxManufacturer;
    header[1] = 5;
    header[2] = 1;
    header[3] = 8;
    putLe16(header + 8, uint32_t(width - 1));
    putLe16(header + 10, uint32_t(height - 1));
    putLe16(header + 12, uint32_t(width));
    putLe16(header + 14, uint32_t(height));
    header[65] = 1;
    putLe16(header + 66, uint32_t(width + (width & 1)));
    putLe16(header + 68, 1);
    if (!fileWrite(file, header, pcxHeaderBytes)) {
        DebugPrintf("Unable to write pcx header\n");
        return false;
    }

    pcxWriter.file = file;
    pcxWriter.filled = 0;
    pcxWriter.runCount = 0;
    pcxWriter.error = false;
    // readPixel turns 16-bit screen pixels back into palette indexes and
    // reads every other layout's byte, clipped to the bitmap.
    for (int32_t y = 0; y < height && !pcxWriter.error; ++y) {
        for (int32_t x = 0; x < width; ++x)
            pcxPut(uint8_t(readPixel(bm, x, y)));
        if (width & 1) pcxPut(0);
        pcxEndRun();
    }
    if (!pcxWriter.error) pcxEmit(pcxPaletteMarker);
    pcxFlush();
    if (pcxWriter.error) return false;

    for (int i = 0; i < 256; ++i) {
        uint32_t entry = paletteGetEntry(palette, i);
        uint8_t r = uint8_t(entry >> 16), g = uint8_t(entry >> 8), b = uint8_t(entry);
        if (!fileWrite(file, &r, 1)) {
            DebugPrintf("fileWrite() of r failed in pcxWriteBitmap()\n");
            return false;
        }
        if (!fileWrite(file, &g, 1)) {
            DebugPrintf("fileWrite() of g failed in pcxWriteBitmap()\n");
            return false;
        }
        if (!fileWrite(file, &b, 1)) {
            DebugPrintf("fileWrite() of b failed in pcxWriteBitmap()\n");
            return false;
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
