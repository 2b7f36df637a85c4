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

// The 8-bit path of bitmapScale after clipping: `columns` x `rows` pixels
// from `first` (the destination's top left visible pixel); visible column i
// shows source column ((cl + i) x ix) >> 16 of source row
// ((ct + j) x iy) >> 16 in visible row j.
struct Scale8 {
    uint8_t* first;
    int64_t dstRowBytes;
    const uint8_t* src;
    int64_t srcRowBytes;
    int64_t columns, rows, cl, ct, ix, iy;
};
// Clips the 8-bit path's image of `src` at (x, y) with factors fx, fy to
// `dst`; false when nothing is drawn.
bool scale8Job(const bitmap_tag* dst, int32_t x, int32_t y, const bitmap_tag* src, int32_t fx,
               int32_t fy, Scale8& job);
// The 8-bit path pixel by pixel (the reference), and the fast version that
// writes the same bytes; keyed skips source pixels of value 0.
void scaleRows8Plain(const Scale8& job, bool keyed);
void scaleRows8Fast(const Scale8& job, bool keyed);
