// TGA: reading through the variant rows, and writing bitmaps at 15, 16, 24
// or 32 bits.
#include "imagefile/tga.h"

#include "bitmap/bitmap.h"
#include "imagefile/format.h"
#include "imagefile/writer.h"
#include "memory.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint8_t tgaTopFirst = 0x20;
constexpr uint8_t tgaRightFirst = 0x10;
constexpr uint8_t tgaRunLength = 8;

constexpr uint8_t tgaAlphaBits = 0x0F;
constexpr uint8_t tgaMapped = 1, tgaTrueColour = 2, tgaGrey = 3;

void storeBytes(uint8_t* out, const uint8_t* in, int32_t n, uint32_t step) {
    for (int32_t i = 0; i < n; ++i, in += step)
        out[i] = in[0];
}
void storeAsIs16(uint8_t* out, const uint8_t* in, int32_t n, uint32_t step) {
    for (int32_t i = 0; i < n; ++i, in += step, out += 2) {
        out[0] = in[0];
        out[1] = in[1];
    }
}
// B, G, R (and A) bytes into 32-bit pixels; without alpha bits the fourth
// byte is not alpha and the pixel is opaque.
template <int Bytes, bool Alpha>
void storeColour(uint8_t* out, const uint8_t* in, int32_t n, uint32_t step) {
    for (int32_t i = 0; i < n; ++i, in += step, out += 4) {
        uint32_t a = Bytes == 3 ? 0 : Alpha ? in[3] : 0xFF;
        storeLe32(out, a << 24 | uint32_t(in[2]) << 16 | uint32_t(in[1]) << 8 | in[0]);
    }
}

// 15- and 16-bit true colour keep their values as they are.
constexpr TgaVariant tgaVariants[] = {
    {tgaTrueColour, 15, 0, PIXEL_ARGB1555, TgaPalette::none, storeAsIs16},
    {tgaTrueColour, 16, 0, PIXEL_ARGB1555, TgaPalette::none, storeAsIs16},
    {tgaTrueColour, 24, 0, PIXEL_RGB888, TgaPalette::none, storeColour<3, false>},
    {tgaTrueColour, 32, 1, PIXEL_ARGB8888, TgaPalette::none, storeColour<4, false>},
    {tgaTrueColour, 32, 2, PIXEL_ARGB8888, TgaPalette::none, storeColour<4, true>},
    {tgaMapped, 8, 0, PIXEL_PAL8, TgaPalette::colourMap, storeBytes},
    {tgaGrey, 8, 0, PIXEL_PAL8, TgaPalette::greyRamp, storeBytes},
};

