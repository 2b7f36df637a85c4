// Chunked files: a 12-byte header (id in reading order, tag and signed size
// little-endian) followed by the payload. Containers hold child chunks.
//
// The container parser trusts nothing it reads: every child must fit in its
// container, every container in the file, and nesting is bounded, so a
// hostile file fails the parse with a message instead of sending the
// handlers outside the data.
#include <spanwright/vesk.h>

#include "byteorder.h"

#include <cstdint>

namespace {

constexpr uint32_t headerBytes = VESK_CHUNK_HEADER_BYTES;

// Current nesting depth of brixParseContainer across re-entrant calls.
int parseDepth = 0;

void packHeader(uint8_t out[headerBytes], uint32_t id, uint32_t tag, int32_t size) {
    storeBe32(out, id);
    storeLe32(out + 4, tag);
    storeLe32(out + 8, uint32_t(size));
}

void unpackHeader(const uint8_t in[headerBytes], uint32_t* id, uint32_t* tag, int32_t* size) {
    if (id) *id = loadBe32(in);
    if (tag) *tag = loadLe32(in + 4);
    if (size) *size = int32_t(loadLe32(in + 8));
}

void idText(uint32_t id, char out[5]) {
    for (int i = 0; i < 4; ++i) {
        char c = char(id >> (24 - 8 * i));
        out[i] = (c >= 32 && c < 127) ? c : '?';
    }
    out[4] = '\0';
}

const brixParseList* findHandler(const brixParseList* list, int32_t count, uint32_t id) {
    for (int32_t i = 0; list && i < count; ++i)
        if (list[i].id == id) return &list[i];
    return nullptr;
}

// The body of brixParseContainer once the depth is accounted for.
uint8_t parseChildren(void* user, const brixParseList* list, int32_t count, file_tag* f) {
    uint32_t id, tag;
    int32_t size;
    uint64_t fileSize = libfileSize(f);
    uint64_t start = libfileGetCurrentPosition(f);
    if (!brixReadChunkHeader(&id, &tag, &size, f)) {
        DebugPrintf("Truncated container header in brixParseContainer()\n");
        return 0;
    }
    char name[5];
    idText(id, name);
    uint64_t end = start + headerBytes + uint64_t(uint32_t(size));
    if (size < 0 || end > fileSize) {
        DebugPrintf("Container \"%s\" of size %d runs past the end of the file in "
                    "brixParseContainer()\n",
                    name, size);
        return 0;
    }
    uint64_t pos = start + headerBytes;
    while (pos < end) {
        if (end - pos < headerBytes) {
            DebugPrintf("Truncated chunk header in container \"%s\" in brixParseContainer()\n",
                        name);
            return 0;
        }
        uint32_t childId, childTag;
        int32_t childSize;
        if (!libfileSeekFromStart(f, uint32_t(pos)) ||
            !brixPeekChunkHeader(&childId, &childTag, &childSize, f)) {
            DebugPrintf("Unreadable chunk header in brixParseContainer()\n");
            return 0;
        }
        uint64_t childEnd = pos + headerBytes + uint64_t(uint32_t(childSize));
        if (childSize < 0 || childEnd > end) {
            char childName[5];
            idText(childId, childName);
            DebugPrintf("Chunk \"%s\" of size %d runs past its container \"%s\" in "
                        "brixParseContainer()\n",
                        childName, childSize, name);
            return 0;
        }
        if (const brixParseList* entry = findHandler(list, count, childId)) {
            if (!entry->handler || !entry->handler(user, childId, childTag, childSize, f)) return 0;
        }
        pos = childEnd;
    }
    return libfileSeekFromStart(f, uint32_t(end));
}

} // namespace

extern "C" {

uint8_t brixWriteChunk(file_tag* f, uint32_t id, uint32_t tag, int32_t size, const void* data) {
    if (!f || size < 0 || (size > 0 && !data)) return 0;
    uint8_t header[headerBytes];
    packHeader(header, id, tag, size);
    return fileWrite(f, header, headerBytes) && fileWrite(f, data, uint32_t(size));
}

uint8_t brixStartChunk(file_tag* f, brixChunk* chunk, uint32_t id, uint32_t tag) {
    if (!f || !chunk) return 0;
    chunk->start = libfileGetCurrentPosition(f);
    uint8_t header[headerBytes];
    packHeader(header, id, tag, 0);
    return fileWrite(f, header, headerBytes);
}

uint8_t brixEndChunk(file_tag* f, brixChunk* chunk) {
    if (!f || !chunk) return 0;
    uint32_t end = libfileGetCurrentPosition(f);
    if (end < chunk->start + headerBytes || end - chunk->start - headerBytes > INT32_MAX) return 0;
    uint32_t size = end - chunk->start - headerBytes;
    uint8_t bytes[4];
    storeLe32(bytes, size);
    return libfileSeekFromStart(f, chunk->start + 8) && fileWrite(f, bytes, 4) &&
           libfileSeekFromStart(f, end);
}

uint8_t brixPeekChunkHeader(uint32_t* id, uint32_t* tag, int32_t* size, file_tag* f) {
    if (!f) return 0;
    uint32_t pos = libfileGetCurrentPosition(f);
    uint8_t header[headerBytes];
    uint8_t ok = libfileReadExact(f, header, headerBytes);
    if (!libfileSeekFromStart(f, pos) || !ok) return 0;
    unpackHeader(header, id, tag, size);
    return 1;
}

uint8_t brixReadChunkHeader(uint32_t* id, uint32_t* tag, int32_t* size, file_tag* f) {
    uint8_t header[headerBytes];
    if (!f || !libfileReadExact(f, header, headerBytes)) return 0;
    unpackHeader(header, id, tag, size);
    return 1;
}

uint8_t brixParseContainer(void* user, const brixParseList* list, int32_t count, file_tag* f) {
    if (!f) return 0;
    if (parseDepth >= VESK_MAX_NESTING) {
        DebugPrintf("Containers nested deeper than %d in brixParseContainer()\n", VESK_MAX_NESTING);
        return 0;
    }
    ++parseDepth;
    uint8_t ok = parseChildren(user, list, count, f);
    --parseDepth;
    return ok;
}

} // extern "C"
