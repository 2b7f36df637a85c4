// Internal interface of the blitters: the copy routines behind bitmapCopy.
#pragma once

#include <spanwright/spanwright.h>

#include <cstdint>

// A copy routine: `width` x `height` pixels from column srcX of srcRow
// (and the rows srcRowBytes apart below it) to column dstX of dstRow (rows
// dstRowBytes apart), converting from the source's pixel type to the
// destination's. Width or height of 0 or less does nothing. Row strides
// may be negative (bottom-up bitmaps). Rows must lie inside their bitmaps;
// the routine does not clip, and reads nothing outside the source rows it
// is given.
using CopyRoutine = void (*)(uint8_t* dstRow, int32_t dstX, int32_t dstRowBytes,
                             const uint8_t* srcRow, int32_t srcX, int32_t srcRowBytes,
                             int32_t width, int32_t height);

// The routine bitmapCopy uses for a pair of pixel types (the plain or the
// fast column, as the fast/plain switch stands), or null when the pair
// has none (types outside the table included).
CopyRoutine copyRoutineFor(uint32_t srcType, uint32_t dstType);

// The SSE2 copy routines (copy_sse2.cpp): the keyed byte copy and the
// blends onto the screen types, eight pixels per step.
void copyKeyedBytesSse2(uint8_t* dstRow, int32_t dstX, int32_t dstRowBytes, const uint8_t* srcRow,
                        int32_t srcX, int32_t srcRowBytes, int32_t width, int32_t height);
void copyArgb4444To565Sse2(uint8_t* dstRow, int32_t dstX, int32_t dstRowBytes,
                           const uint8_t* srcRow, int32_t srcX, int32_t srcRowBytes, int32_t width,
                           int32_t height);
void copyArgb4444To555Sse2(uint8_t* dstRow, int32_t dstX, int32_t dstRowBytes,
                           const uint8_t* srcRow, int32_t srcX, int32_t srcRowBytes, int32_t width,
                           int32_t height);
void copyAlpha8To565Sse2(uint8_t* dstRow, int32_t dstX, int32_t dstRowBytes, const uint8_t* srcRow,
                         int32_t srcX, int32_t srcRowBytes, int32_t width, int32_t height);
void copyAlpha8To555Sse2(uint8_t* dstRow, int32_t dstX, int32_t dstRowBytes, const uint8_t* srcRow,
                         int32_t srcX, int32_t srcRowBytes, int32_t width, int32_t height);