bool tgaMapEntryBitsValid(uint8_t bits) {
    return bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

// The variant of a header, or null with the reason in `text` ("TGA image
// type 32").
const TgaVariant* tgaVariantOf(const uint8_t* header, char* text, size_t size) {
    const uint8_t type = header[2], kind = type & ~tgaRunLength, bits = header[16];
    const uint8_t alpha = header[17] & tgaAlphaBits ? 2 : 1;
    bool kindKnown = false;
    for (const TgaVariant& v : tgaVariants) {
        kindKnown |= v.kind == kind;
        if (v.kind != kind || v.bits != bits || (v.alpha && v.alpha != alpha)) continue;
        if (v.palette == TgaPalette::colourMap && header[1] != 1)
            std::snprintf(text, size, "TGA image type %u without a colour map", type);
        else if (v.palette == TgaPalette::colourMap && !tgaMapEntryBitsValid(header[7]))
            std::snprintf(text, size, "TGA colour map of %u-bit entries", header[7]);
        else
            return &v;
        return nullptr;
    }
    if (kindKnown)
        std::snprintf(text, size, "TGA image type %u with %u bits per pixel", type, bits);
    else
        std::snprintf(text, size, "TGA image type %u", type);
    return nullptr;
}

int32_t tgaWidth(const TgaReader& r) {
    return int32_t(loadLe16(r.header + 12));
}
int32_t tgaHeight(const TgaReader& r) {
    return int32_t(loadLe16(r.header + 14));
}
uint32_t tgaPixelBytes(const TgaReader& r) {
    return (r.header[16] + 7u) / 8;
}
bool tgaRunLengthCoded(const TgaReader& r) {
    return r.header[2] & tgaRunLength;
}

// Offset of the pixel data: header, id field and colour map, whose entries
// take whole bytes (a 15-bit entry takes 2).
uint32_t tgaDataOffset(const TgaReader& r) {
    const uint8_t* h = r.header;
    uint32_t mapBytes = h[1] ? loadLe16(h + 5) * ((h[7] + 7u) / 8) : 0;
    return tgaHeaderBytes + h[0] + mapBytes;
}

// Stores the pixels of an image in file order into the bitmap, rows
// bottom-up unless the descriptor says the first row is the top one.
class TgaRowSink {
  public:
    TgaRowSink(bitmap_tag* bm, const TgaReader& r)
        : bm_(bm), store_(r.variant->store), outBytes_(bytesPerPixel(r.variant->pixelType)),
          width_(tgaWidth(r)), height_(tgaHeight(r)), topFirst_(r.header[17] & tgaTopFirst),
          rightFirst_(r.header[17] & tgaRightFirst) {
        row_ = rowPointer(0);
    }
    // n pixels of the file, `step` bytes apart.
    void put(const uint8_t* in, int64_t n, uint32_t step) {
        while (n > 0) {
            int32_t part = int32_t(std::min<int64_t>(n, width_ - x_));
            store_(row_ + int64_t(x_) * outBytes_, in, part, step);
            in += step * uint32_t(part);
            n -= part;
            if ((x_ += part) == width_) {
                if (rightFirst_) mirror(row_);
                x_ = 0;
                if (++fileRow_ < height_) row_ = rowPointer(fileRow_);
            }
        }
    }

  private:
    void mirror(uint8_t* row) const {
        for (int32_t a = 0, b = width_ - 1; a < b; ++a, --b)
            std::swap_ranges(row + a * outBytes_, row + (a + 1) * outBytes_, row + b * outBytes_);
    }
    uint8_t* rowPointer(int32_t fileRow) const {
        return rowAt(bm_->pixels, bm_->rowBytes, topFirst_ ? fileRow : height_ - 1 - fileRow);
    }
    bitmap_tag* bm_;
    void (*store_)(uint8_t*, const uint8_t*, int32_t, uint32_t);
    int outBytes_;
    int32_t width_, height_;
    bool topFirst_, rightFirst_;
    int32_t x_ = 0, fileRow_ = 0;
    uint8_t* row_;
};

// Decodes run-length packets from data[0 .. bytes) until `pixels` are out;
// a packet reaching past that count is cut there. False when the data
// ends first.
bool tgaDecodeRuns(const uint8_t* data, uint32_t bytes, int64_t pixels, uint32_t pixelBytes,
                   TgaRowSink& sink) {
    uint32_t pos = 0;
    for (int64_t done = 0; done < pixels;) {
        if (pos >= bytes) return false;
        uint8_t packet = data[pos++];
        int64_t n = std::min<int64_t>((packet & 0x7F) + 1, pixels - done);
        bool run = packet & 0x80;
        int64_t packetBytes = run ? pixelBytes : pixelBytes * n;
        if (int64_t(bytes - pos) < packetBytes) return false;
        sink.put(data + pos, n, run ? 0 : pixelBytes);
        pos += uint32_t(packetBytes);
        done += n;
    }
    return true;
}

bool tgaLayout(const TgaReader& r, ImageLayout* layout) {
    if (!tgaVariantOf(r.header, layout->variant, sizeof layout->variant)) return false;
    layout->width = tgaWidth(r);
    layout->height = tgaHeight(r);
    layout->pixelType = r.variant->pixelType;
    layout->palette = r.variant->palette != TgaPalette::none;
    return true;
}

// True when the file holds enough data for the header's image (raw: every
// pixel; run-length: a packet of one value gives at most 128 pixels).
bool tgaFitsFile(const TgaReader& r, const char* caller) {
    int64_t pixels = int64_t(tgaWidth(r)) * tgaHeight(r);
    int64_t available = std::max<int64_t>(int64_t(libfileSize(r.file)) - tgaDataOffset(r), 0);
    int64_t bytes = tgaPixelBytes(r);
    bool fits = tgaRunLengthCoded(r) ? pixels * (1 + bytes) <= (available + bytes) * 128
                                     : pixels * bytes <= available;
    if (fits) return true;
    DebugPrintf("TGA data too short for a %d x %d image in %s()\n", tgaWidth(r), tgaHeight(r),
                caller);
    return false;
}

constexpr ImageCodec<TgaReader> tgaCodec = {
    "tgaSetup", "tgaReadBitmap", "tgaReadPalette", tgaSetup,
    tgaLayout,  tgaFitsFile,     tgaReadBitmap,    tgaReadPalette,
};

// TGA has no magic number: a header whose fields all make sense.
bool tgaContent(const uint8_t* head, uint32_t bytes) {
    if (bytes < uint32_t(tgaHeaderBytes)) return false;
    const uint8_t mapType = head[1], kind = head[2] & ~tgaRunLength, bits = head[16];
    return mapType <= 1 && kind >= 1 && kind <= 3 && (kind != 1 || mapType == 1) &&
           (bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32) &&
           loadLe16(head + 12) > 0 && loadLe16(head + 14) > 0;
}

bool tgaDescribe(file_tag* file, char* text, size_t size) {
    uint8_t h[tgaHeaderBytes];
    if (!libfileReadExact(file, h, tgaHeaderBytes)) return false;
    const char* kinds[] = {"no image", "colour-mapped", "true colour", "greyscale"};
    uint8_t kind = h[2] & ~tgaRunLength;
    std::snprintf(text, size, "image type %u (%s%s), %u bits per pixel, %s row first", h[2],
                  kind <= 3 ? kinds[kind] : "unknown", h[2] & tgaRunLength ? ", run-length" : "",
                  h[16], h[17] & tgaTopFirst ? "top" : "bottom");
    return true;
}

PaletteOrigin tgaPaletteOrigin(file_tag* file) {
    TgaReader r;
    if (!tgaSetup(&r, file) || !r.variant) return {nullptr, false};
    switch (r.variant->palette) {
    case TgaPalette::colourMap: return {"colour map", false};
    case TgaPalette::greyRamp: return {"grey ramp", false};
    default: return {nullptr, false};
    }
}

// A colour map entry as a palette entry; 15- and 16-bit fields widen as
// the colour queries widen them.
uint32_t tgaMapEntry(const uint8_t* p, uint8_t bits) {
    if (bits == 24 || bits == 32)
        return uint32_t(bits == 32 ? p[3] : 0xFF) << 24 | uint32_t(p[2]) << 16 |
               uint32_t(p[1]) << 8 | p[0];
    const uint32_t v = loadLe16(p);
    auto widen = [v](int shift) { return ((v >> shift & 31) * 255 + 15) / 31; };
    return 0xFF000000u | widen(10) << 16 | widen(5) << 8 | widen(0);
}

// ------------------------------------------------------------------ writer

// A pixel's colour as the writer sees it.
struct TgaColor {
    uint8_t r, g, b, a;
    bool operator==(const TgaColor& o) const = default;
};

// The stored values of one source type to colours, by the type's row;
// chosen once per write.
struct TgaConverter {
    TgaColor (*convert)(const TgaConverter& self, uint32_t value);
    const PixelTypeInfo* type;
    const uint32_t* palette;
    const uint8_t* colormap;
};

TgaColor fromPalette(const TgaConverter& self, uint32_t v) {
    if (!self.palette) return {0, 0, 0, 255};
    uint32_t e = self.palette[v & 0xFF];
    return {uint8_t(e >> 16), uint8_t(e >> 8), uint8_t(e), uint8_t(e >> 24)};
}
TgaColor fromColormap(const TgaConverter& self, uint32_t v) {
    TgaColor c = fromPalette(self, self.colormap[v & 15]);
    if (self.type->keyed && v == 0) c.a = 0;
    return c;
}
// A channel's bits at the top of a byte; a one-bit alpha is all or nothing.
uint8_t topBits(PixelChannel channel, uint32_t v) {
    return uint8_t(channel.get(v) << (8 - channel.bits));
}
TgaColor fromDirect(const TgaConverter& self, uint32_t v) {
    const PixelTypeInfo& t = *self.type;
    uint8_t a = t.alpha.bits == 0   ? 255
                : t.alpha.bits == 1 ? (t.alpha.get(v) ? 255 : 0)
                                    : topBits(t.alpha, v);
    return {topBits(t.red, v), topBits(t.green, v), topBits(t.blue, v), a};
}
TgaColor fromUnknown(const TgaConverter&, uint32_t) {
    return {0, 0, 0, 255};
}

constexpr uint8_t tgaSourceTypes[] = {PIXEL_CMAP4,  PIXEL_CMAP4_KEY, PIXEL_PAL8,
                                      PIXEL_RGB565, PIXEL_ARGB1555,  PIXEL_ARGB4444,
                                      PIXEL_RGB888, PIXEL_ARGB8888};

// PIXEL_PAL8 takes its colours from `palette` (or, when that is null, the
// bitmap's own palette; black without either); the 4-bit types go through
// their colormap (or the current one, or the identity) into that palette
// (or the current one).
TgaConverter tgaConverterFor(const bitmap_tag* bm, const uint32_t* palette) {
    TgaConverter c{fromUnknown, pixelTypeInfo(bm->pixelType), palette, nullptr};
    if (!tgaWritesType(bm->pixelType)) {
        _Error("Unknown PIXELTYPE.");
    } else if (isIndexed8(bm->pixelType)) {
        c.convert = fromPalette;
        if (!c.palette) c.palette = static_cast<const uint32_t*>(bm->map);
    } else if (isIndexed4(bm->pixelType)) {
        c.convert = fromColormap;
        if (!c.palette) c.palette = paletteCurrent;
        c.colormap = colormapFor4Bit(bm, ColormapRule::OwnThenCurrentThenIdentity);
    } else {
        c.convert = fromDirect;
    }
    return c;
}

// Pixel k of the image taken as one sequence, rows from the top.
struct TgaPixelSequence {
    const bitmap_tag* bm;
    TgaConverter converter;
    TgaColor at(int64_t k) const {
        int32_t y = int32_t(k / bm->width), x = int32_t(k % bm->width);
        const uint8_t* p = rowAt(bm->pixels, bm->rowBytes, y) + x * converter.type->bytes;
        uint32_t v = converter.type->bytes == 4   ? loadLe32(p)
                     : converter.type->bytes == 2 ? loadLe16(p)
                                                  : *p;
        return converter.convert(converter, v);
    }
};

// Packs a colour into the file's bytes; returns their count.
uint32_t tgaPackPixel(TgaColor c, int bitsPerPixel, uint8_t* out) {
    switch (bitsPerPixel) {
    case 24: out[0] = c.b, out[1] = c.g, out[2] = c.r; return 3;
    case 32: out[0] = c.b, out[1] = c.g, out[2] = c.r, out[3] = c.a; return 4;
    default:
        storeLe16(out, (c.a ? 0x8000u : 0u) | uint32_t(c.r >> 3) << 10 | uint32_t(c.g >> 3) << 5 |
                           uint32_t(c.b >> 3));
        return 2;
    }
}

void tgaWriteHeader(FileWriter& out, int32_t width, int32_t height, bool compress,
                    int bitsPerPixel) {
    out.put(0); // no id field
    out.put(0); // no colour map
    out.put(compress ? 10 : 2);
    out.putLe16(0);
    out.putLe16(0);
    out.put(0);
    out.putLe16(0); // origin
    out.putLe16(0);
    out.putLe16(uint32_t(width));
    out.putLe16(uint32_t(height));
    out.put(uint8_t(bitsPerPixel));
    out.put(bitsPerPixel == 15 ? 0x21 : bitsPerPixel == 32 ? 0x28 : tgaTopFirst);
}

// The run-length packets of the image taken as one sequence, so packets
// run across rows.
void tgaWritePackets(FileWriter& out, const TgaPixelSequence& image, int bitsPerPixel) {
    const uint32_t pixelBytes = uint32_t(bitsPerPixel + 7) / 8;
    const int64_t count = int64_t(image.bm->width) * image.bm->height;
    for (int64_t k = 0; k < count;) {
        uint8_t* packet = out.reserve(1 + 128 * pixelBytes);
        uint32_t used = 1;
        TgaColor c = image.at(k);
        int64_t n = 1;
        if (k + 1 < count && image.at(k + 1) == c) {
            // A run of equal pixels; the image's last pixel always ends up
            // in a raw packet of its own.
            while (n < 128 && k + n < count - 1 && image.at(k + n) == c)
                ++n;
            packet[0] = uint8_t(0x80 | (n - 1));
            used += tgaPackPixel(c, bitsPerPixel, packet + used);
        } else {
            // Raw pixels while each differs from the one before; the first
            // of an equal pair closes the packet.
            for (TgaColor previous = c; n < 128 && k + n < count - 1; ++n) {
                TgaColor next = image.at(k + n);
                if (next == previous) break;
                previous = next;
            }
            packet[0] = uint8_t(n - 1);
            for (int64_t i = 0; i < n; ++i)
                used += tgaPackPixel(image.at(k + i), bitsPerPixel, packet + used);
        }
        out.commit(used);
        k += n;
    }
}

} // namespace

