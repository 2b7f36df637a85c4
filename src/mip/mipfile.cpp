// Mip files: the chunked "MIP " container (header "MPHD", optional "CMAP",
// one native "BMAP" per level), its " MIP" variant with another numbering
// of pixel types, and old-style mips without chunks.
//
// A header is checked before the chain is allocated from it: sides of at
// most 32768 pixels and 2^28 pixels, a level count the sides can halve
// into, and a level 0 no larger than the file. Every level's "BMAP" must
// describe that level exactly, and old-style offsets and rows must lie in
// their block.
#include "bitmap/bitmap.h"
#include "host/byteorder.h"
#include "imagefile/imagefile.h"
#include "memory.h"
#include "mip/mip.h"
#include "raster/fixed.h"

#include <cstring>

namespace {

constexpr uint32_t idMIP = VESK_ID('M', 'I', 'P', ' ');
constexpr uint32_t idOMT = VESK_ID(' ', 'M', 'I', 'P');
constexpr uint32_t idMPHD = VESK_ID('M', 'P', 'H', 'D');
constexpr int32_t mphdBytes = 18;
constexpr uint32_t oldHeaderBytes = 20;
constexpr uint32_t oldTableEntryBytes = 12;
constexpr int64_t oldSlackBytes = 4096;
constexpr int32_t oldMaxSide = 2048; // the domain of log2Ceil

// Library pixel type of each OMT type; 0xFF marks the unsupported ones.
constexpr uint8_t omtTypes[8] = {PIXEL_CMAP4,    PIXEL_CMAP4_KEY, 0xFF,         PIXEL_RGB565,
                                 PIXEL_ARGB1555, PIXEL_ARGB4444,  PIXEL_RGB888, PIXEL_ARGB8888};

int64_t sideOf(uint32_t log2Side) {
    return log2Side > 20 ? imageMaxSide + 1 : int64_t(1) << log2Side;
}

uint8_t readHeaderChunk(void* user, uint32_t id, uint32_t tag, int32_t size, file_tag* file,
                        bool omt) {
    auto* state = static_cast<mipfile::ParseState*>(user);
    uint32_t readId, readTag;
    int32_t readSize;
    if (!brixReadChunkHeader(&readId, &readTag, &readSize, file)) {
        DebugPrintf("brixReadChunkHeader() failed in readMPHD()\n");
        return 0;
    }
    if (readId != id || readTag != tag || readSize != size) {
        DebugPrintf("passed data and read data don't match in readMPHD()\n");
        return 0;
    }
    if (size != mphdBytes) {
        DebugPrintf("Invalid MPHD size in readMPHD()\n");
        return 0;
    }
    if (state->seen) {
        DebugPrintf("More than one MPHD chunk in readMPHD()\n");
        return 0;
    }
    uint8_t* h = state->header;
    if (!libfileReadExact(file, h, mphdBytes)) {
        DebugPrintf("libfileReadExact() failed in readMPHD()\n");
        return 0;
    }
    state->seen = 1;
    if (omt) {
        if (h[0] > 7 || omtTypes[h[0]] == 0xFF) {
            DebugPrintf("unsupported OMT mip type in readMPHD()\n");
            return 0;
        }
        h[0] = omtTypes[h[0]];
    } else if (!pixelTypeValid(h[0])) {
        DebugPrintf("Invalid pixel type %u in readMPHD()\n", unsigned(h[0]));
        return 0;
    }
    uint8_t type = h[0];
    uint32_t logWidth = loadLe32(h + 1), logHeight = loadLe32(h + 5), levels = loadLe32(h + 14);
    int64_t width = sideOf(logWidth), height = sideOf(logHeight);
    if (!imageSizeAcceptable(width, height, "readMPHD")) return 0;
    if (levels < 1) {
        DebugPrintf("No levels in readMPHD()\n");
        return 0;
    }
    // The last level must still be a pixel wide and high.
    if (levels > (logWidth < logHeight ? logWidth : logHeight) + 1) {
        DebugPrintf("Width/Height <= 0 in readMPHD()\n");
        return 0;
    }
    int64_t level0Bytes = mipRowBytes(type, width) * height;
    if (isIndexed4(type)) level0Bytes /= 2;
    if (level0Bytes > int64_t(libfileSize(file))) {
        DebugPrintf("MPHD describes more data than the file holds in readMPHD()\n");
        return 0;
    }
    mip_tag* mip = mipAllocChain(type, logWidth, logHeight, levels, "readMPHD");
    if (!mip) return 0;
    mip->color = loadLe32(h + 9);
    mip->flag = h[13];
    state->mip = mip;
    return 1;
}

const brixParseList mipParseList[3] = {
    {idMPHD, mipfile::readMPHD}, {idCMAP, mipfile::readCMAP}, {idBMAP, mipfile::readBMAP}};
const brixParseList omtParseList[3] = {
    {idMPHD, mipfile::readMPHDOmt}, {idCMAP, mipfile::readCMAP}, {idBMAP, mipfile::readBMAP}};

} // namespace

