// The image formats the loaders know, one row each, and the steps every
// reader of a header-based format shares.
//
// Who recognises what:
//  - bitmapLoad (and bitmapLoad4 and the cache) tries the rows in table
//    order with each row's own rule: PCX by the first byte at the file's
//    position, TGA by the file's name, and the native file takes the rest;
//  - bitmapRead and paletteRead read at a position inside files of any
//    name (a mip file's levels), so they use only the rules that look at
//    the bytes there;
//  - tools recognise files by their content alone (recogniseContent).
//
// A new format is a file of its own defining its row (an ImageFormat) and,
// for a format that starts with a header, an ImageCodec whose steps the
// shared templates below run; the row is declared below and listed in
// format.cpp. A new variant of a format is a row of that format's variant
// table (pcx.cpp, tga.cpp) and the one function that unpacks it.
#pragma once

#include <spanwright/spanwright.h>

#include "bitmap/pixeltype.h"

#include <cstddef>
#include <cstdint>

// The largest picture any reader accepts: each side 1..32768 pixels and at
// most 2^28 pixels in all. A hostile header therefore never asks for more
// than a bounded allocation, and the readers also compare what they
// allocate with the size of the file that is meant to fill it.
constexpr int64_t imageMaxSide = 32768;
constexpr int64_t imageMaxPixels = int64_t(1) << 28;

// True when width x height lies within the limits above; otherwise prints
// "Invalid image size W x H in <caller>()\n".
bool imageSizeAcceptable(int64_t width, int64_t height, const char* caller);

// Prints "<step>() failed in <caller>()\n"; returns false.
bool reportStepFailure(const char* step, const char* caller);

// What a load asks for. `caller` names the entry point in every message.
// Indexed pictures become the type of kind `indexedAs` (a palette type for
// bitmapLoad, a colormap type for bitmapLoad4), keyed when `key` is set;
// only palette types get the file's palette.
struct LoadRequest {
    const char* caller;
    PixelKind indexedAs;
    bool key;
};

// `fallback`: the file lacks the palette its variant should carry and a
// load makes do with another (a PCX's 16 header colours for 256).
struct PaletteOrigin {
    const char* text;
    bool fallback;
};

struct ImageFormat {
    const char* name;
    // The library's rule for bitmapLoad; true when this row takes the file.
    bool (*recognise)(file_tag* file);
    // The rule looks at the name, not at the bytes at the file's position
    // (so bitmapRead and paletteRead do not use it).
    bool recognisedByName;
    // Recognition by content: `head` holds the file's first imageHeadBytes
    // bytes, or all of a shorter file.
    bool (*recogniseContent)(const uint8_t* head, uint32_t bytes);
    // A new bitmap from the file; the out-pointer is null on failure.
    bool (*load)(bitmap_tag** out, file_tag* file, const LoadRequest& request);
    // The pixels into an existing bitmap (bitmapRead); null when the row is
    // recognised by name only.
    bool (*read)(bitmap_tag* bm, file_tag* file, const char* caller);
    // The file's palette (paletteRead); null when the format has none.
    bool (*readPalette)(uint32_t* palette, file_tag* file, const char* caller);
    // The format variant in words, from the header alone; false when the
    // header cannot be read.
    bool (*describe)(file_tag* file, char* text, size_t size);
    // Where a load takes the picture's palette from (the file at its start);
    // null text for a format or variant without one.
    PaletteOrigin (*paletteOrigin)(file_tag* file);
    // Indexed pictures of this format can be loaded as 4-bit values
    // (bitmapLoad4).
    bool loadsFourBit;
};

constexpr uint32_t imageHeadBytes = 32;

// The rows, in bitmapLoad's order (format.cpp lists them).
extern const ImageFormat pcxFormat, tgaFormat, nativeFormat;

