// Internal interface of the blitters: the copy routines behind bitmapCopy
// and the pieces the scaler and the special bitmaps share with it.
#pragma once

#include <spanwright/spanwright.h>

#include <cstdint>

// A copy routine: `width` x `height` pixels from column srcX of srcRow
// (and the rows srcRowBytes apart below it) to column dstX of dstRow (rows
// dstRowBytes apart), converting from the source's pixel type to the
// destination's. Width or height of 0 or less does nothing. Rows must lie
// inside their bitmaps; the routine does not clip.
using CopyRoutine = void (*)(uint8_t* dstRow, int32_t dstX, int32_t dstRowBytes,
                             const uint8_t* srcRow, int32_t srcX, int32_t srcRowBytes,
                             int32_t width, int32_t height);

// The routine bitmapCopy uses for a pair of pixel types, or null when the
// pair has none (types outside the table included).
CopyRoutine copyRoutineFor(uint32_t srcType, uint32_t dstType);
// The plain per-pixel routine for the same pair: the reference every fast
// routine must match bit for bit.
CopyRoutine copyRoutinePlainFor(uint32_t srcType, uint32_t dstType);

// The colormap that expands 4-bit sources in bitmapCopy: the current one,
// or 0, 1, ..., 15 when none is set.
const uint8_t* copyColormap();
extern const uint8_t identityColormap[16];
