// bitmapRead of arbitrary bytes into a caller's bitmap whose pixel memory
// is exactly rowBytes x height (as a mip level's is), so any write past it
// is caught. The first three bytes choose the bitmap's type and size.
#include "harness.h"

#include "bitmap/bitmap.h"
#include "memory.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    fuzz::silenceMessages();
    const int64_t before = memLiveBlocks();
    const uint8_t type = uint8_t(data[0] % pixelTypeCount);
    const int32_t width = data[1] % 40 + 1, height = data[2] % 40 + 1;
    bitmap_tag bm{type, width, height, int32_t(allocRowBytes(type, width)), nullptr, nullptr};
    bm.pixels = static_cast<uint8_t*>(memAlloc(size_t(bm.rowBytes) * size_t(bm.height)));
    if (hasMap(bm.pixelType)) bm.map = memAlloc(isIndexed4(bm.pixelType) ? 16 : 1024);
    {
        fuzz::InputFile file(data + 3, size - 3, "input.bin");
        bitmapRead(&bm, file.get());
    }
    memFree(bm.map);
    memFree(bm.pixels);
    fuzz::expectNoLeak(before, "bitmapRead");
    return 0;
}
