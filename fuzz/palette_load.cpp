// paletteLoad of arbitrary bytes (PCX, bare "PLET", "BMAP" or "MIP ").
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::loadOnce(data, size, "paletteLoad", paletteLoad, paletteFree);
    return 0;
}
