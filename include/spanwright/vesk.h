/*
 * vesk — host services for spanwright: files, chunked files and messages.
 *
 * The rasterizer never touches the operating system's files directly: the
 * host opens files through this library and hands them over, and every
 * diagnostic the rasterizer prints goes through DebugPrintf or _Error.
 *
 * Conventions: results are byte flags (1 success, 0 failure); multi-byte
 * integers in files are little-endian; positions and sizes are 32-bit.
 *
 * Chunked files. A chunk is a 12-byte header followed by its payload:
 *
 *   offset 0  id    four ASCII characters in reading order ("BMAP" is the
 *                   bytes 'B' 'M' 'A' 'P'); in memory the id is packed into a
 *                   uint32_t with the first character in the most significant
 *                   byte, so "BMAP" is 0x424D4150
 *   offset 4  tag   uint32_t, little-endian (this library's writers pass 0)
 *   offset 8  size  int32_t, little-endian: payload bytes after the header
 *
 * A container chunk's payload is a sequence of child chunks.
 */
#ifndef SPANWRIGHT_VESK_H
#define SPANWRIGHT_VESK_H

#include <stdint.h>

/* VESK_API marks the exports: a DLL's exports (imports for its users) on
 * Windows, names of default visibility in a library built with hidden ones
 * elsewhere. */
#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(VESK_BUILD)
#define VESK_API __declspec(dllexport)
#else
#define VESK_API __declspec(dllimport)
#endif
#elif defined(VESK_BUILD)
#define VESK_API __attribute__((visibility("default")))
#else
#define VESK_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* An open file; opaque to its users. */
typedef struct file_tag file_tag;

/* Builds a chunk id from four characters: VESK_ID('B','M','A','P'). */
#define VESK_ID(a, b, c, d)                                                                        \
    (((uint32_t)(uint8_t)(a) << 24) | ((uint32_t)(uint8_t)(b) << 16) |                             \
     ((uint32_t)(uint8_t)(c) << 8) | (uint32_t)(uint8_t)(d))

/* Size of a chunk header in the file. */
#define VESK_CHUNK_HEADER_BYTES 12

/* Opening and closing. fileOpen opens an existing file for reading,
 * fileCreate creates (or truncates) a file for writing and reading back. */
VESK_API uint8_t fileOpen(file_tag** out, const char* name);
VESK_API uint8_t fileCreate(file_tag** out, const char* name);
VESK_API void fileClose(file_tag* f);

/* Reading. libfileReadExact fails unless all n bytes were read;
 * libfileReadAtMost stores the count it read (0 at the end of the file is
 * a success). */
VESK_API uint8_t libfileReadExact(file_tag* f, void* buf, uint32_t n);
VESK_API uint8_t libfileReadAtMost(uint32_t* got, file_tag* f, void* buf, uint32_t n);
VESK_API uint8_t libfileReadUint8(file_tag* f, uint8_t* value);
VESK_API uint8_t libfileReadInt8(file_tag* f, int8_t* value);
VESK_API uint8_t libfileReadUint32(file_tag* f, uint32_t* value);

/* Writing. */
VESK_API uint8_t fileWrite(file_tag* f, const void* buf, uint32_t n);
VESK_API uint8_t fileWriteUint8(file_tag* f, uint8_t value);
VESK_API uint8_t fileWriteUint16(file_tag* f, uint16_t value);

/* Position. libfileSeekFromEnd moves to `back` bytes before the end. */
VESK_API uint8_t libfileSeekFromStart(file_tag* f, uint32_t pos);
VESK_API uint8_t libfileSeekFromCurrent(file_tag* f, int32_t delta);
VESK_API uint8_t libfileSeekFromEnd(file_tag* f, uint32_t back);
VESK_API uint32_t libfileGetCurrentPosition(file_tag* f);
VESK_API uint32_t libfileSize(file_tag* f);

/* Names and directories. libfileName returns the name the file was opened
 * by. libfileGetDir fills a 256-character buffer with the current
 * directory. homedir holds the home directory: at load it is the process's
 * working directory; hosts may overwrite it. */
VESK_API const char* libfileName(file_tag* f);
VESK_API uint8_t fileChDir(const char* dir);
VESK_API uint8_t libfileGetDir(char* buf);
VESK_API extern char homedir[256];

/* Chunked files. brixChunk is owned by the caller between brixStartChunk
 * and brixEndChunk; containers nest. */
typedef struct brixChunk {
    uint32_t start; /* file position of the container's header */
} brixChunk;

VESK_API uint8_t brixWriteChunk(file_tag* f, uint32_t id, uint32_t tag, int32_t size,
                                const void* data);
VESK_API uint8_t brixStartChunk(file_tag* f, brixChunk* chunk, uint32_t id, uint32_t tag);
VESK_API uint8_t brixEndChunk(file_tag* f, brixChunk* chunk);
VESK_API uint8_t brixPeekChunkHeader(uint32_t* id, uint32_t* tag, int32_t* size, file_tag* f);
VESK_API uint8_t brixReadChunkHeader(uint32_t* id, uint32_t* tag, int32_t* size, file_tag* f);

/* A chunk handler is called with the file at the child's header, which it
 * may read again. Whatever position it leaves, the parse continues with the
 * next child. Returning 0 makes the parse fail. */
typedef uint8_t (*brixHandler)(void* user, uint32_t id, uint32_t tag, int32_t size, file_tag* f);

typedef struct brixParseList {
    uint32_t id;
    brixHandler handler;
} brixParseList;

/* Parses the container whose header is at the file's position, calling the
 * listed handlers for matching children and skipping the others; leaves the
 * file after the container. Re-entrant: handlers may parse nested
 * containers. Fails (with a message) on a child that runs past its
 * container or the file, a negative size, a container that runs past the
 * file, trailing bytes too short for a header, or nesting deeper than
 * VESK_MAX_NESTING. */
#define VESK_MAX_NESTING 16
VESK_API uint8_t brixParseContainer(void* user, const brixParseList* list, int32_t count,
                                    file_tag* f);

/* Messages. DebugPrintf prints a diagnostic; _Error reports an error and
 * returns. Both format with printf rules. */
VESK_API void DebugPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
VESK_API void _Error(const char* format, ...) __attribute__((format(printf, 1, 2)));

/* Message hook: receives every formatted text whole, kind 0 for DebugPrintf
 * and 1 for _Error. A null hook restores the default, which writes to the
 * standard error stream. */
#define VESK_MESSAGE_DEBUG 0
#define VESK_MESSAGE_ERROR 1
typedef void (*veskMessageHook)(void* user, int32_t kind, const char* text);
VESK_API void veskSetMessageHook(veskMessageHook hook, void* user);

#ifdef __cplusplus
}
#endif

#endif
