// Triangles: our flat and textured fills against SDL2's software renderer
// (SDL_RenderGeometry on SDL_CreateSoftwareRenderer over a surface) and
// against the per-pixel-divide fill, on 64 triangles of about 10, 100, 1000
// and 10000 pixels scattered over a 1024 x 768 target.
//
// The pixels each side draws are counted (every triangle alone on a blank
// target) rather than assumed: the two rasterizers have their own fill
// rules. Differences in what is computed: our textured fill is
// perspective-correct (exact division every 8 pixels, corners at z = 1,
// 1.5 and 2), SDL's is affine; SDL's software renderer has no indexed
// textures, so its 8-bit case maps an RGB332 texture onto an RGB332
// surface and its 16-bit case an RGB565 texture onto an RGB565 surface
// (ours read an 8-bit texture through the 5:6:5 screen table). SDL gets
// its most favourable use: all 64 triangles in one SDL_RenderGeometry
// call, then SDL_RenderFlush; ours are 64 polyBegin/polyVertex/polyEnd
// (or aaTriangle) calls.
#include "peer.h"

#include "../divide_per_pixel.h"

#include "bitmap/bitmap.h"
#include "memory.h"
#include "mip/mip.h"
#include "raster/raster.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

using peer::Case;
using peer::Image;
using peer::Rng;

constexpr int targetW = 1024, targetH = 768, triangleCount = 64, textureSize = 256;

// 64 right-angled triangles of about `area` pixels (legs sqrt(2 area)) with
// sub-pixel corners; texture coordinates one texel per pixel along the
// legs, at a seeded place in the texture.
struct Triangles {
    std::vector<vertex_tag> ours; // 3 per triangle
    std::vector<SDL_Vertex> sdl;  // the same corners
    Triangles(double area, SDL_Color color) {
        Rng rng(2024);
        auto unit = [&rng] { return double(rng.next() >> 8) / double(1u << 24); };
        const double leg = std::sqrt(2.0 * area);
        for (int i = 0; i < triangleCount; ++i) {
            double x = 2 + unit() * (targetW - leg - 4), y = 2 + unit() * (targetH - leg - 4);
            double u = unit() * (textureSize - leg - 1), v = unit() * (textureSize - leg - 1);
            const double corner[3][5] = {{x, y, u, v, 1.0},
                                         {x + leg, y + 0.3, u + leg, v, 1.5},
                                         {x + 0.2, y + leg, u, v + leg, 2.0}};
            for (const auto& c : corner) {
                auto fixed = [](double d) { return int32_t(std::lround(d * 65536.0)); };
                ours.push_back({fixed(c[0]), fixed(c[1]), fixed(c[4]), fixed(c[2] / textureSize),
                                fixed(c[3] / textureSize), 7});
                sdl.push_back({{float(ours.back().x / 65536.0), float(ours.back().y / 65536.0)},
                               color,
                               {float(c[2] / textureSize), float(c[3] / textureSize)}});
            }
        }
    }
    vertex_tag* tri(int i) { return &ours[size_t(i) * 3]; }
};

// Pixels `draw(i)` writes for each triangle i alone, summed: the box around
// the triangle is set to two different blank values in turn and every
// pixel that changes in either drawing counts.
template <class Draw>
double countPixels(Image& target, const Triangles& set, Draw draw) {
    const int bytes = target.bytes;
    double total = 0;
    for (int i = 0; i < triangleCount; ++i) {
        const vertex_tag* v = &set.ours[size_t(i) * 3];
        int x0 = targetW, x1 = 0, y0 = targetH, y1 = 0;
        for (int k = 0; k < 3; ++k) {
            x0 = std::min(x0, (v[k].x >> 16) - 2);
            x1 = std::max(x1, (v[k].x >> 16) + 3);
            y0 = std::min(y0, (v[k].y >> 16) - 2);
            y1 = std::max(y1, (v[k].y >> 16) + 3);
        }
        x0 = std::max(x0, 0), y0 = std::max(y0, 0);
        x1 = std::min(x1, targetW), y1 = std::min(y1, targetH);
        std::vector<uint8_t> changed(size_t(x1 - x0) * (y1 - y0), 0);
        for (uint8_t blank : {0x00, 0xFF}) {
            for (int y = y0; y < y1; ++y)
                std::memset(target.row(y) + x0 * bytes, blank, size_t(x1 - x0) * bytes);
            draw(i);
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x)
                    for (int b = 0; b < bytes; ++b)
                        if (target.row(y)[x * bytes + b] != blank)
                            changed[size_t(y - y0) * (x1 - x0) + (x - x0)] = 1;
        }
        for (uint8_t c : changed)
            total += c;
    }
    return total;
}

