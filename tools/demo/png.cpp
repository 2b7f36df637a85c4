#include "png.h"

#include <png.h>

#include <cstdio>
#include <vector>

namespace demo {

namespace {

void toRgb(const bitmap_tag* frame, const uint32_t* palette, int y, uint8_t* out) {
    const uint8_t* src = frame->pixels + int64_t(y) * frame->rowBytes;
    for (int x = 0; x < frame->width; ++x, out += 3) {
        uint32_t r, g, b;
        if (frame->pixelType == PIXEL_RGB565 || frame->pixelType == PIXEL_ARGB1555) {
            uint32_t v = src[2 * x] | src[2 * x + 1] << 8;
            bool is565 = frame->pixelType == PIXEL_RGB565;
            r = (v >> (is565 ? 11 : 10)) & 31;
            g = is565 ? (v >> 5) & 63 : ((v >> 5) & 31) << 1 | ((v >> 9) & 1);
            b = v & 31;
            r = r << 3 | r >> 2;
            g = g << 2 | g >> 4;
            b = b << 3 | b >> 2;
        } else {
            uint32_t entry = palette ? palette[src[x]] : 0;
            r = (entry >> 16) & 255;
            g = (entry >> 8) & 255;
            b = entry & 255;
        }
        out[0] = uint8_t(r);
        out[1] = uint8_t(g);
        out[2] = uint8_t(b);
    }
}

} // namespace

bool writeFramePng(const std::string& path, const bitmap_tag* frame, const uint32_t* palette) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "cannot create %s\n", path.c_str());
        return false;
    }
    // Allocated before setjmp: a libpng error jumps back into this scope.
    std::vector<uint8_t> row(size_t(frame->width) * 3);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(frame->width), png_uint_32(frame->height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < frame->height; ++y) {
        toRgb(frame, palette, y, row.data());
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

} // namespace demo
