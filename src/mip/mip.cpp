// The mip chain record, its accessors and the current mip.
#include "mip/mip.h"

#include "bitmap/bitmap.h"
#include "memory.h"

#include <cstring>

mip_tag* mipCurrent = nullptr;

namespace {
// No chain has more levels than a 2^31 side can halve into.
constexpr uint32_t maxLevels = 32;
} // namespace

mip_tag* mipRecordAlloc(uint32_t levels) {
    if (levels > maxLevels) return nullptr;
    size_t bytes = sizeof(mip_tag) + size_t(levels) * sizeof(bitmap_tag);
    auto* mip = static_cast<mip_tag*>(memAlloc(bytes));
    if (mip) std::memset(mip, 0, bytes);
    return mip;
}

int64_t mipRowBytes(uint8_t type, int64_t width) {
    return (bytesPerPixel(type) * width + 3) & ~int64_t(3);
}

mip_tag* mipAllocChain(uint8_t type, uint32_t logWidth, uint32_t logHeight, uint32_t levels,
                       const char* caller) {
    mip_tag* mip = mipRecordAlloc(levels);
    if (!mip) {
        DebugPrintf("memAlloc() failed in %s()\n", caller);
        return nullptr;
    }
    mip->logWidth = logWidth;
    mip->logHeight = logHeight;
    mip->levels = levels;
    for (uint32_t i = 0; i < levels; ++i) {
        bitmap_tag& level = mip->level[i];
        level.pixelType = type;
        level.width = int32_t(1) << (logWidth - i);
        level.height = int32_t(1) << (logHeight - i);
        level.rowBytes = int32_t(mipRowBytes(type, level.width));
        level.pixels = static_cast<uint8_t*>(memAlloc(size_t(level.rowBytes) * level.height));
        if (!level.pixels) {
            DebugPrintf("memAlloc() failed in %s()\n", caller);
            mipFree(mip);
            return nullptr;
        }
    }
    return mip;
}

extern "C" {

void mipFree(mip_tag* mip) {
    if (!mip) return;
    memFree(mip->colormap);
    for (uint32_t i = mip->levels; i-- > 0;)
        memFree(mip->level[i].pixels);
    memFree(mip);
}

uint32_t mipWidth(const mip_tag* mip) {
    return mip->logWidth < 32 ? 1u << mip->logWidth : 0;
}
uint32_t mipHeight(const mip_tag* mip) {
    return mip->logHeight < 32 ? 1u << mip->logHeight : 0;
}
uint32_t mipLogWidth(const mip_tag* mip) {
    return mip->logWidth;
}
uint32_t mipLogHeight(const mip_tag* mip) {
    return mip->logHeight;
}
uint32_t mipLevels(const mip_tag* mip) {
    return mip->levels;
}
void mipSetColor(mip_tag* mip, uint32_t color) {
    mip->color = color;
}
mip_tag* mipGetCurrent(void) {
    return mipCurrent;
}
void mipSetCurrent(mip_tag* mip) {
    mipCurrent = mip;
}

} // extern "C"