namespace mipfile {

uint8_t readMPHD(void* state, uint32_t id, uint32_t tag, int32_t size, file_tag* file) {
    return readHeaderChunk(state, id, tag, size, file, false);
}

uint8_t readMPHDOmt(void* state, uint32_t id, uint32_t tag, int32_t size, file_tag* file) {
    return readHeaderChunk(state, id, tag, size, file, true);
}

uint8_t readCMAP(void* user, uint32_t, uint32_t, int32_t, file_tag* file) {
    auto* state = static_cast<ParseState*>(user);
    if (!state->seen || !state->mip) {
        DebugPrintf("CMAP chunk before MPHD\n");
        return 0;
    }
    mip_tag* mip = state->mip;
    // A second "CMAP" overwrites the colormap the first one made.
    bool made = false;
    if (!mip->colormap) {
        // Allocated through a local: the record's field is not aligned.
        uint8_t* colormap;
        if (!colormapAlloc(&colormap)) {
            DebugPrintf("colormapAlloc() failed in readCMAP()\n");
            return 0;
        }
        mip->colormap = colormap;
        made = true;
    }
    if (!colormapRead(mip->colormap, file)) {
        DebugPrintf("colormapRead() failed in readCMAP()\n");
        if (made) {
            colormapFree(mip->colormap);
            mip->colormap = nullptr;
        }
        return 0;
    }
    return 1;
}

uint8_t readBMAP(void* user, uint32_t, uint32_t, int32_t, file_tag* file) {
    auto* state = static_cast<ParseState*>(user);
    if (!state->seen || !state->mip) {
        DebugPrintf("BMAP chunk before MPHD\n");
        return 0;
    }
    if (state->bmaps >= state->mip->levels) {
        DebugPrintf("More BMAPs than levels in MIP\n");
        return 0;
    }
    if (!bitmapReadMatching(&state->mip->level[state->bmaps], file)) {
        DebugPrintf("bitmapRead() failed in readBMAP\n");
        return 0;
    }
    ++state->bmaps;
    return 1;
}

} // namespace mipfile

uint8_t oldstyle_mip2mip(mip_tag** out, const uint8_t* block, uint32_t total) {
    *out = nullptr;
    if (total < oldHeaderBytes) {
        DebugPrintf("Old-style mip block too short in oldstyle_mip2mip()\n");
        return 0;
    }
    int32_t width = int32_t(loadLe32(block + 4)), height = int32_t(loadLe32(block + 8));
    uint32_t levels = loadLe32(block + 12);
    if (width < 1 || height < 1 || width > oldMaxSide || height > oldMaxSide || levels < 1) {
        DebugPrintf("Invalid old-style mip header in oldstyle_mip2mip()\n");
        return 0;
    }
    int32_t logWidth = log2Ceil(width), logHeight = log2Ceil(height);
    uint32_t made = 0;
    for (int64_t w = int64_t(1) << logWidth, h = int64_t(1) << logHeight; made < levels && w && h;
         w >>= 1, h >>= 1)
        ++made;
    // The level table and every level's rows must lie in the block.
    if (int64_t(oldHeaderBytes) + int64_t(oldTableEntryBytes) * made > total) {
        DebugPrintf("Old-style mip level table outside the block in oldstyle_mip2mip()\n");
        return 0;
    }
    for (uint32_t i = 0; i < made; ++i) {
        int64_t offset = loadLe32(block + oldHeaderBytes + oldTableEntryBytes * i + 8);
        if (offset + int64_t(width >> i) * (height >> i) > total) {
            DebugPrintf("Old-style mip level %u outside the block in oldstyle_mip2mip()\n", i);
            return 0;
        }
    }
    mip_tag* mip = mipAllocChain(PIXEL_PAL8, uint32_t(logWidth), uint32_t(logHeight), made,
                                 "oldstyle_mip2mip");
    if (!mip) return 0;
    mip->color = loadLe32(block + 16);
    mip->flag = 1;
    for (uint32_t i = 0; i < made; ++i) {
        bitmap_tag& level = mip->level[i];
        bitmapFill(&level, 0);
        int32_t rowLength = width >> i, rows = height >> i;
        const uint8_t* from = block + loadLe32(block + oldHeaderBytes + oldTableEntryBytes * i + 8);
        for (int32_t y = 0; y < rows; ++y)
            std::memcpy(level.pixels + int64_t(y) * level.rowBytes, from + int64_t(y) * rowLength,
                        size_t(rowLength));
    }
    *out = mip;
    return 1;
}