const ImageFormat tgaFormat = {
    "TGA",
    tgaFileIsTga,
    true,
    tgaContent,
    [](bitmap_tag** out, file_tag* file, const LoadRequest& request) {
        return loadImage(tgaCodec, out, file, request);
    },
    nullptr,
    nullptr,
    tgaDescribe,
    tgaPaletteOrigin,
    false,
};

bool tgaFileIsTga(file_tag* file) {
    const char* name = libfileName(file);
    const char* dot = name ? std::strchr(name, '.') : nullptr;
    if (!dot) return false;
    return std::tolower(static_cast<unsigned char>(dot[1])) == 't' &&
           std::tolower(static_cast<unsigned char>(dot[2])) == 'g' &&
           std::tolower(static_cast<unsigned char>(dot[3])) == 'a';
}

bool tgaSetup(TgaReader* state, file_tag* file) {
    state->file = file;
    state->variant = nullptr;
    if (!libfileReadExact(file, state->header, tgaHeaderBytes)) return false;
    char reason[64];
    state->variant = tgaVariantOf(state->header, reason, sizeof reason);
    return true;
}

bool tgaReadPalette(uint32_t* palette, TgaReader* state) {
    const uint8_t* h = state->header;
    const TgaPalette kind = state->variant ? state->variant->palette : TgaPalette::none;
    if (kind == TgaPalette::greyRamp) {
        for (uint32_t i = 0; i < 256; ++i)
            paletteSetEntry(palette, int32_t(i), 0xFF000000u | i * 0x010101u);
        return true;
    }
    if (kind != TgaPalette::colourMap) {
        _Error("No colour map in tgaReadPalette.");
        return false;
    }
    // Entry j of the map is palette index first + j; entries past 255 can
    // never be used by 8-bit pixels and are not read.
    const uint32_t first = loadLe16(h + 3), length = loadLe16(h + 5), entryBytes = (h[7] + 7u) / 8;
    const uint32_t used = first < 256 ? std::min(length, 256 - first) : 0;
    uint8_t map[256 * 4];
    if (!libfileSeekFromStart(state->file, uint32_t(tgaHeaderBytes) + h[0]) ||
        (used && !libfileReadExact(state->file, map, used * entryBytes))) {
        _Error("Couldn't read the colour map in tgaReadPalette.");
        return false;
    }
    for (uint32_t i = 0; i < 256; ++i)
        paletteSetEntry(palette, int32_t(i), 0);
    for (uint32_t j = 0; j < used; ++j)
        paletteSetEntry(palette, int32_t(first + j), tgaMapEntry(map + j * entryBytes, h[7]));
    return true;
}

