// TGA: reading 15/16-bit true-colour images (raw and run-length) into
// PIXEL_ARGB1555 bitmaps, and writing bitmaps at 15, 16, 24 or 32 bits.
#include "imagefile/tga.h"

#include "bitmap/bitmap.h"
#include "memory.h"

#include <cctype>
#include <cstring>

namespace {

constexpr uint8_t tgaTopFirst = 0x20;
constexpr uint32_t tgaWriterBytes = 16384;

// The writer's buffer: one TGA write at a time.
uint8_t tgaWriterBuffer[tgaWriterBytes];

// Stores the decoded pixels of an image in file order into the bitmap,
// rows bottom-up unless the descriptor says the first row is the top one.
class TgaRowSink {
  public:
    TgaRowSink(bitmap_tag* bm, int32_t width, int32_t height, bool topFirst)
        : bm_(bm), width_(width), height_(height), topFirst_(topFirst) {
        row_ = rowPointer(0);
    }
    void put(const uint8_t* value) {
        row_[2 * x_] = value[0];
        row_[2 * x_ + 1] = value[1];
        if (++x_ == width_) {
            x_ = 0;
            if (++fileRow_ < height_) row_ = rowPointer(fileRow_);
        }
    }

  private:
    uint8_t* rowPointer(int32_t fileRow) const {
        int32_t y = topFirst_ ? fileRow : height_ - 1 - fileRow;
        return bm_->pixels + int64_t(y) * bm_->rowBytes;
    }
    bitmap_tag* bm_;
    int32_t width_, height_;
    bool topFirst_;
    int32_t x_ = 0, fileRow_ = 0;
    uint8_t* row_;
};

// Decodes run-length packets of 16-bit values from data[0 .. bytes) until
// `pixels` are out; a packet reaching past that count is cut there. False
// when the data ends first.
bool tgaDecodeRuns(const uint8_t* data, uint32_t bytes, int64_t pixels, TgaRowSink& sink) {
    uint32_t pos = 0;
    int64_t done = 0;
    while (done < pixels) {
        if (pos >= bytes) return false;
        uint8_t packet = data[pos++];
        int64_t n = (packet & 0x7F) + 1;
        if (n > pixels - done) n = pixels - done;
        if (packet & 0x80) {
            if (bytes - pos < 2) return false;
            for (int64_t i = 0; i < n; ++i)
                sink.put(data + pos);
            pos += 2;
        } else {
            if (int64_t(bytes - pos) < 2 * n) return false;
            for (int64_t i = 0; i < n; ++i, pos += 2)
                sink.put(data + pos);
        }
        done += n;
    }
    return true;
}

TgaColor fromPalette8(const TgaConverter& self, uint32_t v) {
    if (!self.palette) return {0, 0, 0, 255};
    uint32_t e = self.palette[v & 0xFF];
    return {uint8_t(e >> 16), uint8_t(e >> 8), uint8_t(e), uint8_t(e >> 24)};
}
TgaColor fromColormap4(const TgaConverter& self, uint32_t v) {
    uint8_t index = self.colormap ? self.colormap[v & 15] : uint8_t(v & 15);
    TgaColor c = fromPalette8(self, index);
    if (self.keyed && v == 0) c.a = 0;
    return c;
}
TgaColor from565(const TgaConverter&, uint32_t v) {
    return {uint8_t((v >> 8) & 0xF8), uint8_t((v >> 3) & 0xFC), uint8_t((v << 3) & 0xF8), 255};
}
TgaColor from1555(const TgaConverter&, uint32_t v) {
    return {uint8_t((v >> 7) & 0xF8), uint8_t((v >> 2) & 0xF8), uint8_t((v << 3) & 0xF8),
            uint8_t(v & 0x8000 ? 255 : 0)};
}
TgaColor from4444(const TgaConverter&, uint32_t v) {
    return {uint8_t((v >> 4) & 0xF0), uint8_t(v & 0xF0), uint8_t((v << 4) & 0xF0),
            uint8_t((v >> 8) & 0xF0)};
}
TgaColor from8888(const TgaConverter&, uint32_t v) {
    return {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v), uint8_t(v >> 24)};
}
TgaColor fromUnknown(const TgaConverter&, uint32_t) {
    return {0, 0, 0, 255};
}

uint8_t tgaDescriptor(int bitsPerPixel) {
    switch (bitsPerPixel) {
    case 15: return 0x21;
    case 32: return 0x28;
    default: return 0x20;
    }
}

