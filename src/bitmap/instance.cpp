// Instances: bitmap records that look into a rectangle of a parent bitmap.
#include "bitmap/bitmap.h"

#include "memory.h"

extern "C" {

// A rectangle that lies inside the parent gets the parent's rowBytes and a
// pointer to its top-left pixel in the parent's rows. The instance of a
// bottom-up parent (negative rowBytes) is itself bottom-up: its rows are
// the parent's rows y .. y + h - 1, stepped the same way. Any other
// rectangle (negative corner or size included) never points into the
// parent: pixels is null, and rowBytes is the largest mode's width when the
// rectangle fits that mode, else 0.
void bitmapInstance(bitmap_tag* inst, bitmap_tag* parent, int32_t x, int32_t y, int32_t w,
                    int32_t h) {
    int64_t right = int64_t(x) + w, bottom = int64_t(y) + h;
    inst->pixelType = parent->pixelType;
    inst->map = parent->map;
    inst->width = w;
    inst->height = h;
    bool inside = x >= 0 && y >= 0 && w >= 0 && h >= 0 && right <= parent->width &&
                  bottom <= parent->height && parent->pixels;
    if (inside) {
        inst->rowBytes = parent->rowBytes;
        inst->pixels = rowAt(parent->pixels, parent->rowBytes, y) +
                       int64_t(x) * bytesPerPixel(parent->pixelType);
        return;
    }
    screenmode_tag largest{};
    screenGetLargestRes(&largest);
    inst->rowBytes = (right <= largest.width && bottom <= largest.height) ? largest.width : 0;
    inst->pixels = nullptr;
}

uint8_t bitmapInstanceAlloc(bitmap_tag** out, bitmap_tag* parent, int32_t x, int32_t y, int32_t w,
                            int32_t h) {
    *out = static_cast<bitmap_tag*>(memAlloc(sizeof(bitmap_tag)));
    if (!*out) {
        DebugPrintf("memAlloc() failed in bitmapInstanceAlloc()\n");
        return 0;
    }
    bitmapInstance(*out, parent, x, y, w, h);
    return 1;
}

void bitmapInstanceFree(bitmap_tag* inst) {
    releaseBlock(inst);
}

} // extern "C"