// Our texture: a 256 x 256 mip level of seeded random indexes (0 included).
struct Texture {
    mip_tag* mip = mipRecordAlloc(1);
    Texture() {
        bitmap_tag& l = mip->level[0];
        mip->logWidth = mip->logHeight = 8;
        mip->levels = 1;
        l.pixelType = PIXEL_PAL8;
        l.width = l.height = textureSize;
        l.rowBytes = textureSize;
        l.pixels = static_cast<uint8_t*>(memAlloc(size_t(textureSize) * textureSize));
        Rng rng(99);
        for (int i = 0; i < textureSize * textureSize; ++i)
            l.pixels[i] = uint8_t(rng.next() >> 24);
    }
    ~Texture() { mipFree(mip); }
};

// An SDL software renderer drawing into `target` (its surface is made in
// `format`), with an optional texture holding our texture's colours.
struct SdlRenderer {
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    SdlRenderer(Image& target, uint32_t format, const Texture* ours) {
        renderer = SDL_CreateSoftwareRenderer(target.sdl(format));
        SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_NONE);
        if (!ours) return;
        texture =
            SDL_CreateTexture(renderer, format, SDL_TEXTUREACCESS_STATIC, textureSize, textureSize);
        SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
        SDL_PixelFormat* pf = SDL_AllocFormat(format);
        const int bytes = pf->BytesPerPixel;
        std::vector<uint8_t> pixels(size_t(textureSize) * textureSize * bytes);
        const uint8_t* texels = ours->mip->level[0].pixels;
        for (int i = 0; i < textureSize * textureSize; ++i) {
            uint32_t c = peer::palette()[texels[i]];
            uint32_t p = SDL_MapRGB(pf, uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c));
            std::memcpy(&pixels[size_t(i) * bytes], &p, size_t(bytes));
        }
        SDL_UpdateTexture(texture, nullptr, pixels.data(), textureSize * bytes);
        SDL_FreeFormat(pf);
    }
    ~SdlRenderer() {
        if (texture) SDL_DestroyTexture(texture);
        if (renderer) SDL_DestroyRenderer(renderer);
    }
    void draw(const SDL_Vertex* v, int count) {
        SDL_RenderGeometry(renderer, texture, v, count, nullptr, 0);
        SDL_RenderFlush(renderer);
    }
};

std::string areaName(int area) {
    return std::to_string(area);
}

void addFlat(uint8_t type, int area) {
    const uint32_t c = peer::palette()[7];
    auto set = std::make_shared<Triangles>(
        area, SDL_Color{uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 255});
    auto ours = std::make_shared<Image>(type, targetW, targetH);
    const bool wide = type == PIXEL_RGB565;
    const std::string op = std::string("flatTri.") + (wide ? "16bpp." : "8bpp.") + areaName(area);
    auto drawOurs = [ours, set](int i) {
        vertex_tag* v = set->tri(i);
        aaTriangle(&ours->bm, 7, v[0].x, v[0].y, v[1].x, v[1].y, v[2].x, v[2].y);
    };
    double pixels = countPixels(*ours, *set, drawOurs);
    peer::add({op, "ours", "aaTriangle", pixels, triangleCount, 0, [drawOurs] {
                   for (int i = 0; i < triangleCount; ++i)
                       drawOurs(i);
               }});
    auto target = std::make_shared<Image>(type, targetW, targetH);
    auto sdl = std::make_shared<SdlRenderer>(
        *target, wide ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_INDEX8, nullptr);
    double sdlPixels =
        countPixels(*target, *set, [sdl, set](int i) { sdl->draw(&set->sdl[size_t(i) * 3], 3); });
    peer::add({op, "SDL2",
               std::string("SDL_RenderGeometry solid, software renderer on ") +
                   (wide ? "RGB565" : "INDEX8"),
               sdlPixels, triangleCount, area <= 10 ? 0.5 : 1.0,
               [sdl, set, target] { sdl->draw(set->sdl.data(), 3 * triangleCount); }});
}