// Pixel k of the image taken as one sequence, rows from the top.
struct TgaPixelSequence {
    const bitmap_tag* bm;
    TgaConverter converter;
    TgaColor at(int64_t k) const {
        int32_t y = int32_t(k / bm->width), x = int32_t(k % bm->width);
        return converter.convert(converter, tgaStoredPixel(bm, x, y));
    }
};

} // namespace

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
    if (!libfileReadExact(file, state->header, tgaHeaderBytes)) return false;
    uint8_t type = state->header[2], bits = state->header[16];
    return (type == 2 || type == 10) && (bits == 16 || bits == 15);
}

uint32_t tgaDataOffset(const TgaReader& state) {
    const uint8_t* h = state.header;
    uint32_t mapBytes = h[1] ? h[7] * tgaField16(h, 5) / 8 : 0;
    return tgaHeaderBytes + h[0] + mapBytes;
}

bool tgaSizeFitsFile(const TgaReader& state, const char* function) {
    int64_t pixels = int64_t(tgaWidth(state)) * tgaHeight(state);
    int64_t available = int64_t(libfileSize(state.file)) - tgaDataOffset(state);
    if (available < 0) available = 0;
    // Raw: two bytes a pixel. Run-length: a 3-byte packet gives at most 128.
    bool fits =
        tgaImageType(state) == 2 ? pixels * 2 <= available : pixels * 3 <= (available + 2) * 128;
    if (fits) return true;
    DebugPrintf("TGA data too short for a %d x %d image in %s()\n", tgaWidth(state),
                tgaHeight(state), function);
    return false;
}

bool tgaReadBitmap(bitmap_tag* bm, TgaReader* state) {
    int32_t width = tgaWidth(*state), height = tgaHeight(*state);
    if (!bm || !bm->pixels || bm->width < width || bm->height < height ||
        int64_t(bm->rowBytes) < 2 * int64_t(width)) {
        _Error("Bitmap too small for the TGA image in tgaReadBitmap.");
        return false;
    }
    file_tag* file = state->file;
    if (!libfileSeekFromStart(file, tgaDataOffset(*state))) {
        _Error("Couldn't seek past header in tgaReadBitmap.");
        return false;
    }
    bool topFirst = state->header[17] & tgaTopFirst;
    int64_t pixels = int64_t(width) * height;
    uint32_t fileSize = libfileSize(file);
    TgaRowSink sink(bm, width, height, topFirst);

    if (tgaImageType(*state) == 2) {
        int64_t bytes = pixels * 2;
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
        if (!libfileReadExact(file, data, uint32_t(bytes))) {
            _Error("couldn't read image data in tgaReadBitmap.");
            memFree(data);
            return false;
        }
        for (int64_t k = 0; k < pixels; ++k)
            sink.put(data + 2 * k);
        memFree(data);
        return true;
    }
    if (tgaImageType(*state) == 10) {
        auto* data = static_cast<uint8_t*>(memAlloc(fileSize));
        if (!data) {
            _Error("Couldn't allocate memory for temp data in tgaReadBitmap.");
            return false;
        }
        // Everything up to the end of the file: raw packets carry a header
        // byte per 128 pixels, so the packets of an image that compresses
        // badly are longer than its raw form (bits x width x height / 8).
        uint32_t got;
        if (!libfileReadAtMost(&got, file, data, fileSize)) {
            _Error("Couldn't read image data in tgaReadBitmap.");
            memFree(data);
            return false;
        }
        bool ok = tgaDecodeRuns(data, got, pixels, sink);
        memFree(data);
        if (!ok) _Error("TGA run-length data ends early in tgaReadBitmap.");
        return ok;
    }
    _Error("Unknown TGA image type.");
    return false;
}

TgaConverter tgaPixelConverter(const bitmap_tag* bm, const uint32_t* palette) {
    TgaConverter c{fromUnknown, nullptr, nullptr, 0};
    switch (bm->pixelType) {
    case PIXEL_PAL8:
        c.convert = fromPalette8;
        c.palette = palette ? palette : static_cast<const uint32_t*>(bm->map);
        break;
    case PIXEL_CMAP4:
    case PIXEL_CMAP4_KEY:
        c.convert = fromColormap4;
        c.palette = palette ? palette : paletteCurrent;
        c.colormap = bm->map ? static_cast<const uint8_t*>(bm->map) : colormapCurrent;
        c.keyed = bm->pixelType == PIXEL_CMAP4_KEY;
        break;
    case PIXEL_RGB565: c.convert = from565; break;
    case PIXEL_ARGB1555: c.convert = from1555; break;
    case PIXEL_ARGB4444: c.convert = from4444; break;
    case PIXEL_ARGB8888: c.convert = from8888; break;
    default: _Error("Unknown PIXELTYPE."); break;
    }
    return c;
}