bool tgaReadBitmap(bitmap_tag* bm, TgaReader* state) {
    if (!state->variant) {
        _Error("Unknown TGA image type.");
        return false;
    }
    int32_t width = tgaWidth(*state), height = tgaHeight(*state);
    if (!bitmapUsable(bm, bytesPerPixel(state->variant->pixelType)) || bm->width < width ||
        bm->height < height) {
        _Error("Bitmap too small for the TGA image in tgaReadBitmap.");
        return false;
    }
    file_tag* file = state->file;
    if (!libfileSeekFromStart(file, tgaDataOffset(*state))) {
        _Error("Couldn't seek past header in tgaReadBitmap.");
        return false;
    }
    const int64_t pixels = int64_t(width) * height;
    const uint32_t pixelBytes = tgaPixelBytes(*state);
    const uint32_t fileSize = libfileSize(file);
    TgaRowSink sink(bm, *state);
    if (!tgaRunLengthCoded(*state)) {
        int64_t bytes = pixels * pixelBytes;
        // More data than the file holds can never be read: refuse before
        // allocating for it.
        if (bytes > int64_t(fileSize)) {
            _Error("couldn't read image data in tgaReadBitmap.");
            return false;
        }
        auto* data = static_cast<uint8_t*>(memAlloc(size_t(bytes)));
        if (!data) {
            _Error("couldn't allocate temporary storage in tgaReadBitmap.");
            return false;
        }
        bool ok = libfileReadExact(file, data, uint32_t(bytes));
        if (ok)
            sink.put(data, pixels, pixelBytes);
        else
            _Error("couldn't read image data in tgaReadBitmap.");
        memFree(data);
        return ok;
    }
    auto* data = static_cast<uint8_t*>(memAlloc(fileSize));
    if (!data) {
        _Error("Couldn't allocate memory for temp data in tgaReadBitmap.");
        return false;
    }
    // Everything up to the end of the file: raw packets carry a header
    // byte per 128 pixels, so the packets of an image that compresses badly
    // are longer than its raw form (bits x width x height / 8).
    uint32_t got;
    bool ok = libfileReadAtMost(&got, file, data, fileSize);
    if (!ok)
        _Error("Couldn't read image data in tgaReadBitmap.");
    else if (!(ok = tgaDecodeRuns(data, got, pixels, pixelBytes, sink)))
        _Error("TGA run-length data ends early in tgaReadBitmap.");
    memFree(data);
    return ok;
}

bool tgaWritesType(uint32_t type) {
    for (uint8_t t : tgaSourceTypes)
        if (t == type) return true;
    return false;
}

bool tgaWriteBitmap(bitmap_tag* bm, const uint32_t* palette, file_tag* file, bool compress,
                    bool withColorMap, int bitsPerPixel) {
    if (bitsPerPixel != 15 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32)
        return false;
    if (!file || !bitmapUsable(bm, bytesPerPixel(bm ? bm->pixelType : 0))) return false;
    if (withColorMap && !bm->map)
        _Error("Warning: no color map found in source TXR, skipping color map data.\n");
    FileWriter out(file);
    tgaWriteHeader(out, bm->width, bm->height, compress, bitsPerPixel);
    const TgaPixelSequence image{bm, tgaConverterFor(bm, palette)};
    if (compress) {
        tgaWritePackets(out, image, bitsPerPixel);
    } else {
        const int64_t count = int64_t(bm->width) * bm->height;
        for (int64_t k = 0; k < count; ++k)
            out.commit(tgaPackPixel(image.at(k), bitsPerPixel, out.reserve(4)));
    }
    if (!out.flush()) {
        _Error("fileWrite() failed in tgaWriteBitmap.");
        return false;
    }
    return true;
}
