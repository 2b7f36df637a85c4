// The native chunked files: a "BMAP" container (header "BMHD", colour table
// "CMAP" or "PLET", pixels "DATA"), bare "PLET" and "CMAP" chunks, and the
// handlers the loader and the mip files share.
//
// The readers take nothing on trust: a header is checked before anything
// is allocated from it, a "DATA" payload must fit the pixel memory of the
// bitmap it fills, a colour table is only stored into a map of the right
// kind, and on failure whatever the handlers made under `allocate` is
// released by the caller of the parse.
#include "bitmap/bitmap.h"
#include "imagefile/imagefile.h"
#include "imagefile/writer.h"
#include "memory.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int32_t cmapBytes = 64;
constexpr int32_t pletBytes = 1024;

// Reads a chunk header again and compares it with what the parser passed.
enum class Reread { ok, readFailed, mismatch };
Reread rereadHeader(file_tag* file, uint32_t id, uint32_t tag, int32_t size) {
    uint32_t readId, readTag;
    int32_t readSize;
    if (!brixReadChunkHeader(&readId, &readTag, &readSize, file)) return Reread::readFailed;
    if (readId != id || readTag != tag || readSize != size) return Reread::mismatch;
    return Reread::ok;
}

// Pixel bytes of a bitmap's memory that a reader may fill: |rowBytes| x
// height, nothing for a negative height.
int64_t pixelCapacity(const bitmap_tag* bm) {
    if (bm->height < 0) return 0;
    return std::abs(int64_t(bm->rowBytes)) * bm->height;
}

// Byte k of a bitmap's pixel memory taken as the file lays it out: rows of
// |rowBytes| bytes, the top row first, whichever way the rows run in memory.
uint8_t* fileOrderByte(const bitmap_tag* bm, int64_t k) {
    const int64_t row = std::abs(int64_t(bm->rowBytes));
    return rowAt(bm->pixels, bm->rowBytes, k / row) + k % row;
}

// The palette reader's own handler and its parse state.
struct PaletteParseState {
    uint8_t found;
    uint32_t* palette;
};

uint8_t readPaletteChunk(void* user, uint32_t id, uint32_t tag, int32_t size, file_tag* file) {
    auto* state = static_cast<PaletteParseState*>(user);
    Reread r = rereadHeader(file, id, tag, size);
    if (r == Reread::readFailed) {
        DebugPrintf("brixReadChunkHeader() failed in readPLET()\n");
        return 0;
    }
    if (r == Reread::mismatch) {
        DebugPrintf("Passed data don't match read data in readPLET()\n");
        return 0;
    }
    if (size != pletBytes) {
        DebugPrintf("Invalid PLET size in readPLET()\n");
        return 0;
    }
    uint8_t bytes[pletBytes];
    if (!libfileReadExact(file, bytes, pletBytes)) {
        DebugPrintf("libfileReadExact() failed in readPLET()\n");
        return 0;
    }
    for (int i = 0; i < 256; ++i)
        state->palette[i] = loadLe32(bytes + 4 * i);
    state->found = 1;
    return 1;
}

const brixParseList paletteParseList[1] = {{idPLET, readPaletteChunk}};

} // namespace

int64_t bmapFileRowBytes(uint8_t type, int64_t width) {
    return (pixelBitDepth(type) * width / 8 + 3) & ~int64_t(3);
}

const brixParseList bmapParseList[4] = {
    {idBMHD, readBMHD}, {idPLET, readPLET}, {idCMAP, readCMAP}, {idDATA, readDATA}};

