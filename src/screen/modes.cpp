// The screen mode table and its enumeration cursor.
#include <spanwright/spanwright.h>

#include <cstring>

namespace {

constexpr int modeCount = 6;

struct ModeRow {
    int32_t width, height, bits;
};
constexpr ModeRow modeRows[modeCount] = {{640, 480, 8},  {640, 480, 16}, {800, 600, 8},
                                         {800, 600, 16}, {1024, 768, 8}, {1024, 768, 16}};

// Position of the next row to hand out, 0..6.
int32_t modeCursor = 0;

void fillMode(screenmode_tag* out, const ModeRow& row) {
    std::memset(out, 0, sizeof *out);
    out->hostValue0 = 0;
    out->width = row.width;
    out->height = row.height;
    out->hostValue12 = 100;
    out->bitsPerPixel = row.bits;
    std::strcpy(out->name, "DirectX SVGA");
    out->hostByte157 = 2;
}

} // namespace

extern "C" {

// Past the last row the cursor starts again from the first.
uint8_t screenGetFirstMode(screenmode_tag* out) {
    if (modeCursor >= modeCount) modeCursor = 0;
    fillMode(out, modeRows[modeCursor++]);
    return 1;
}

uint8_t screenGetNextMode(screenmode_tag* out) {
    if (modeCursor >= modeCount) {
        modeCursor = 0;
        return 0;
    }
    fillMode(out, modeRows[modeCursor++]);
    return 1;
}

uint8_t screenGetLargestRes(screenmode_tag* out) {
    screenmode_tag scratch;
    bool seen = false;
    int32_t widest = 0;
    while (screenGetNextMode(&scratch)) {
        if (!seen || scratch.width > widest) {
            widest = scratch.width;
            *out = scratch;
            seen = true;
        }
    }
    return 0;
}

} // extern "C"