uint8_t oldstyle_mipGet(mip_tag** out, file_tag* file) {
    *out = nullptr;
    uint32_t total;
    if (!libfileReadUint32(file, &total)) {
        DebugPrintf("libfileReadUint32() failed in oldstyle_mipGet()\n");
        return 0;
    }
    uint8_t header[oldHeaderBytes];
    if (!libfileReadExact(file, header, oldHeaderBytes)) {
        DebugPrintf("libfileReadExact() failed in oldstyle_mipGet()\n");
        return 0;
    }
    libfileSeekFromCurrent(file, -int32_t(oldHeaderBytes));

    int64_t w = int32_t(loadLe32(header + 4)), h = int32_t(loadLe32(header + 8));
    int64_t levels = loadLe32(header + 12), pixels = 0;
    if (w >= 1)
        for (int64_t n = levels; w > 0 && h >= 1 && n >= 1; w /= 2, h /= 2, --n)
            pixels += w * h;
    int64_t least = oldHeaderBytes + oldTableEntryBytes * levels + pixels;
    int64_t size = int32_t(total);
    if (size < least || size > least + oldSlackBytes) {
        DebugPrintf("MIP size/header invalid in oldstyle_mipGet()\n");
        return 0;
    }
    if (size > int64_t(libfileSize(file)) - libfileGetCurrentPosition(file)) {
        DebugPrintf("MIP block runs past the end of the file in oldstyle_mipGet()\n");
        return 0;
    }
    auto* block = static_cast<uint8_t*>(memAlloc(size_t(size)));
    if (!block) {
        DebugPrintf("memAllocHi() failed in oldstyle_mipGet()\n");
        return 0;
    }
    uint8_t ok = libfileReadExact(file, block, total);
    if (!ok) DebugPrintf("libfileReadExact() failed in oldstyle_mipGet()\n");
    if (ok && !(ok = oldstyle_mip2mip(out, block, total)))
        DebugPrintf("oldstyle_mip2mip() failed in oldstyle_mipGet()\n");
    memFree(block);
    return ok;
}

extern "C" {

uint8_t mipLoad(mip_tag** out, file_tag* file) {
    *out = nullptr;
    uint32_t id, tag;
    int32_t size;
    if (!brixPeekChunkHeader(&id, &tag, &size, file)) {
        DebugPrintf("brixPeekChunkHeader() failed in mipLoad()\n");
        return 0;
    }
    if (id != idMIP && id != idOMT) {
        if (!oldstyle_mipGet(out, file)) {
            DebugPrintf("oldstyle_mipGet() failed in mipLoad()\n");
            return 0;
        }
        return 1;
    }
    mipfile::ParseState state{};
    if (!brixParseContainer(&state, id == idMIP ? mipParseList : omtParseList, 3, file)) {
        DebugPrintf("brixParseContainer() failed in mipLoad()\n");
        mipFree(state.mip);
        return 0;
    }
    if (!state.seen || !state.mip) {
        DebugPrintf("Required MPHD chunk not read\n");
        mipFree(state.mip);
        return 0;
    }
    *out = state.mip;
    return 1;
}

void mipUnload(mip_tag* mip) {
    mipFree(mip);
}

uint8_t mipWrite(file_tag* file, mip_tag* mip, mipExtraFunction extra, uint32_t user) {
    if (!mip) {
        DebugPrintf("Missing mip in mipWrite()\n");
        return 0;
    }
    brixChunk chunk;
    if (!brixStartChunk(file, &chunk, idMIP, 0)) {
        DebugPrintf("brixStartChunk() failed in mipWrite()\n");
        return 0;
    }
    uint8_t type = mip->levels ? mip->level[0].pixelType : 0;
    uint8_t header[mphdBytes];
    header[0] = type;
    storeLe32(header + 1, mip->logWidth);
    storeLe32(header + 5, mip->logHeight);
    storeLe32(header + 9, mip->color);
    header[13] = mip->flag;
    storeLe32(header + 14, mip->levels);
    if (!brixWriteChunk(file, idMPHD, 0, mphdBytes, header)) {
        DebugPrintf("brixWriteChunk() failed in mipWrite()\n");
        return 0;
    }
    if (isIndexed4(type) && mip->colormap && !colormapWrite(file, mip->colormap)) {
        DebugPrintf("colormapWrite() failed in mipWrite()\n");
        return 0;
    }
    for (uint32_t i = 0; i < mip->levels; ++i)
        if (!bitmapWrite(file, &mip->level[i])) {
            DebugPrintf("bitmapWrite() failed in mipWrite()\n");
            return 0;
        }
    if (extra && extra(file, user) != 1) {
        DebugPrintf("Extra Function failed in mipWrite()\n");
        return 0;
    }
    if (!brixEndChunk(file, &chunk)) {
        DebugPrintf("brixEndChunk() failed in mipWrite()\n");
        return 0;
    }
    return 1;
}

} // extern "C"