// The row bitmapLoad uses for a file (never null: the native file takes
// what no other row does).
const ImageFormat& imageFormatForLoad(file_tag* file);
// The row for bitmapRead and paletteRead, from the bytes at the position.
const ImageFormat& imageFormatAtPosition(file_tag* file);
// The row whose content rule takes the bytes from the file's position on;
// null for none. The position is left where it was.
const ImageFormat* imageFormatByContent(file_tag* file);

// ------------------------------------------------------------------
// Header-based formats load in the same steps, each checked before the
// next: magic and header (setup), the variant (layout), size limits
// against the header and the file, allocation, pixels, palette. Whatever
// fails after the allocation frees the bitmap again.

// What a header says about its picture.
struct ImageLayout {
    int32_t width, height;
    uint8_t pixelType; // the type a load makes of a picture that is not indexed
    bool indexed;      // palette indexes (the type then comes from the request)
    bool palette;      // the file carries the palette of its indexes
    bool fourBit;      // indexed values that bitmapLoad4 may keep as 4-bit ones
    // The variant in words ("PCX with 2 planes of 8 bits"), for refusals.
    char variant[64];
};

template <class Reader>
struct ImageCodec {
    const char* setupStep; // names in the messages: "<step>() failed in <caller>()\n"
    const char* readStep;
    const char* paletteStep;
    bool (*setup)(Reader* reader, file_tag* file);             // prints its own details
    bool (*layout)(const Reader& reader, ImageLayout* layout); // false: a variant not read
    bool (*fitsFile)(const Reader& reader, const char* caller);
    bool (*readBitmap)(bitmap_tag* bm, Reader* reader);
    bool (*readPalette)(uint32_t* palette, Reader* reader);
};

// The type an indexed picture is loaded as: the row of `kind` whose keyed
// flag is `key`.
uint8_t indexedPixelType(PixelKind kind, bool key);

template <class Reader>
bool loadImage(const ImageCodec<Reader>& codec, bitmap_tag** out, file_tag* file,
               const LoadRequest& request) {
    *out = nullptr;
    Reader reader;
    if (!codec.setup(&reader, file)) return reportStepFailure(codec.setupStep, request.caller);
    ImageLayout layout{};
    if (!codec.layout(reader, &layout) ||
        (request.indexedAs != PixelKind::Palette8 && !(layout.indexed && layout.fourBit))) {
        DebugPrintf("%s is not supported in %s()\n", layout.variant, request.caller);
        return false;
    }
    if (!imageSizeAcceptable(layout.width, layout.height, request.caller) ||
        !codec.fitsFile(reader, request.caller))
        return false;
    uint8_t type =
        layout.indexed ? indexedPixelType(request.indexedAs, request.key) : layout.pixelType;
    bool withPalette = layout.palette && isIndexed8(type);
    bitmap_tag* bm;
    if (!bitmapAlloc(&bm, type, layout.width, layout.height, withPalette))
        return reportStepFailure("bitmapAlloc", request.caller);
    bool ok = codec.readBitmap(bm, &reader) || reportStepFailure(codec.readStep, request.caller);
    ok = ok && (!withPalette || codec.readPalette(static_cast<uint32_t*>(bm->map), &reader) ||
                reportStepFailure(codec.paletteStep, request.caller));
    if (!ok) {
        bitmapFree(bm);
        return false;
    }
    *out = bm;
    return true;
}

template <class Reader>
bool readImage(const ImageCodec<Reader>& codec, bitmap_tag* bm, file_tag* file,
               const char* caller) {
    Reader reader;
    if (!codec.setup(&reader, file)) return reportStepFailure(codec.setupStep, caller);
    return codec.readBitmap(bm, &reader) || reportStepFailure(codec.readStep, caller);
}

template <class Reader>
bool readImagePalette(const ImageCodec<Reader>& codec, uint32_t* palette, file_tag* file,
                      const char* caller) {
    Reader reader;
    if (!codec.setup(&reader, file)) return reportStepFailure(codec.setupStep, caller);
    return codec.readPalette(palette, &reader) || reportStepFailure(codec.paletteStep, caller);
}
