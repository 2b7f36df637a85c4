#include "api_model.h"

#include "bitmap/bitmap.h"
#include "blit/pixels.h"
#include "host/byteorder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace fuzz {

namespace {

uint64_t splitmix(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint32_t storedValue(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int k = 0; k < bytes; ++k)
        v |= uint32_t(p[k]) << (8 * k);
    return v;
}

template <class... Args>
std::string format(const char* pattern, Args... args) {
    char text[160];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

// A colour of the TGA writer.
struct Rgba {
    uint8_t r, g, b, a;
};

// The writer's conversion of one stored pixel: PAL8 through the given
// palette (else the bitmap's own), the 4-bit types through the bitmap's
// colormap (else the current one, else the identity) into the given
// palette (else the current one), the direct types by their fields; any
// other type is opaque black, as is an index without a palette.
Rgba tgaColor(const bitmap_tag* bm, const uint32_t* palette, uint32_t v) {
    auto argb = [](uint32_t e) {
        return Rgba{uint8_t(e >> 16), uint8_t(e >> 8), uint8_t(e), uint8_t(e >> 24)};
    };
    auto fromPalette = [&](const uint32_t* pal, uint32_t index) {
        return pal ? argb(pal[index & 0xFF]) : Rgba{0, 0, 0, 255};
    };
    switch (bm->pixelType) {
    case PIXEL_PAL8:
        return fromPalette(palette ? palette : static_cast<const uint32_t*>(bm->map), v);
    case PIXEL_CMAP4:
    case PIXEL_CMAP4_KEY: {
        const uint8_t* cm = bm->map ? static_cast<const uint8_t*>(bm->map) : colormapCurrent;
        Rgba c = fromPalette(palette ? palette : paletteCurrent, cm ? cm[v & 15] : v & 15);
        if (bm->pixelType == PIXEL_CMAP4_KEY && v == 0) c.a = 0;
        return c;
    }
    case PIXEL_RGB565:
        return {uint8_t((v >> 8) & 0xF8), uint8_t((v >> 3) & 0xFC), uint8_t((v << 3) & 0xF8), 255};
    case PIXEL_ARGB1555:
        return {uint8_t((v >> 7) & 0xF8), uint8_t((v >> 2) & 0xF8), uint8_t((v << 3) & 0xF8),
                uint8_t(v & 0x8000 ? 255 : 0)};
    case PIXEL_ARGB4444:
        return {uint8_t((v >> 4) & 0xF0), uint8_t(v & 0xF0), uint8_t((v << 4) & 0xF0),
                uint8_t((v >> 8) & 0xF0)};
    case PIXEL_RGB888: return argb(v | 0xFF000000u);
    case PIXEL_ARGB8888: return argb(v);
    default: return {0, 0, 0, 255};
    }
}

uint32_t tgaPacked(Rgba c, int bits) {
    switch (bits) {
    case 24: return uint32_t(c.b) | uint32_t(c.g) << 8 | uint32_t(c.r) << 16;
    case 32: return uint32_t(c.b) | uint32_t(c.g) << 8 | uint32_t(c.r) << 16 | uint32_t(c.a) << 24;
    default:
        return (c.a ? 0x8000u : 0u) | uint32_t(c.r >> 3) << 10 | uint32_t(c.g >> 3) << 5 |
               uint32_t(c.b >> 3);
    }
}

// The stored values of a bitmap under `mask`: the shape always, the
// pixels when they are readable.
Image imageOf(const bitmap_tag* bm, uint32_t mask = ~0u) {
    Image out{bm->pixelType, bm->width, bm->height, {}};
    const int bpp = bytesPerPixel(bm->pixelType);
    if (!readable(bm)) return out;
    for (int32_t y = 0; y < bm->height; ++y) {
        const uint8_t* row = bm->pixels + int64_t(bm->rowBytes) * y;
        for (int32_t x = 0; x < bm->width; ++x)
            out.pixels.push_back(storedValue(row + x * bpp, bpp) & mask);
    }
    return out;
}

// A bitmap as its file keeps it: values 0..15 for the 4-bit types.
Image fileImageOf(const bitmap_tag* bm) {
    return imageOf(bm, isIndexed4(bm->pixelType) ? 15 : ~0u);
}

// Where the image data of a TGA file starts: after its id field and colour map.
size_t tgaDataStart(const std::vector<uint8_t>& file) {
    return 18 + size_t(file[0]) + (file[1] ? loadLe16(&file[5]) * size_t((file[7] + 7) / 8) : 0);
}

} // namespace

bool readable(const bitmap_tag* bm) {
    const int bpp = bm ? bytesPerPixel(bm->pixelType) : 0;
    if (!bm || !bm->pixels || bpp == 0 || bm->width < 0 || bm->height < 0) return false;
    const int64_t stride = bm->rowBytes;
    return (stride < 0 ? -stride : stride) >= int64_t(bm->width) * bpp;
}

void fillTable(void* table, size_t bytes, uint64_t seed) {
    auto* out = static_cast<uint8_t*>(table);
    for (size_t i = 0; i < bytes; i += 8) {
        const uint64_t v = splitmix(seed);
        std::memcpy(out + i, &v, std::min<size_t>(8, bytes - i));
    }
}

void fillPixels(bitmap_tag* bm, uint64_t seed, int mode, uint8_t* raw, size_t rawBytes) {
    fillTable(raw, rawBytes, seed);
    if (bm->map) fillTable(bm->map, isIndexed4(bm->pixelType) ? 16 : sizeof(Palette), ~seed);
    const int bpp = bytesPerPixel(bm->pixelType);
    if (!readable(bm)) return;
    const uint32_t valueMask = isIndexed4(bm->pixelType) ? 15u
                               : bpp == 4                ? ~0u
                                                         : (1u << (8 * bpp)) - 1;
    const uint32_t a = uint32_t(splitmix(seed)) & valueMask;
    const uint32_t b = uint32_t(splitmix(seed)) & valueMask;
    const uint32_t period = 1 + uint32_t(splitmix(seed) % 4000);
    const uint32_t run = 1 + uint32_t(splitmix(seed) % 140);
    uint32_t previous = a, value = a;
    int64_t k = 0;
    for (int32_t y = 0; y < bm->height; ++y) {
        uint8_t* row = bm->pixels + int64_t(y) * bm->rowBytes;
        for (int32_t x = 0; x < bm->width; ++x, ++k) {
            switch (mode) {
            case 0: value = uint32_t(splitmix(seed)); break;
            case 1: value = a; break;
            case 2:
                if (k % run == 0) value = uint32_t(splitmix(seed));
                break;
            case 3:
                value = splitmix(seed) % period == 0 ? previous : (previous == a ? b : a);
                break;
            default: value = uint32_t(splitmix(seed) % 3) * 0x3F1 + a; break;
            }
            value &= valueMask;
            previous = value;
            std::memcpy(row + x * bpp, &value, size_t(bpp));
        }
    }
}

std::vector<uint8_t> rowsOf(const bitmap_tag* bm) {
    std::vector<uint8_t> rows;
    if (!readable(bm) || bm->rowBytes < 0) return rows;
    const size_t bytes = size_t(bm->width) * size_t(bytesPerPixel(bm->pixelType));
    if (bytes == 0) return rows;
    rows.resize(bytes * size_t(bm->height));
    for (int32_t y = 0; y < bm->height; ++y)
        std::memcpy(rows.data() + size_t(y) * bytes, bm->pixels + int64_t(y) * bm->rowBytes, bytes);
    return rows;
}

void restoreRows(bitmap_tag* bm, const std::vector<uint8_t>& rows) {
    const size_t bytes =
        rows.empty() ? 0 : size_t(bm->width) * size_t(bytesPerPixel(bm->pixelType));
    for (size_t y = 0; bytes && y < rows.size() / bytes; ++y)
        std::memcpy(bm->pixels + int64_t(y) * bm->rowBytes, rows.data() + y * bytes, bytes);
}

std::string compareImage(const Image& want, const bitmap_tag* bm, uint32_t mask) {
    if (!bm) return "no bitmap";
    if (bm->pixelType != want.type || bm->width != want.width || bm->height != want.height)
        return format("type/size %u %dx%d, want %u %dx%d", bm->pixelType, bm->width, bm->height,
                      want.type, want.width, want.height);
    const Image got = imageOf(bm, mask);
    if (got.pixels.empty()) return want.pixels.empty() ? "" : "pixels unreadable";
    for (size_t i = 0; i < want.pixels.size(); ++i)
        if (got.pixels[i] != (want.pixels[i] & mask))
            return format("pixel (%d, %d) is %#x, want %#x", int(i % size_t(want.width)),
                          int(i / size_t(want.width)), got.pixels[i], want.pixels[i] & mask);
    return "";
}

MipImage mipImageOf(const mip_tag* mip) {
    MipImage m{mip->logWidth, mip->logHeight, mip->color, mip->levels, mip->flag, {}, {}};
    if (mip->colormap) std::memcpy(m.colormap.emplace().data(), mip->colormap, 16);
    for (uint32_t i = 0; i < mip->levels; ++i)
        m.level.push_back(fileImageOf(&mip->level[i]));
    return m;
}

std::string compareMip(const MipImage& want, const mip_tag* mip) {
    if (!mip) return "no chain";
    if (mip->logWidth != want.logWidth || mip->logHeight != want.logHeight ||
        mip->color != want.color || mip->flag != want.flag || mip->levels != want.levels)
        return format("header %u %u %u %u %u, want %u %u %u %u %u", mip->logWidth, mip->logHeight,
                      mip->color, mip->flag, mip->levels, want.logWidth, want.logHeight, want.color,
                      want.flag, want.levels);
    if (bool(mip->colormap) != want.colormap.has_value() ||
        (mip->colormap && std::memcmp(mip->colormap, want.colormap->data(), 16) != 0))
        return "colormap";
    for (uint32_t i = 0; i < want.levels; ++i) {
        const bitmap_tag& level = mip->level[i];
        if (level.rowBytes != allocRowBytes(level.pixelType, level.width) || level.map)
            return "level " + std::to_string(i) + " layout";
        // A 4-bit level may hold any byte (copies put them there); its file
        // and the model keep the low nibble.
        std::string why =
            compareImage(want.level[i], &level, isIndexed4(level.pixelType) ? 15u : ~0u);
        if (!why.empty()) return "level " + std::to_string(i) + ": " + why;
    }
    return "";
}

FileModel nativeModel(const bitmap_tag* bm) {
    FileModel m;
    m.kind = FileKind::native;
    m.image = fileImageOf(bm);
    const bool validType = pixelTypeValid(bm->pixelType);
    m.loadable = validType && bm->width >= 1 && bm->height >= 1 &&
                 bm->rowBytes == allocRowBytes(bm->pixelType, bm->width) &&
                 (!bm->map || hasMap(bm->pixelType));
    if (bm->map && isIndexed4(bm->pixelType))
        std::memcpy(m.colormap.emplace().data(), bm->map, 16);
    else if (bm->map)
        std::memcpy(m.palette.emplace().data(), bm->map, sizeof(Palette));
    return m;
}

FileModel pcxModel(const bitmap_tag* bm, const uint32_t* palette) {
    FileModel m;
    m.kind = FileKind::pcx;
    m.image = {PIXEL_PAL8, bm->width, bm->height, {}};
    // readPixel's values; a 16-bit screen pixel through a reverse table
    // (the first index of each pixel), which readPixel would find by a scan.
    const uint16_t* table = screenTableOf(bm->pixelType);
    std::vector<uint8_t> index(table ? 65536 : 0, 0);
    for (int i = 255; table && i >= 0; --i)
        index[table[i]] = uint8_t(i);
    for (int32_t y = 0; y < bm->height; ++y)
        for (int32_t x = 0; x < bm->width; ++x)
            m.image.pixels.push_back(table ? index[load16(primitivePixel(bm, x, y))]
                                           : uint32_t(readPixel(bm, x, y)) & 0xFF);
    m.loadable = bm->width >= 1 && bm->height >= 1;
    std::transform(palette, palette + 256, m.palette.emplace().begin(),
                   [](uint32_t e) { return e & 0xFFFFFF; });
    return m;
}

std::vector<uint32_t> tgaExpectedPixels(const bitmap_tag* bm, const uint32_t* palette, int bits) {
    std::vector<uint32_t> out;
    // A type without a pixel size is read a byte per pixel.
    const int bpp = std::max(bytesPerPixel(bm->pixelType), 1);
    for (int32_t y = 0; y < bm->height; ++y) {
        const uint8_t* row = bm->pixels + int64_t(bm->rowBytes) * y;
        for (int32_t x = 0; x < bm->width; ++x)
            out.push_back(tgaPacked(tgaColor(bm, palette, storedValue(row + x * bpp, bpp)), bits));
    }
    return out;
}

std::string compareTga(const std::vector<uint8_t>& file, int32_t width, int32_t height, int bits,
                       const std::vector<uint32_t>& want) {
    if (file.size() < 18) return "short header";
    const uint8_t* h = file.data();
    const uint8_t descriptor = bits == 15 ? 0x21 : bits == 32 ? 0x28 : 0x20;
    if ((h[2] != 2 && h[2] != 10) || loadLe16(h + 12) != (uint32_t(width) & 0xFFFF) ||
        loadLe16(h + 14) != (uint32_t(height) & 0xFFFF) || h[16] != bits || h[17] != descriptor)
        return "header";
    size_t pos = tgaDataStart(file);
    const size_t bytes = size_t(bits + 7) / 8, count = size_t(width) * size_t(height);
    // The descriptor says the rows are stored top first.
    std::vector<uint32_t> out;
    out.reserve(count);
    auto take = [&] {
        uint32_t v = storedValue(file.data() + pos, int(bytes));
        pos += bytes;
        return v;
    };
    while (out.size() < count) {
        if (h[2] == 2) {
            if (file.size() - pos < bytes) return "raw data ends early";
            out.push_back(take());
            continue;
        }
        if (pos >= file.size()) return "packets end early";
        const uint8_t packet = file[pos++];
        const size_t n = (packet & 0x7F) + 1u;
        if (n > count - out.size()) return "packet past the image";
        const size_t need = packet & 0x80 ? bytes : n * bytes;
        if (file.size() - pos < need) return "packet data ends early";
        if (packet & 0x80)
            out.insert(out.end(), n, take());
        else
            for (size_t i = 0; i < n; ++i)
                out.push_back(take());
    }
    if (pos != file.size()) return "bytes after the image";
    return out == want ? "" : "pixels differ from the bitmap's";
}

std::vector<uint8_t> tgaWithColorMap(const std::vector<uint8_t>& file, uint8_t idBytes,
                                     uint16_t length, uint8_t entryBits) {
    const size_t data = file.size() < 18 ? 0 : tgaDataStart(file);
    if (data < 18 || data > file.size()) return file;
    std::vector<uint8_t> out(file.begin(), file.begin() + 18);
    out[0] = idBytes;
    out[1] = 1;
    storeLe16(&out[3], length / 3u); // first entry: not read
    storeLe16(&out[5], length);
    out[7] = entryBits;
    out.insert(out.end(), idBytes, 'i');
    out.insert(out.end(), size_t(length) * size_t((entryBits + 7) / 8), 0xA5);
    out.insert(out.end(), file.begin() + ptrdiff_t(data), file.end());
    return out;
}

int omtTypeOf(uint8_t type) {
    switch (type) {
    case PIXEL_CMAP4: return 0;
    case PIXEL_CMAP4_KEY: return 1;
    case PIXEL_RGB565: return 3;
    case PIXEL_ARGB1555: return 4;
    case PIXEL_ARGB4444: return 5;
    case PIXEL_RGB888: return 6;
    case PIXEL_ARGB8888: return 7;
    default: return -1;
    }
}

std::vector<uint8_t> omtMipFile(std::vector<uint8_t> file, uint8_t omtType) {
    // "MIP " header, then "MPHD" whose payload starts with the type.
    if (file.size() < 25 || std::memcmp(file.data() + 12, "MPHD", 4) != 0) return file;
    std::memcpy(file.data(), " MIP", 4);
    file[24] = omtType;
    return file;
}

std::vector<uint8_t> oldStyleMipFile(const MipImage& mip, uint32_t slack) {
    const uint32_t width = 1u << mip.logWidth, height = 1u << mip.logHeight;
    // The block's size, its header, then per level two zero words and the
    // level's offset in the block.
    std::vector<uint8_t> file(24 + 12 * size_t(mip.levels));
    const uint32_t header[] = {0, width, height, mip.levels, mip.color};
    for (int k = 0; k < 5; ++k)
        storeLe32(&file[4 + 4 * size_t(k)], header[k]);
    uint32_t offset = 20 + 12 * mip.levels;
    for (uint32_t i = 0; i < mip.levels; offset += (width >> i) * (height >> i), ++i)
        storeLe32(&file[32 + 12 * size_t(i)], offset);
    for (const Image& level : mip.level)
        for (uint32_t v : level.pixels)
            file.push_back(uint8_t(v));
    file.insert(file.end(), slack, 0);
    storeLe32(file.data(), uint32_t(file.size() - 4));
    return file;
}

std::vector<uint8_t> readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

} // namespace fuzz