void addTextured(uint8_t type, int area) {
    static Texture texture;
    auto set = std::make_shared<Triangles>(area, SDL_Color{255, 255, 255, 255});
    auto ours = std::make_shared<Image>(type, targetW, targetH);
    const bool wide = type == PIXEL_RGB565;
    const std::string op = std::string("texTri.") + (wide ? "8to565." : "8to8.") + areaName(area);
    auto drawOurs = [ours, set](int i) {
        mip_tag* saved = mipCurrent;
        mipCurrent = texture.mip;
        vertex_tag* v = set->tri(i);
        polyBegin(&ours->bm, 4);
        polyVertex(&v[0]);
        polyVertex(&v[1]);
        polyVertex(&v[2]);
        polyEnd();
        mipCurrent = saved;
    };
    double pixels = countPixels(*ours, *set, drawOurs);
    peer::add({op, "ours", "polyBegin mode 4 / polyVertex / polyEnd, perspective-correct", pixels,
               triangleCount, 0, [drawOurs] {
                   for (int i = 0; i < triangleCount; ++i)
                       drawOurs(i);
               }});

    auto target = std::make_shared<Image>(type, targetW, targetH);
    auto sdl = std::make_shared<SdlRenderer>(
        *target, wide ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB332, &texture);
    double sdlPixels =
        countPixels(*target, *set, [sdl, set](int i) { sdl->draw(&set->sdl[size_t(i) * 3], 3); });
    peer::add({op, "SDL2",
               std::string("SDL_RenderGeometry textured (affine), software renderer, ") +
                   (wide ? "RGB565 texture on RGB565" : "RGB332 texture on RGB332"),
               sdlPixels, triangleCount, area >= 1000 ? 1.0 / 3 : 1.0,
               [sdl, set, target] { sdl->draw(set->sdl.data(), 3 * triangleCount); }});

    if (wide) return;
    // SDL's fastest textured path (a 16-bit texture onto its own format),
    // beside its 8-bit one: the 8-bit target has no equal in SDL.
    auto target565 = std::make_shared<Image>(PIXEL_RGB565, targetW, targetH);
    auto sdl565 = std::make_shared<SdlRenderer>(*target565, SDL_PIXELFORMAT_RGB565, &texture);
    double sdl565Pixels = countPixels(
        *target565, *set, [sdl565, set](int i) { sdl565->draw(&set->sdl[size_t(i) * 3], 3); });
    peer::add({op, "SDL2rgb565",
               "SDL_RenderGeometry textured (affine), RGB565 texture on RGB565 (16-bit output)",
               sdl565Pixels, triangleCount, area >= 1000 ? 1.0 / 3 : 1.0,
               [sdl565, set, target565] { sdl565->draw(set->sdl.data(), 3 * triangleCount); }});

    auto naiveTarget = std::make_shared<Image>(type, targetW, targetH);
    auto drawNaive = [naiveTarget, set](int i) {
        bitmap_tag* level = &texture.mip->level[0];
        vertex_tag* v = set->tri(i);
        vertex_tag* list[3] = {&v[0], &v[1], &v[2]};
        TexSpanSetup setup{};
        texSetTexture(&setup, level);
        setup.clip = targetClip(&naiveTarget->bm);
        TexPolygon poly;
        texSetVertices(&poly, level, 3, list);
        triTexturedRows(&naiveTarget->bm, setup, poly, 0, 1, 2, rowsDividePerPixel);
    };
    double naivePixels = countPixels(*naiveTarget, *set, drawNaive);
    peer::add({op, "perPixelDivide",
               "the same walk, one division per pixel (bench/divide_per_pixel.h)", naivePixels,
               triangleCount, area >= 1000 ? 0.5 : 0, [drawNaive] {
                   for (int i = 0; i < triangleCount; ++i)
                       drawNaive(i);
               }});
}

void triangles() {
    for (int area : {10, 100, 1000, 10000}) {
        addFlat(PIXEL_PAL8, area);
        addFlat(PIXEL_RGB565, area);
        addTextured(PIXEL_PAL8, area);
        addTextured(PIXEL_RGB565, area);
    }
}

const bool registered = peer::registerCases(triangles);

} // namespace