uint8_t readBMHD(void* user, uint32_t id, uint32_t tag, int32_t size, file_tag* file) {
    auto* state = static_cast<BmapParseState*>(user);
    Reread r = rereadHeader(file, id, tag, size);
    if (r == Reread::readFailed) {
        DebugPrintf("brixReadChunkHeader() failed in readBMHD()\n");
        return 0;
    }
    if (r == Reread::mismatch) {
        DebugPrintf("passed data and read data don't match in readBMHD()\n");
        return 0;
    }
    if (size != bmhdBytes) {
        DebugPrintf("Invalid BMHD size in readBMHD()\n");
        return 0;
    }
    // A second header would describe a bitmap other than the one the first
    // one made (and, under `allocate`, leak it).
    if (state->seen) {
        DebugPrintf("More than one BMHD chunk in readBMHD()\n");
        return 0;
    }
    uint8_t raw[bmhdBytes];
    if (!libfileReadExact(file, raw, bmhdBytes)) {
        DebugPrintf("libfileReadExact() failed in readBMHD()\n");
        return 0;
    }
    BmapHeader& h = state->header;
    h.pixelType = raw[0];
    h.width = loadLe32(raw + 1);
    h.height = loadLe32(raw + 5);
    h.rowBytes = loadLe32(raw + 9);
    h.compression = raw[13];
    state->seen = 1;

    if (!pixelTypeValid(h.pixelType)) {
        DebugPrintf("Invalid pixel type %u in readBMHD()\n", unsigned(h.pixelType));
        return 0;
    }
    if (!imageSizeAcceptable(int32_t(h.width), int32_t(h.height), "readBMHD")) return 0;
    if (state->matchBitmap && state->bitmap &&
        (state->bitmap->pixelType != h.pixelType || uint32_t(state->bitmap->width) != h.width ||
         uint32_t(state->bitmap->height) != h.height)) {
        DebugPrintf("BMHD doesn't match the bitmap in readBMHD()\n");
        return 0;
    }
    if (state->allocate) {
        // The pixels must come from this file, so the file must at least be
        // as large as their packed form.
        int64_t bytes = allocRowBytes(h.pixelType, int32_t(h.width)) * int64_t(h.height);
        if (isIndexed4(h.pixelType)) bytes /= 2;
        if (bytes > int64_t(libfileSize(file))) {
            DebugPrintf("BMHD describes more data than the file holds in readBMHD()\n");
            return 0;
        }
        if (!bitmapAlloc(&state->bitmap, h.pixelType, int32_t(h.width), int32_t(h.height), 0)) {
            DebugPrintf("bitmapAlloc() failed in readBMHD()\n");
            return 0;
        }
    }
    return 1;
}

uint8_t readPLET(void* user, uint32_t, uint32_t, int32_t size, file_tag* file) {
    auto* state = static_cast<BmapParseState*>(user);
    if (size != pletBytes) {
        DebugPrintf("PLET chunk incorrect size\n");
        return 0;
    }
    if (!state->seen) {
        DebugPrintf("PLET chunk before BMHD\n");
        return 0;
    }
    if (!isIndexed8(state->header.pixelType)) {
        DebugPrintf("PLET chunk in non-8-bit bitmap\n");
        return 0;
    }
    bitmap_tag* bm = state->bitmap;
    bool made = false;
    if (state->allocate && bm && !bm->map) {
        uint32_t* palette;
        if (!paletteAlloc(&palette)) {
            DebugPrintf("paletteAlloc() failed in readPLET()\n");
            return 0;
        }
        bm->map = palette;
        made = true;
    }
    // Only an 8-bit bitmap's map is a palette; without one the chunk is
    // skipped (the parse goes on with the next child wherever we stand).
    if (!bm || !bm->map || !isIndexed8(bm->pixelType)) return 1;
    if (!paletteRead(static_cast<uint32_t*>(bm->map), file)) {
        DebugPrintf("paletteRead() failed in readPLET()\n");
        if (made) {
            paletteFree(static_cast<uint32_t*>(bm->map));
            bm->map = nullptr;
        }
        return 0;
    }
    return 1;
}

uint8_t readCMAP(void* user, uint32_t, uint32_t, int32_t, file_tag* file) {
    auto* state = static_cast<BmapParseState*>(user);
    if (!state->seen) {
        DebugPrintf("CMAP chunk before BMHD\n");
        return 0;
    }
    if (!isIndexed4(state->header.pixelType)) {
        DebugPrintf("CMAP chunk in non-4-bit bitmap\n");
        return 0;
    }
    bitmap_tag* bm = state->bitmap;
    bool made = false;
    if (state->allocate && bm && !bm->map) {
        // A palette's size, the colormap first and zeros after: bitmapLoad8a
        // may retype a shared 4-bit bitmap to PIXEL_ALPHA8, whose map is
        // then read as a palette (by bitmapWrite, mipCreate).
        uint32_t* block;
        if (!paletteAlloc(&block)) {
            DebugPrintf("colormapAlloc() failed in readCMAP()\n");
            return 0;
        }
        std::memset(block, 0, 256 * sizeof(uint32_t));
        bm->map = block;
        made = true;
    }
    if (!bm || !bm->map || !isIndexed4(bm->pixelType)) return 1;
    if (!colormapRead(static_cast<uint8_t*>(bm->map), file)) {
        DebugPrintf("colormapRead() failed in readCMAP()\n");
        if (made) {
            colormapFree(static_cast<uint8_t*>(bm->map));
            bm->map = nullptr;
        }
        return 0;
    }
    return 1;
}

