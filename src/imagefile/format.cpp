// The table of image formats and the checks every reader shares.
#include "imagefile/format.h"

#include "imagefile/imagefile.h"
#include "imagefile/pcx.h"
#include "imagefile/tga.h"

namespace {

// bitmapLoad's order: PCX by its first byte before TGA by its name; the
// native file, which takes every file, last.
const ImageFormat* const imageFormats[] = {&pcxFormat, &tgaFormat, &nativeFormat};

} // namespace

bool imageSizeAcceptable(int64_t width, int64_t height, const char* caller) {
    if (width >= 1 && height >= 1 && width <= imageMaxSide && height <= imageMaxSide &&
        width * height <= imageMaxPixels)
        return true;
    DebugPrintf("Invalid image size %lld x %lld in %s()\n", static_cast<long long>(width),
                static_cast<long long>(height), caller);
    return false;
}

bool reportStepFailure(const char* step, const char* caller) {
    DebugPrintf("%s() failed in %s()\n", step, caller);
    return false;
}

uint8_t indexedPixelType(PixelKind kind, bool key) {
    for (int type = 0; type < pixelTypeCount; ++type)
        if (pixelTypes[type].kind == kind && pixelTypes[type].keyed == key) return uint8_t(type);
    return 0;
}

const ImageFormat& imageFormatForLoad(file_tag* file) {
    for (const ImageFormat* format : imageFormats)
        if (format->recognise(file)) return *format;
    return nativeFormat;
}

const ImageFormat& imageFormatAtPosition(file_tag* file) {
    for (const ImageFormat* format : imageFormats)
        if (!format->recognisedByName && format->recognise(file)) return *format;
    return nativeFormat;
}

const ImageFormat* imageFormatByContent(file_tag* file) {
    uint32_t start = libfileGetCurrentPosition(file);
    uint8_t head[imageHeadBytes];
    uint32_t got = 0;
    bool read = libfileReadAtMost(&got, file, head, imageHeadBytes);
    libfileSeekFromStart(file, start);
    if (!read) return nullptr;
    for (const ImageFormat* format : imageFormats)
        if (format->recogniseContent(head, got)) return format;
    return nullptr;
}