uint32_t tgaStoredPixel(const bitmap_tag* bm, int32_t x, int32_t y) {
    const uint8_t* row = bm->pixels + int64_t(y) * bm->rowBytes;
    switch (bytesPerPixel(bm->pixelType)) {
    case 2: return uint32_t(row[2 * x]) | uint32_t(row[2 * x + 1]) << 8;
    case 4:
        return uint32_t(row[4 * x]) | uint32_t(row[4 * x + 1]) << 8 |
               uint32_t(row[4 * x + 2]) << 16 | uint32_t(row[4 * x + 3]) << 24;
    default: return row[x];
    }
}

int tgaPackPixel(TgaColor c, int bitsPerPixel, uint8_t* out) {
    switch (bitsPerPixel) {
    case 24: out[0] = c.b, out[1] = c.g, out[2] = c.r; return 3;
    case 32: out[0] = c.b, out[1] = c.g, out[2] = c.r, out[3] = c.a; return 4;
    default: {
        uint32_t v = (c.a ? 0x8000u : 0u) | uint32_t(c.r >> 3) << 10 | uint32_t(c.g >> 3) << 5 |
                     uint32_t(c.b >> 3);
        out[0] = uint8_t(v), out[1] = uint8_t(v >> 8);
        return 2;
    }
    }
}

void tgaWriteHeader(file_tag* file, int32_t width, int32_t height, bool compress,
                    int bitsPerPixel) {
    fileWriteUint8(file, 0);
    fileWriteUint8(file, 0);
    fileWriteUint8(file, compress ? 10 : 2);
    fileWriteUint16(file, 0);
    fileWriteUint16(file, 0);
    fileWriteUint8(file, 0);
    fileWriteUint16(file, 0);
    fileWriteUint16(file, 0);
    fileWriteUint16(file, uint16_t(width));
    fileWriteUint16(file, uint16_t(height));
    fileWriteUint8(file, uint8_t(bitsPerPixel));
    fileWriteUint8(file, tgaDescriptor(bitsPerPixel));
}

bool tgaWriteBitmap(bitmap_tag* bm, const uint32_t* palette, file_tag* file, bool compress,
                    bool withColorMap, int bitsPerPixel) {
    if (bitsPerPixel != 15 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32)
        return false;
    if (!file || !bm || !bm->pixels || bm->width < 0 || bm->height < 0 ||
        bm->rowBytes < int64_t(bm->width) * bytesPerPixel(bm->pixelType))
        return false;
    if (withColorMap && !bm->map)
        _Error("Warning: no color map found in source TXR, skipping color map data.\n");
    tgaWriteHeader(file, bm->width, bm->height, compress, bitsPerPixel);

    const TgaPixelSequence image{bm, tgaPixelConverter(bm, palette)};
    const uint32_t pixelBytes = uint32_t(bitsPerPixel + 7) / 8;
    uint32_t filled = 0;
    auto flush = [&] {
        fileWrite(file, tgaWriterBuffer, filled);
        filled = 0;
    };
    if (!compress) {
        for (int32_t y = 0; y < bm->height; ++y) {
            for (int32_t x = 0; x < bm->width; ++x) {
                if (filled + pixelBytes > tgaWriterBytes) flush();
                TgaColor c = image.converter.convert(image.converter, tgaStoredPixel(bm, x, y));
                filled += uint32_t(tgaPackPixel(c, bitsPerPixel, tgaWriterBuffer + filled));
            }
            flush();
        }
        return true;
    }

    const int64_t count = int64_t(bm->width) * bm->height;
    const uint32_t packetBytes = 1 + 128 * uint32_t(bitsPerPixel) / 8;
    for (int64_t k = 0; k < count;) {
        if (tgaWriterBytes - filled < packetBytes) flush();
        TgaColor c = image.at(k);
        int64_t n = 1;
        if (k + 1 < count && image.at(k + 1) == c) {
            // A run of equal pixels; the image's last pixel always ends up
            // in a raw packet of its own.
            while (n < 128 && k + n < count - 1 && image.at(k + n) == c)
                ++n;
            tgaWriterBuffer[filled++] = uint8_t(0x80 | (n - 1));
            filled += uint32_t(tgaPackPixel(c, bitsPerPixel, tgaWriterBuffer + filled));
        } else {
            // Raw pixels while each differs from the one before; the first
            // of an equal pair closes the packet.
            TgaColor previous = c;
            while (n < 128 && k + n < count - 1) {
                TgaColor next = image.at(k + n);
                if (next == previous) break;
                previous = next;
                ++n;
            }
            tgaWriterBuffer[filled++] = uint8_t(n - 1);
            for (int64_t i = 0; i < n; ++i)
                filled +=
                    uint32_t(tgaPackPixel(image.at(k + i), bitsPerPixel, tgaWriterBuffer + filled));
        }
        k += n;
    }
    flush();
    return true;
}
