// libpng reading and writing. libpng reports errors by longjmp, so every
// function keeps the state that must survive one in plain variables set up
// before the setjmp and releases it on both paths.
#include "png_io.h"

#include "bitmap/pixeltype.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// libpng's error callback: keeps the text and jumps back.
void pngError(png_structp png, png_const_charp message) {
    auto* text = static_cast<std::string*>(png_get_error_ptr(png));
    *text = message;
    png_longjmp(png, 1);
}
void pngWarning(png_structp, png_const_charp) {}

struct PngReader {
    FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::string message;

    bool open(const std::string& path, std::string& error) {
        file = std::fopen(path.c_str(), "rb");
        if (!file) {
            error = "cannot open " + path;
            return false;
        }
        png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &message, pngError, pngWarning);
        info = png ? png_create_info_struct(png) : nullptr;
        if (!info) {
            error = "out of memory";
            return false;
        }
        png_init_io(png, file);
        return true;
    }
    ~PngReader() {
        if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        if (file) std::fclose(file);
    }
};

void readPaletteOf(png_structp png, png_infop info, uint32_t palette[256]) {
    std::memset(palette, 0, 256 * sizeof palette[0]);
    png_colorp colors = nullptr;
    int count = 0;
    png_get_PLTE(png, info, &colors, &count);
    png_bytep alpha = nullptr;
    int alphaCount = 0;
    png_get_tRNS(png, info, &alpha, &alphaCount, nullptr);
    for (int i = 0; i < count && i < 256; ++i)
        palette[i] = uint32_t(i < alphaCount ? alpha[i] : 255) << 24 |
                     uint32_t(colors[i].red) << 16 | uint32_t(colors[i].green) << 8 |
                     colors[i].blue;
}

} // namespace

bool isPng(const std::string& path) {
    unsigned char signature[8];
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    bool png = std::fread(signature, 1, 8, f) == 8 && png_sig_cmp(signature, 0, 8) == 0;
    std::fclose(f);
    return png;
}

