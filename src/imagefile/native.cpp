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
#include "imagefile/pcx.h"
#include "memory.h"

#include <cstring>

namespace {

constexpr int32_t cmapBytes = 64;
constexpr int32_t pletBytes = 1024;

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void putLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

// Reads a chunk header again and compares it with what the parser passed.
enum class Reread { ok, readFailed, mismatch };
Reread rereadHeader(file_tag* file, uint32_t id, uint32_t tag, int32_t size) {
    uint32_t readId, readTag;
    int32_t readSize;
    if (!brixReadChunkHeader(&readId, &readTag, &readSize, file)) return Reread::readFailed;
    if (readId != id || readTag != tag || readSize != size) return Reread::mismatch;
    return Reread::ok;
}

// Pixel bytes of a bitmap's memory that a reader may fill: rowBytes x
// height, nothing when either is negative.
int64_t pixelCapacity(const bitmap_tag* bm) {
    if (bm->rowBytes < 0 || bm->height < 0) return 0;
    return int64_t(bm->rowBytes) * bm->height;
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
        state->palette[i] = le32(bytes + 4 * i);
    state->found = 1;
    return 1;
}

const brixParseList paletteParseList[1] = {{idPLET, readPaletteChunk}};

} // namespace

bool imageSizeAcceptable(int64_t width, int64_t height, const char* function) {
    if (width >= 1 && height >= 1 && width <= imageMaxSide && height <= imageMaxSide &&
        width * height <= imageMaxPixels)
        return true;
    DebugPrintf("Invalid image size %lld x %lld in %s()\n", static_cast<long long>(width),
                static_cast<long long>(height), function);
    return false;
}

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
    h.width = le32(raw + 1);
    h.height = le32(raw + 5);
    h.rowBytes = le32(raw + 9);
    h.compression = raw[13];
    state->seen = 1;

    if (h.pixelType > PIXEL_ALPHA8) {
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
        uint8_t* colormap;
        if (!colormapAlloc(&colormap)) {
            DebugPrintf("colormapAlloc() failed in readCMAP()\n");
            return 0;
        }
        bm->map = colormap;
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
        uint8_t* out = bm->pixels;
        for (int32_t i = 0; i < size; ++i) {
            uint8_t b;
            if (!libfileReadUint8(file, &b)) {
                DebugPrintf("libfileReadUint8() failed in readDATA()\n");
                return 0;
            }
            *out++ = uint8_t(b >> 4);
            *out++ = uint8_t(b & 15);
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
    if (!libfileReadExact(file, bm->pixels, uint32_t(size))) {
        DebugPrintf("libfileReadExact() failed in readDATA()\n");
        return 0;
    }
    return 1;
}

namespace {

uint8_t bitmapReadWith(bitmap_tag* bm, file_tag* file, bool matchBitmap) {
    if (pcxFileIsPcx(file)) {
        PcxReader reader;
        if (!pcxSetup(&reader, file)) {
            DebugPrintf("pcxSetup() failed in bitmapRead()\n");
            return 0;
        }
        if (!pcxReadBitmap(bm, &reader)) {
            DebugPrintf("pcxReadBitmap() failed in bitmapRead()\n");
            return 0;
        }
        return 1;
    }
    uint32_t id, tag;
    int32_t size;
    if (!brixPeekChunkHeader(&id, &tag, &size, file)) {
        DebugPrintf("brixPeekChunkHeader() failed in bitmapRead()\n");
        return 0;
    }
    if (id != idBMAP) {
        DebugPrintf("Invalid file type in bitmapRead()\n");
        return 0;
    }
    BmapParseState state{};
    state.matchBitmap = matchBitmap;
    state.bitmap = bm;
    if (!brixParseContainer(&state, bmapParseList, 4, file)) {
        DebugPrintf("brixParseContainer() failed in bitmapRead()\n");
        return 0;
    }
    if (!state.seen) {
        DebugPrintf("No required BMHD chunk in file in bitmapRead()\n");
        return 0;
    }
    return 1;
}

} // namespace

bool bitmapReadMatching(bitmap_tag* bm, file_tag* file) {
    return bitmapReadWith(bm, file, true);
}

extern "C" {

uint8_t bitmapRead(bitmap_tag* bm, file_tag* file) {
    return bitmapReadWith(bm, file, false);
}

uint8_t bitmapWrite(file_tag* file, bitmap_tag* bm) {
    if (!bm || !bm->pixels || bm->width < 0 || bm->height < 0 || bm->rowBytes < 0) {
        DebugPrintf("Missing bitmap in bitmapWrite()\n");
        return 0;
    }
    brixChunk chunk;
    if (!brixStartChunk(file, &chunk, idBMAP, 0)) {
        DebugPrintf("brixStartChunk() failed in bitmapWrite()\n");
        return 0;
    }
    uint8_t header[bmhdBytes];
    header[0] = bm->pixelType;
    putLe32(header + 1, uint32_t(bm->width));
    putLe32(header + 5, uint32_t(bm->height));
    putLe32(header + 9, uint32_t(bmapFileRowBytes(bm->pixelType, bm->width)));
    header[13] = 0;
    if (!brixWriteChunk(file, idBMHD, 0, bmhdBytes, header)) {
        DebugPrintf("brixWriteChunk() failed in bitmapWrite()\n");
        return 0;
    }
    int64_t bytes = pixelCapacity(bm);
    if (bytes > INT32_MAX) {
        DebugPrintf("brixWriteChunk() failed in bitmapWrite()\n");
        return 0;
    }
    if (!isIndexed4(bm->pixelType)) {
        if (bm->map && !paletteWrite(file, static_cast<const uint32_t*>(bm->map))) {
            DebugPrintf("paletteWrite() failed in bitmapWrite()\n");
            return 0;
        }
        if (!brixWriteChunk(file, idDATA, 0, int32_t(bytes), bm->pixels)) {
            DebugPrintf("brixWriteChunk() failed in bitmapWrite()\n");
            return 0;
        }
    } else {
        if (bm->map && !colormapWrite(file, static_cast<const uint8_t*>(bm->map))) {
            DebugPrintf("colormapWrite() failed in bitmapWrite()\n");
            return 0;
        }
        int32_t packedBytes = int32_t(bytes / 2);
        auto* packed = static_cast<uint8_t*>(memAlloc(size_t(packedBytes)));
        if (!packed) {
            DebugPrintf("memAlloc() failed in bitmapWrite()\n");
            return 0;
        }
        const uint8_t* in = bm->pixels;
        for (int32_t i = 0; i < packedBytes; ++i, in += 2)
            packed[i] = uint8_t((in[0] & 15) << 4 | (in[1] & 15));
        uint8_t ok = brixWriteChunk(file, idDATA, 0, packedBytes, packed);
        memFree(packed);
        if (!ok) {
            DebugPrintf("brixWriteChunk() failed in bitmapWrite()\n");
            return 0;
        }
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
            putLe32(payload + 4 * i, palette[i]);
    if (!palette || !brixWriteChunk(file, idPLET, 0, pletBytes, payload)) {
        DebugPrintf("brixWriteChunk() failed in paletteWrite()\n");
        return 0;
    }
    return 1;
}

uint8_t paletteRead(uint32_t* palette, file_tag* file) {
    if (pcxFileIsPcx(file)) {
        PcxReader reader;
        if (!pcxSetup(&reader, file)) {
            DebugPrintf("pcxSetup() failed in paletteRead()\n");
            return 0;
        }
        if (!pcxReadPalette(palette, &reader)) {
            DebugPrintf("pcxReadPalette() failed in paletteRead()\n");
            return 0;
        }
        return 1;
    }
    uint32_t id, tag;
    int32_t size;
    if (!brixPeekChunkHeader(&id, &tag, &size, file)) {
        DebugPrintf("brixPeekChunkHeader() failed in paletteRead()\n");
        return 0;
    }
    PaletteParseState state{0, palette};
    if (id == idPLET) {
        if (!readPaletteChunk(&state, id, tag, size, file)) {
            DebugPrintf("readPLET() failed in paletteRead()\n");
            return 0;
        }
        return 1;
    }
    if (id != idBMAP && id != VESK_ID('M', 'I', 'P', ' ')) {
        DebugPrintf("Invalid file type in paletteRead()\n");
        return 0;
    }
    if (!brixParseContainer(&state, paletteParseList, 1, file)) {
        DebugPrintf("brixParseContainer() failed in paletteRead()\n");
        return 0;
    }
    return state.found;
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