uint8_t readDATA(void* user, uint32_t id, uint32_t tag, int32_t size, file_tag* file) {
    auto* state = static_cast<BmapParseState*>(user);
    Reread r = rereadHeader(file, id, tag, size);
    if (r == Reread::readFailed) {
        DebugPrintf("brixReadChunkHeader() failed in readDATA()\n");
        return 0;
    }
    if (r == Reread::mismatch) {
        DebugPrintf("passed header and read data don't match in readDATA()\n");
        return 0;
    }
    if (!state->seen) {
        DebugPrintf("DATA chunk before BMHD\n");
        return 0;
    }
    bitmap_tag* bm = state->bitmap;
    if (!bm) {
        DebugPrintf("Missing bitmap in readDATA()\n");
        return 0;
    }
    if (!bm->pixels) {
        DebugPrintf("Missing bitmap data in readDATA()\n");
        return 0;
    }
    const BmapHeader& h = state->header;
    if (h.compression != 0) {
        DebugPrintf("Invalid compression type\n");
        return 0;
    }
    int64_t capacity = pixelCapacity(bm);
    if (isIndexed4(h.pixelType)) {
        // Two values per byte over the bitmap's whole pixel memory.
        if (int64_t(size) != capacity / 2) {
            DebugPrintf("Size and bitmap size don't match in readDATA()\n");
            return 0;
        }
        for (int32_t i = 0; i < size; ++i) {
            uint8_t b;
            if (!libfileReadUint8(file, &b)) {
                DebugPrintf("libfileReadUint8() failed in readDATA()\n");
                return 0;
            }
            *fileOrderByte(bm, 2 * int64_t(i)) = uint8_t(b >> 4);
            *fileOrderByte(bm, 2 * int64_t(i) + 1) = uint8_t(b & 15);
        }
        return 1;
    }
    if (int64_t(size) != int64_t(h.rowBytes) * h.height) {
        DebugPrintf("Size and bitmap size don't match in readDATA()\n");
        return 0;
    }
    if (int64_t(size) > capacity) {
        DebugPrintf("DATA chunk larger than the bitmap in readDATA()\n");
        return 0;
    }
    // A row at a time: a bottom-up bitmap's rows run down through memory.
    const int64_t row = std::abs(int64_t(bm->rowBytes));
    for (int64_t done = 0; done < size; done += row) {
        const uint32_t bytes = uint32_t(std::min<int64_t>(row, size - done));
        if (!libfileReadExact(file, fileOrderByte(bm, done), bytes)) {
            DebugPrintf("libfileReadExact() failed in readDATA()\n");
            return 0;
        }
    }
    return 1;
}

