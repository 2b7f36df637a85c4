// The span table's plain routines, and the choice of a row.
#include "raster/spantex.h"

#include <array>
#include <utility>

namespace {

// The plain column: each row's routine, instantiated from the row's kind.
template <size_t... row>
constexpr std::array<TexRowsRoutine, texSpanCaseCount> plainColumn(std::index_sequence<row...>) {
    return {&spantex::rowsTexPlain<texSpanCases[row].kind()>...};
}

constexpr std::array<TexRowsRoutine, texSpanCaseCount> texRowsPlain =
    plainColumn(std::make_index_sequence<texSpanCaseCount>());

// The table's target for a target type: PIXEL_PAL8 for every type of one
// byte per pixel, the 16-bit screen types themselves, -1 for the others.
int spanTarget(uint8_t type) {
    if (bytesPerPixel(type) == 1) return PIXEL_PAL8;
    return isScreen16(type) ? type : -1;
}

} // namespace

int texSpanCaseFor(uint8_t targetType, uint8_t textureType, bool cmap) {
    const int target = spanTarget(targetType);
    for (int i = 0; i < texSpanCaseCount; ++i) {
        const TexSpanCase& c = texSpanCases[i];
        if (c.target == target && c.texture == textureType && c.cmap == cmap) return i;
    }
    return -1;
}

TexRowsRoutines texRowsRoutines(int spanCase) {
    const TexRowsFast* fast = SSE2_ROUTINE(texRowsSse2[spanCase]);
    return TexRowsRoutines{{texRowsPlain[spanCase], fast ? fast->clipped : nullptr},
                           {texRowsPlain[spanCase], fast ? fast->inside : nullptr}};
}
