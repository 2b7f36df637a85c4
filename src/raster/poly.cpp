// The polygon interface: the state between polyBegin and polyEnd, the mode
// table and the choice of the drawing routine, made once in polyBegin.
#include "raster/raster.h"

#include "bitmap/bitmap.h"
#include "bitmap/pixeltype.h"
#include "mip/mip.h"

uint8_t polyMode = 0;
bitmap_tag* polyTarget = nullptr;
int32_t polyCount = 0;
vertex_tag* polyVerts[polyMaxVertices];
uint8_t polyEnabled = 1;
PolyRoutine polyRoutine = nullptr;
TriRoutine triRoutine = nullptr;

void triNone(bitmap_tag*, vertex_tag*, vertex_tag*, vertex_tag*) {}

// The fills store two bytes a pixel on the 16-bit screen types and one on
// every other type, so rows must be that far apart whatever the type's
// own pixel size (an unknown type has none).
bool targetDrawable(const bitmap_tag* target) {
    return bitmapUsable(target, target && isScreen16(target->pixelType) ? 2 : 1) &&
           target->width > 0 && target->height > 0;
}

ClipRect targetClip(const bitmap_tag* target) {
    return ClipRect{0, 0, target->width, target->height};
}

namespace {

bool currentMipIsCmap4() {
    return mipCurrent && mipCurrent->levels > 0 && isIndexed4(mipCurrent->level[0].pixelType);
}

} // namespace

extern "C" {

void polyBegin(bitmap_tag* target, int32_t mode) {
    uint8_t m = uint8_t(mode & 0xFF);
    polyRoutine = nullptr;
    triRoutine = nullptr;
    if (m == 4 && currentMipIsCmap4()) {
        polyRoutine = polyTexturedCmap;
    } else if (m == 0) {
        polyRoutine = polyFlat;
    } else if (m <= 3) {
        triRoutine = triNone;
    } else if (m <= 7) {
        polyRoutine = polyTextured;
    }
    polyMode = m;
    polyCount = 0;
    polyTarget = target;
    polyEnabled = 1;
}

void polyVertex(vertex_tag* vertex) {
    if (vertex && polyCount < polyMaxVertices) polyVerts[polyCount++] = vertex;
}

void polySetColor(uint32_t color) {
    if (!(polyMode & 4) && color > 255) polyEnabled = 0;
}

void polyEnd(void) {
    if (polyEnabled == 1 && polyCount > 2 && targetDrawable(polyTarget)) {
        if (triRoutine) {
            for (int i = 2; i < polyCount; ++i)
                triRoutine(polyTarget, polyVerts[0], polyVerts[i - 1], polyVerts[i]);
        } else if (polyRoutine) {
            polyRoutine(polyTarget, polyCount, polyVerts);
        }
    }
    polyTarget = nullptr;
    polyRoutine = nullptr;
    triRoutine = nullptr;
}

void aaTriangle(bitmap_tag* target, uint32_t color, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                int32_t x2, int32_t y2) {
    vertex_tag corners[3] = {{x0, y0, 1, 0, 0, int32_t(color)},
                             {x1, y1, 1, 0, 0, int32_t(color)},
                             {x2, y2, 1, 0, 0, int32_t(color)}};
    polyBegin(target, 0);
    polySetColor(color);
    for (vertex_tag& corner : corners)
        polyVertex(&corner);
    polyEnd();
}

} // extern "C"