namespace {

// The native file at the position: a "BMAP" container parsed with `state`.
bool parseBmap(BmapParseState* state, file_tag* file, const char* caller) {
    uint32_t id, tag;
    int32_t size;
    if (!brixPeekChunkHeader(&id, &tag, &size, file))
        return reportStepFailure("brixPeekChunkHeader", caller);
    if (id != idBMAP) {
        DebugPrintf("Invalid file type in %s()\n", caller);
        return false;
    }
    if (!brixParseContainer(state, bmapParseList, 4, file))
        return reportStepFailure("brixParseContainer", caller);
    if (!state->seen) {
        DebugPrintf("No required BMHD chunk in file in %s()\n", caller);
        return false;
    }
    return true;
}

// The handlers make the bitmap and its colour table.
bool loadNative(bitmap_tag** out, file_tag* file, const LoadRequest& request) {
    *out = nullptr;
    BmapParseState state{};
    state.allocate = 1;
    if (!parseBmap(&state, file, request.caller)) {
        bitmapFree(state.bitmap);
        return false;
    }
    *out = state.bitmap;
    return true;
}

bool readNative(bitmap_tag* bm, file_tag* file, const char* caller) {
    BmapParseState state{};
    state.bitmap = bm;
    return parseBmap(&state, file, caller);
}

// A bare "PLET" chunk, or the "PLET" child of a "BMAP" or "MIP " container.
bool readNativePalette(uint32_t* palette, file_tag* file, const char* caller) {
    uint32_t id, tag;
    int32_t size;
    if (!brixPeekChunkHeader(&id, &tag, &size, file))
        return reportStepFailure("brixPeekChunkHeader", caller);
    PaletteParseState state{0, palette};
    if (id == idPLET)
        return readPaletteChunk(&state, id, tag, size, file) ||
               reportStepFailure("readPLET", caller);
    if (id != idBMAP && id != VESK_ID('M', 'I', 'P', ' ')) {
        DebugPrintf("Invalid file type in %s()\n", caller);
        return false;
    }
    if (!brixParseContainer(&state, paletteParseList, 1, file))
        return reportStepFailure("brixParseContainer", caller);
    return state.found;
}

bool nativeContent(const uint8_t* head, uint32_t bytes) {
    return bytes >= 4 && loadBe32(head) == idBMAP;
}

bool describeNative(file_tag* file, char* text, size_t size) {
    static const brixParseList headerOnly[1] = {{idBMHD, readBMHD}};
    BmapParseState state{};
    if (!brixParseContainer(&state, headerOnly, 1, file) || !state.seen) return false;
    std::snprintf(text, size, "\"BMAP\" container, BMHD type %u, compression %u",
                  state.header.pixelType, state.header.compression);
    return true;
}

bool recogniseNative(file_tag*) {
    return true;
}

} // namespace

const ImageFormat nativeFormat = {
    "native bitmap (BMAP)", recogniseNative, false,   nativeContent, loadNative, readNative,
    readNativePalette,      describeNative,  nullptr, false,
};

bool bitmapReadMatching(bitmap_tag* bm, file_tag* file) {
    BmapParseState state{};
    state.matchBitmap = 1;
    state.bitmap = bm;
    return parseBmap(&state, file, "bitmapRead");
}

