// colormapLoad of arbitrary bytes.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::loadOnce(data, size, "colormapLoad", colormapLoad, colormapFree);
    return 0;
}
