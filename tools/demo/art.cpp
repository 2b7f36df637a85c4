#include "art.h"

#include <cmath>
#include <cstring>

namespace demo {

namespace {

uint32_t hash(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

uint32_t rgb(int r, int g, int b) {
    auto clamp = [](int v) { return uint32_t(v < 0 ? 0 : v > 255 ? 255 : v); };
    return 0xFF000000u | clamp(r) << 16 | clamp(g) << 8 | clamp(b);
}

uint8_t* row(bitmap_tag* bm, int y) {
    return bm->pixels + int64_t(y) * bm->rowBytes;
}

bitmap_tag* alloc(uint8_t type, int w, int h, bool withMap = false) {
    bitmap_tag* bm = nullptr;
    if (!bitmapAlloc(&bm, type, w, h, withMap)) return nullptr;
    std::memset(bm->pixels, 0, size_t(h + 1) * size_t(bm->rowBytes) + 1);
    return bm;
}

} // namespace

void makePalette(uint32_t palette[256]) {
    palette[0] = rgb(0, 0, 0);
    for (int i = 1; i < 64; ++i)
        palette[i] = rgb(i * 4, i * 4, i * 4 + 8);
    for (int k = 0; k < 64; ++k)
        palette[64 + k] = rgb(70 + k * 3, 28 + k, 18 + k / 2);
    // Water: one smooth light-dark cycle over the range, so rotating it flows.
    for (int k = 0; k < 64; ++k) {
        double wave = 0.5 + 0.5 * std::sin(k * 2 * M_PI / 64);
        palette[128 + k] = rgb(int(20 + 60 * wave), int(60 + 120 * wave), int(140 + 115 * wave));
    }
    for (int k = 0; k < 64; ++k)
        palette[192 + k] = rgb(255, k * 4, k < 32 ? 0 : (k - 32) * 8);
}

bitmap_tag* makeBrickTexture(int size) {
    bitmap_tag* bm = alloc(PIXEL_PAL8, size, size, true);
    if (!bm) return nullptr;
    makePalette(static_cast<uint32_t*>(bm->map));
    int brickH = size / 8, brickW = size / 4;
    for (int y = 0; y < size; ++y) {
        int course = y / brickH;
        for (int x = 0; x < size; ++x) {
            int shifted = x + (course & 1) * brickW / 2;
            bool mortar = y % brickH == 0 || shifted % brickW == 0;
            int brick = course * 16 + shifted / brickW;
            int shade =
                int(hash(uint32_t(brick), 0, 7) % 24) + int(hash(uint32_t(x), uint32_t(y), 3) % 12);
            row(bm, y)[x] =
                uint8_t(mortar ? 30 + hash(uint32_t(x), uint32_t(y), 9) % 6 : 64 + 8 + shade);
        }
    }
    return bm;
}

bitmap_tag* makeGratingTexture(int size) {
    bitmap_tag* bm = alloc(PIXEL_PAL8, size, size);
    if (!bm) return nullptr;
    int cell = size / 4;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            int bx = x % cell, by = y % cell;
            bool bar = bx < 3 || by < 3;
            row(bm, y)[x] = bar ? uint8_t(36 + (bx < 3 ? bx * 8 : by * 8)) : 0;
        }
    return bm;
}

bitmap_tag* makeFloorTiles4(int size) {
    bitmap_tag* bm = alloc(PIXEL_CMAP4, size, size);
    if (!bm) return nullptr;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            bool dark = ((x / (size / 4)) + (y / (size / 4))) & 1;
            int ripple = ((x + y) / 4) & 7;
            row(bm, y)[x] = uint8_t(dark ? ripple : 8 + ((x ^ y) >> 3 & 7));
        }
    return bm;
}

bitmap_tag* makeBallSprite(int size) {
    bitmap_tag* bm = alloc(PIXEL_PAL8, size, size);
    if (!bm) return nullptr;
    double r = size / 2.0 - 0.5;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            double dx = (x - r) / r, dy = (y - r) / r;
            double d2 = dx * dx + dy * dy;
            if (d2 > 1) continue;
            // Light from the upper left.
            double light = std::sqrt(1 - d2) * 0.6 + (-dx - dy) * 0.25 + 0.3;
            int k = int(light * 63);
            row(bm, y)[x] = uint8_t(192 + (k < 1 ? 1 : k > 63 ? 63 : k));
        }
    return bm;
}

bitmap_tag* makeLogo(int width, int height) {
    bitmap_tag* bm = alloc(PIXEL_PAL8_KEY, width, height);
    if (!bm) return nullptr;
    drawLine(bm, 250, 0, 0, width - 1, 0);
    drawLine(bm, 250, 0, height - 1, width - 1, height - 1);
    drawDebugText(bm, 255, 4, (height - 8) / 2, "SPANWRIGHT", 1);
    drawDebugText(bm, 200, 5, (height - 8) / 2 + 1, "SPANWRIGHT", 1);
    return bm;
}

bitmap_tag* makePanel4444(int width, int height) {
    bitmap_tag* bm = alloc(PIXEL_ARGB4444, width, height);
    if (!bm) return nullptr;
    for (int y = 0; y < height; ++y) {
        auto* px = reinterpret_cast<uint16_t*>(row(bm, y));
        for (int x = 0; x < width; ++x) {
            bool border = x == 0 || y == 0 || x == width - 1 || y == height - 1;
            int a = border ? 15 : 9;
            int b = 6 + 9 * y / height;
            px[x] = uint16_t(a << 12 | 1 << 8 | 3 << 4 | b);
        }
    }
    return bm;
}

bitmap_tag* makeCoverageGlyph(int size) {
    bitmap_tag* bm = alloc(PIXEL_ALPHA8, size, size);
    if (!bm) return nullptr;
    double c = size / 2.0, outer = size / 2.0 - 1, inner = size / 4.0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            int hits = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx) {
                    double px = x + (sx + 0.5) / 4 - c, py = y + (sy + 0.5) / 4 - c;
                    double d = std::sqrt(px * px + py * py);
                    hits += d <= outer && d >= inner;
                }
            // Full coverage is 240: the blend draws that value solid.
            row(bm, y)[x] = uint8_t(hits * 15);
        }
    return bm;
}

bitmap_tag* makePattern565(int size) {
    bitmap_tag* bm = alloc(PIXEL_RGB565, size, size);
    if (!bm) return nullptr;
    for (int y = 0; y < size; ++y) {
        auto* px = reinterpret_cast<uint16_t*>(row(bm, y));
        for (int x = 0; x < size; ++x)
            px[x] = uint16_t((31 * x / size) << 11 | (63 * y / size) << 5 | 16);
    }
    return bm;
}

bitmap_tag* makeBadge1555(int size) {
    bitmap_tag* bm = alloc(PIXEL_ARGB1555, size, size);
    if (!bm) return nullptr;
    int c = size / 2;
    for (int y = 0; y < size; ++y) {
        auto* px = reinterpret_cast<uint16_t*>(row(bm, y));
        for (int x = 0; x < size; ++x) {
            int d = std::abs(x - c) + std::abs(y - c);
            if (d >= c) continue;
            int shade = 31 - d * 24 / c;
            px[x] = uint16_t(0x8000 | shade << 10 | (shade / 2) << 5 | 4);
        }
    }
    return bm;
}

} // namespace demo