extern "C" {

uint8_t bitmapRead(bitmap_tag* bm, file_tag* file) {
    const ImageFormat& format = imageFormatAtPosition(file);
    return format.read(bm, file, "bitmapRead");
}

uint8_t bitmapWrite(file_tag* file, bitmap_tag* bm) {
    if (!bitmapUsable(bm, bytesPerPixel(bm ? bm->pixelType : 0))) {
        DebugPrintf("Missing bitmap in bitmapWrite()\n");
        return 0;
    }
    // Rows go out top first, |rowBytes| bytes each, whichever way they lie
    // in memory.
    const uint32_t rowLength = uint32_t(std::abs(int64_t(bm->rowBytes)));
    const int64_t bytes = int64_t(rowLength) * bm->height;
    const bool fourBit = isIndexed4(bm->pixelType);
    brixChunk chunk;
    if (!brixStartChunk(file, &chunk, idBMAP, 0)) {
        DebugPrintf("brixStartChunk() failed in bitmapWrite()\n");
        return 0;
    }
    uint8_t header[bmhdBytes];
    header[0] = bm->pixelType;
    storeLe32(header + 1, uint32_t(bm->width));
    storeLe32(header + 5, uint32_t(bm->height));
    storeLe32(header + 9, uint32_t(bmapFileRowBytes(bm->pixelType, bm->width)));
    header[13] = 0;
    if (!brixWriteChunk(file, idBMHD, 0, bmhdBytes, header) || bytes > INT32_MAX) {
        DebugPrintf("brixWriteChunk() failed in bitmapWrite()\n");
        return 0;
    }
    if (bm->map && fourBit && !colormapWrite(file, static_cast<const uint8_t*>(bm->map))) {
        DebugPrintf("colormapWrite() failed in bitmapWrite()\n");
        return 0;
    }
    if (bm->map && !fourBit && !paletteWrite(file, static_cast<const uint32_t*>(bm->map))) {
        DebugPrintf("paletteWrite() failed in bitmapWrite()\n");
        return 0;
    }
    brixChunk data;
    bool ok = brixStartChunk(file, &data, idDATA, 0);
    if (ok) {
        // The 4-bit types hold one value per byte and are stored two to a
        // byte, the first in the high nibble, over the rows' whole length.
        FileWriter out(file);
        int pending = -1;
        for (int32_t y = 0; y < bm->height; ++y) {
            const uint8_t* row = rowAt(bm->pixels, bm->rowBytes, y);
            if (!fourBit) {
                out.write(row, rowLength);
                continue;
            }
            for (uint32_t i = 0; i < rowLength; ++i) {
                if (pending < 0) {
                    pending = row[i] & 15;
                } else {
                    out.put(uint8_t(pending << 4 | (row[i] & 15)));
                    pending = -1;
                }
            }
        }
        ok = out.flush() && brixEndChunk(file, &data);
    }
    if (!ok) {
        DebugPrintf("brixWriteChunk() failed in bitmapWrite()\n");
        return 0;
    }
    if (!brixEndChunk(file, &chunk)) {
        DebugPrintf("brixEndChunk() failed in bitmapWrite()\n");
        return 0;
    }
    return 1;
}

uint8_t colormapRead(uint8_t* colormap, file_tag* file) {
    uint32_t id, tag;
    int32_t size;
    if (!brixReadChunkHeader(&id, &tag, &size, file)) {
        DebugPrintf("brixReadChunkHeader() failed in colormapRead()\n");
        return 0;
    }
    if (id != idCMAP) {
        DebugPrintf("Invalid type in colormapRead()\n");
        return 0;
    }
    if (size != cmapBytes) {
        DebugPrintf("Invalid CMAP size in colormapRead()\n");
        return 0;
    }
    // The chunk holds 64 bytes; the colormap keeps the first 16.
    uint8_t payload[cmapBytes];
    if (!libfileReadExact(file, payload, cmapBytes)) {
        DebugPrintf("libfileReadExact() failed in colormapRead()\n");
        return 0;
    }
    std::memcpy(colormap, payload, 16);
    return 1;
}

uint8_t colormapWrite(file_tag* file, const uint8_t* colormap) {
    uint8_t payload[cmapBytes] = {};
    if (colormap) std::memcpy(payload, colormap, 16);
    if (!colormap || !brixWriteChunk(file, idCMAP, 0, cmapBytes, payload)) {
        DebugPrintf("brixWriteChunk() failed in colormapWrite()\n");
        return 0;
    }
    return 1;
}

uint8_t paletteWrite(file_tag* file, const uint32_t* palette) {
    uint8_t payload[pletBytes];
    if (palette)
        for (int i = 0; i < 256; ++i)
            storeLe32(payload + 4 * i, palette[i]);
    if (!palette || !brixWriteChunk(file, idPLET, 0, pletBytes, payload)) {
        DebugPrintf("brixWriteChunk() failed in paletteWrite()\n");
        return 0;
    }
    return 1;
}

uint8_t paletteRead(uint32_t* palette, file_tag* file) {
    const ImageFormat& format = imageFormatAtPosition(file);
    if (!format.readPalette) {
        DebugPrintf("Invalid file type in paletteRead()\n");
        return 0;
    }
    return format.readPalette(palette, file, "paletteRead");
}

uint8_t paletteLoad(uint32_t** out, file_tag* file) {
    if (!paletteAlloc(out)) {
        DebugPrintf("paletteAlloc() failed in paletteLoad()\n");
        return 0;
    }
    if (!paletteRead(*out, file)) {
        DebugPrintf("paletteRead() failed in paletteLoad()\n");
        paletteFree(*out);
        *out = nullptr;
        return 0;
    }
    return 1;
}

uint8_t colormapLoad(uint8_t** out, file_tag* file) {
    *out = static_cast<uint8_t*>(memAlloc(16));
    if (!*out) {
        DebugPrintf("memAlloc() failed in colormapLoad()\n");
        return 0;
    }
    if (!colormapRead(*out, file)) {
        DebugPrintf("colormapRead() failed in colormapLoad()\n");
        colormapFree(*out);
        *out = nullptr;
        return 0;
    }
    return 1;
}

} // extern "C"
