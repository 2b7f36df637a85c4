// Frame output of a demo built without libpng: the frame is hashed and
// reported by the caller as usual, and no file is written.
#include "png.h"

#include <cstdio>

namespace demo {

bool writeFramePng(const std::string& path, const bitmap_tag*, const uint32_t*) {
    static bool told = false;
    if (!told) {
        std::fprintf(stderr,
                     "spanwright-demo: built without libpng, %s and the other frames "
                     "are not written\n",
                     path.c_str());
        told = true;
    }
    return true;
}

} // namespace demo