namespace {

// The body of pngRead, which may leave by longjmp: the bitmap goes to
// `made` as soon as it exists, so the caller can release it.
bool readImage(PngReader& r, TrueColor trueColor, bitmap_tag* volatile& made, std::string& error) {
    png_read_info(r.png, r.info);
    png_uint_32 width = png_get_image_width(r.png, r.info);
    png_uint_32 height = png_get_image_height(r.png, r.info);
    int colorType = png_get_color_type(r.png, r.info);
    int depth = png_get_bit_depth(r.png, r.info);
    if (width > 32768 || height > 32768 || uint64_t(width) * height > (uint64_t(1) << 28)) {
        error = "image too large";
        return false;
    }
    bool paletted = colorType == PNG_COLOR_TYPE_PALETTE;
    uint8_t type = paletted                         ? PIXEL_PAL8
                   : trueColor == TrueColor::rgb565 ? PIXEL_RGB565
                                                    : PIXEL_ARGB1555;
    bitmap_tag* bm;
    if (!bitmapAlloc(&bm, type, int32_t(width), int32_t(height), paletted)) {
        error = "out of memory";
        return false;
    }
    made = bm;
    std::vector<png_bytep> rows;
    if (paletted) {
        if (depth < 8) png_set_packing(r.png);
        readPaletteOf(r.png, r.info, static_cast<uint32_t*>(bm->map));
        png_read_update_info(r.png, r.info);
        for (png_uint_32 y = 0; y < height; ++y)
            rows.push_back(bm->pixels + size_t(y) * size_t(bm->rowBytes));
        png_read_image(r.png, rows.data());
        return true;
    }
    // Everything else as 8-bit RGBA.
    png_set_expand(r.png);
    png_set_strip_16(r.png);
    png_set_gray_to_rgb(r.png);
    png_set_add_alpha(r.png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(r.png, r.info);
    std::vector<uint8_t> rgba(size_t(width) * height * 4);
    for (png_uint_32 y = 0; y < height; ++y)
        rows.push_back(rgba.data() + size_t(y) * width * 4);
    png_read_image(r.png, rows.data());
    for (png_uint_32 y = 0; y < height; ++y)
        for (png_uint_32 x = 0; x < width; ++x) {
            const uint8_t* p = rows[y] + 4 * x;
            auto v = uint16_t(colorRGBA(bm, p[0], p[1], p[2], p[3]));
            std::memcpy(bm->pixels + size_t(y) * size_t(bm->rowBytes) + 2 * x, &v, 2);
        }
    return true;
}

} // namespace

bitmap_tag* pngRead(const std::string& path, TrueColor trueColor, std::string& error) {
    PngReader r;
    if (!r.open(path, error)) return nullptr;
    bitmap_tag* volatile made = nullptr;
    if (setjmp(png_jmpbuf(r.png))) {
        bitmapFree(made);
        error = path + ": " + r.message;
        return nullptr;
    }
    if (!readImage(r, trueColor, made, error)) {
        bitmapFree(made);
        error = path + ": " + error;
        return nullptr;
    }
    return made;
}

bool pngDescribe(const std::string& path, std::string& description, std::string& error) {
    PngReader r;
    if (!r.open(path, error)) return false;
    if (setjmp(png_jmpbuf(r.png))) {
        error = path + ": " + r.message;
        return false;
    }
    png_read_info(r.png, r.info);
    int colorType = png_get_color_type(r.png, r.info);
    const char* kind = colorType == PNG_COLOR_TYPE_PALETTE      ? "paletted"
                       : colorType == PNG_COLOR_TYPE_GRAY       ? "grey"
                       : colorType == PNG_COLOR_TYPE_GRAY_ALPHA ? "grey with alpha"
                       : colorType == PNG_COLOR_TYPE_RGB        ? "RGB"
                                                                : "RGBA";
    char text[256];
    std::snprintf(text, sizeof text,
                  "format: PNG, %s, %d bits per channel\nsize: %u x %u\npixel type on "
                  "conversion: %s\npalette: %s\n",
                  kind, png_get_bit_depth(r.png, r.info), png_get_image_width(r.png, r.info),
                  png_get_image_height(r.png, r.info),
                  colorType == PNG_COLOR_TYPE_PALETTE ? "PIXEL_PAL8"
                                                      : "PIXEL_ARGB1555 or PIXEL_RGB565 (--565)",
                  colorType == PNG_COLOR_TYPE_PALETTE ? "yes" : "no");
    description = text;
    return true;
}

bool pngReadPalette(const std::string& path, uint32_t palette[256], std::string& error) {
    PngReader r;
    if (!r.open(path, error)) return false;
    if (setjmp(png_jmpbuf(r.png))) {
        error = path + ": " + r.message;
        return false;
    }
    png_read_info(r.png, r.info);
    if (png_get_color_type(r.png, r.info) != PNG_COLOR_TYPE_PALETTE) {
        error = path + ": not a paletted PNG";
        return false;
    }
    readPaletteOf(r.png, r.info, palette);
    return true;
}

namespace {

// 8-bit pictures with a palette are written paletted, the others as RGBA.
bool pngWritesPaletted(const bitmap_tag* bm) {
    return isIndexed8(bm->pixelType) && bm->map;
}

// The libpng calls of pngWrite, which may leave by longjmp.
void writeImage(png_structp png, png_infop info, FILE* file, const bitmap_tag* bm,
                png_bytep* rows) {
    const bool paletted = pngWritesPaletted(bm);
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(bm->width), png_uint_32(bm->height), 8,
                 paletted ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color colors[256];
    if (paletted) {
        const auto* palette = static_cast<const uint32_t*>(bm->map);
        for (int i = 0; i < 256; ++i)
            colors[i] = {png_byte(palette[i] >> 16), png_byte(palette[i] >> 8),
                         png_byte(palette[i])};
        png_set_PLTE(png, info, colors, 256);
    }
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
}

} // namespace

bool pngWrite(const std::string& path, const bitmap_tag* bm, std::string& error) {
    const bool paletted = pngWritesPaletted(bm);
    std::vector<uint8_t> pixels;
    std::vector<png_bytep> rows;
    const int32_t width = bm->width, height = bm->height;
    const int channels = paletted ? 1 : 4;
    pixels.resize(size_t(width) * size_t(height) * size_t(channels));
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = bm->pixels + int64_t(y) * bm->rowBytes;
        uint8_t* out = pixels.data() + size_t(y) * size_t(width) * size_t(channels);
        rows.push_back(out);
        for (int32_t x = 0; x < width; ++x) {
            if (paletted) {
                out[x] = row[x];
                continue;
            }
            uint32_t v = 0;
            const int bytes = bytesPerPixel(bm->pixelType);
            std::memcpy(&v, row + x * bytes, size_t(bytes));
            out[4 * x] = colorR(bm, v);
            out[4 * x + 1] = colorG(bm, v);
            out[4 * x + 2] = colorB(bm, v);
            out[4 * x + 3] = colorA(bm, v);
        }
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot create " + path;
        return false;
    }
    std::string message;
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &message, pngError, pngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        std::fclose(file);
        error = path + ": " + (message.empty() ? std::string("out of memory") : message);
        return false;
    }
    writeImage(png, info, file, bm, rows.data());
    png_destroy_write_struct(&png, &info);
    if (std::fclose(file) != 0) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}
