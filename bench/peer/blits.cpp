// Fills, copies, the converting and keyed copies, the blends and the
// scaler against memset/memcpy, pixman and SDL2 on the same pixels.
#include "peer.h"

#include "bitmap/bitmap.h"

#include <SDL2/SDL.h>
#include <pixman.h>

#include <cstdio>
#include <cstring>

namespace {

using peer::Case;
using peer::Image;
using peer::Rng;

constexpr int screenW = 640, screenH = 480;

// The 16-bit pixel of colour index 7: distinct high and low bytes, so no
// byte fill can stand in for it.
uint16_t pixel565(int index) {
    return screenPalette565[index & 0xFF];
}

// "<what>.<bits>bpp.<w>x<h>[x<count>]"
std::string opName(const char* what, int bytes, int w, int h, int count) {
    char name[96];
    if (count > 1)
        std::snprintf(name, sizeof name, "%s.%dbpp.%dx%dx%d", what, bytes * 8, w, h, count);
    else
        std::snprintf(name, sizeof name, "%s.%dbpp.%dx%d", what, bytes * 8, w, h);
    return name;
}

// --------------------------------------------------------------- fills

struct Rect {
    int x, y, w, h;
};

// `count` rectangles of w x h at seeded positions inside a 640 x 480 image.
std::vector<Rect> rects(int w, int h, int count) {
    std::vector<Rect> out;
    Rng rng(uint32_t(w * 7 + h));
    for (int i = 0; i < count; ++i)
        out.push_back({int(rng.below(screenW - w + 1)), int(rng.below(screenH - h + 1)), w, h});
    return out;
}

void addFill(uint8_t type, const char* what, int w, int h, int count, bool wholeBitmap) {
    auto image = std::make_shared<Image>(type, screenW, screenH);
    auto where = std::make_shared<std::vector<Rect>>(
        wholeBitmap ? std::vector<Rect>{{0, 0, screenW, screenH}} : rects(w, h, count));
    const int bytes = image->bytes;
    const std::string op = opName(what, bytes, w, h, count);
    const double pixels = double(w) * h * count;
    const uint32_t pixel = bytes == 1 ? 7 : pixel565(7);

    if (wholeBitmap)
        peer::add({op, "ours", "bitmapFill", pixels, 0, 0, [image] { bitmapFill(&image->bm, 7); }});
    else
        peer::add({op, "ours", "fillRect", pixels, 0, 0, [image, where] {
                       for (const Rect& r : *where)
                           fillRect(&image->bm, 7, r.x, r.y, uint32_t(r.w), uint32_t(r.h));
                   }});
    // memset of the same bytes, row by row where the rows have gaps; a
    // 16-bit fill's bytes differ, which memset cannot do: this is the limit.
    peer::add({op, "memset", "memset of the same bytes (one byte value)", pixels, 0, 1.0 / 0.9,
               [image, where, bytes] {
                   for (const Rect& r : *where) {
                       if (r.w * bytes == image->bm.rowBytes) {
                           std::memset(image->row(r.y), 0x37, size_t(r.w) * bytes * r.h);
                           continue;
                       }
                       for (int y = r.y; y < r.y + r.h; ++y)
                           std::memset(image->row(y) + r.x * bytes, 0x37, size_t(r.w) * bytes);
                   }
               }});
    peer::add({op, "pixman", "pixman_fill", pixels, 0, 1.0, [image, where, bytes, pixel] {
                   for (const Rect& r : *where)
                       pixman_fill(reinterpret_cast<uint32_t*>(image->bm.pixels),
                                   image->bm.rowBytes / 4, bytes * 8, r.x, r.y, r.w, r.h, pixel);
               }});
}

void fills() {
    for (uint8_t type : {PIXEL_PAL8, PIXEL_RGB565}) {
        addFill(type, "fill", screenW, screenH, 1, true);
        addFill(type, "fillRect", 200, 150, 1, false);
        addFill(type, "fillRect", 24, 24, 16, false);
    }
}

// -------------------------------------------------------------- copies

// A w x h source copied to (100, 50) of a 1024 x 768 destination: rows of
// w pixels with gaps on both sides.
void addCopy(uint8_t type, int w, int h, int count) {
    auto src = std::make_shared<Image>(type, w, h);
    auto dst = std::make_shared<Image>(type, 1024, 768);
    src->randomize(3);
    const int bytes = src->bytes;
    auto where = std::make_shared<std::vector<Rect>>();
    Rng rng(11);
    for (int i = 0; i < count; ++i)
        where->push_back(count == 1
                             ? Rect{100, 50, w, h}
                             : Rect{int(rng.below(1024 - w)), int(rng.below(768 - h)), w, h});
    const std::string op = opName("copy", bytes, w, h, count);
    const double pixels = double(w) * h * count;
    peer::add({op, "ours", "bitmapCopy", pixels, 0, 0, [src, dst, where] {
                   for (const Rect& r : *where)
                       bitmapCopy(&dst->bm, r.x, r.y, &src->bm);
               }});
    peer::add({op, "memcpy", "memcpy of each row", pixels, 0, 1.0 / 0.9, [src, dst, where, bytes] {
                   for (const Rect& r : *where)
                       for (int y = 0; y < r.h; ++y)
                           std::memcpy(dst->row(r.y + y) + r.x * bytes, src->row(y),
                                       size_t(r.w) * bytes);
               }});
    // pixman_blt serves 16 and 32 bpp only (it returns FALSE for 8 bpp);
    // an 8-bit copy in pixman is a SRC composite of a8 images, which its
    // fast path table turns into row memcpy.
    if (bytes == 2) {
        peer::add({op, "pixman", "pixman_blt 16 bpp", pixels, 0, 1.0, [src, dst, where] {
                       for (const Rect& r : *where)
                           pixman_blt(reinterpret_cast<uint32_t*>(src->bm.pixels),
                                      reinterpret_cast<uint32_t*>(dst->bm.pixels),
                                      src->bm.rowBytes / 4, dst->bm.rowBytes / 4, 16, 16, 0, 0, r.x,
                                      r.y, r.w, r.h);
                   }});
    } else {
        pixman_image_t* s = src->pixman(PIXMAN_a8);
        pixman_image_t* d = dst->pixman(PIXMAN_a8);
        peer::add({op, "pixman", "composite SRC a8 to a8 (pixman_blt has no 8 bpp)", pixels, 0, 1.0,
                   [src, dst, where, s, d] {
                       for (const Rect& r : *where)
                           pixman_image_composite32(PIXMAN_OP_SRC, s, nullptr, d, 0, 0, 0, 0, r.x,
                                                    r.y, r.w, r.h);
                   }});
    }
}

// Sprites for the keyed copy: an opaque disc of radius 100 in 256 x 256
// (long runs), or runs of 1..12 pixels alternating opaque and transparent
// (about half each).
std::shared_ptr<Image> sprite(bool shortRuns) {
    auto s = std::make_shared<Image>(PIXEL_PAL8_KEY, 256, 256);
    Rng rng(shortRuns ? 21 : 22);
    for (int y = 0; y < 256; ++y) {
        uint8_t* row = s->row(y);
        bool opaque = rng.below(2) != 0;
        int run = 0;
        for (int x = 0; x < 256; ++x) {
            if (shortRuns && run-- == 0) {
                opaque = !opaque;
                run = int(rng.below(12));
            }
            int dx = x - 128, dy = y - 128;
            bool visible = shortRuns ? opaque : dx * dx + dy * dy < 100 * 100;
            row[x] = visible ? uint8_t(1 + rng.below(255)) : 0;
        }
    }
    return s;
}

void addKeyedCopy(bool shortRuns) {
    auto src = sprite(shortRuns);
    auto dst = std::make_shared<Image>(PIXEL_PAL8, screenW, screenH);
    dst->randomize(4);
    const std::string op =
        shortRuns ? "keyedCopy.8bpp.256x256.shortRuns" : "keyedCopy.8bpp.256x256.disc";
    const double pixels = 256.0 * 256;
    peer::add({op, "ours", "bitmapCopy PAL8_KEY to PAL8", pixels, 0, 0,
               [src, dst] { bitmapCopy(&dst->bm, 100, 100, &src->bm); }});
    SDL_Surface* s = src->sdl(SDL_PIXELFORMAT_INDEX8);
    SDL_Surface* d = dst->sdl(SDL_PIXELFORMAT_INDEX8);
    SDL_SetColorKey(s, SDL_TRUE, 0);
    peer::add({op, "SDL2", "SDL_BlitSurface INDEX8 to INDEX8, SDL_SetColorKey 0", pixels, 0, 1.0,
               [src, dst, s, d] {
                   SDL_Rect at{100, 100, 256, 256};
                   SDL_BlitSurface(s, nullptr, d, &at);
               }});
}

void addLookupCopy() {
    auto src = std::make_shared<Image>(PIXEL_PAL8, screenW, screenH);
    auto dst = std::make_shared<Image>(PIXEL_RGB565, screenW, screenH);
    src->randomize(5);
    const std::string op = "lookup.8to565.640x480";
    const double pixels = double(screenW) * screenH;
    peer::add({op, "ours", "bitmapCopy PAL8 to RGB565", pixels, 0, 0,
               [src, dst] { bitmapCopy(&dst->bm, 0, 0, &src->bm); }});
    auto indexed = std::make_shared<pixman_indexed_t>();
    std::memset(indexed.get(), 0, sizeof *indexed);
    indexed->color = 1;
    for (int i = 0; i < 256; ++i)
        indexed->rgba[i] = peer::palette()[i];
    pixman_image_t* s = src->pixman(PIXMAN_c8);
    pixman_image_set_indexed(s, indexed.get());
    pixman_image_t* d = dst->pixman(PIXMAN_r5g6b5);
    peer::add({op, "pixman", "composite SRC c8 (pixman_indexed_t) to r5g6b5", pixels, 0, 1.0,
               [src, dst, indexed, s, d] {
                   pixman_image_composite32(PIXMAN_OP_SRC, s, nullptr, d, 0, 0, 0, 0, 0, 0, screenW,
                                            screenH);
               }});
    SDL_Surface* ss = src->sdl(SDL_PIXELFORMAT_INDEX8);
    SDL_Surface* ds = dst->sdl(SDL_PIXELFORMAT_RGB565);
    peer::add({op, "SDL2", "SDL_BlitSurface INDEX8 to RGB565", pixels, 0, 1.0, [src, dst, ss, ds] {
                   SDL_Rect at{0, 0, screenW, screenH};
                   SDL_BlitSurface(ss, nullptr, ds, &at);
               }});
}

void addBlends() {
    {
        auto src = std::make_shared<Image>(PIXEL_ARGB4444, 256, 256);
        auto dst = std::make_shared<Image>(PIXEL_RGB565, screenW, screenH);
        src->randomize(6); // alpha uniform in 0..15: mostly partial blends
        dst->randomize(7);
        const std::string op = "blend.4444over565.256x256";
        peer::add({op, "ours", "bitmapCopy ARGB4444 to RGB565", 65536, 0, 0,
                   [src, dst] { bitmapCopy(&dst->bm, 100, 100, &src->bm); }});
        pixman_image_t* s = src->pixman(PIXMAN_a4r4g4b4);
        pixman_image_t* d = dst->pixman(PIXMAN_r5g6b5);
        peer::add(
            {op, "pixman", "composite OVER a4r4g4b4 to r5g6b5", 65536, 0, 1.0, [src, dst, s, d] {
                 pixman_image_composite32(PIXMAN_OP_OVER, s, nullptr, d, 0, 0, 0, 0, 100, 100, 256,
                                          256);
             }});
    }
    {
        // Glyph-like coverage: half 0, a quarter solid (240), a quarter edges.
        auto glyph = std::make_shared<Image>(PIXEL_ALPHA8, 256, 256);
        Rng rng(8);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) {
                uint32_t r = rng.below(4);
                glyph->row(y)[x] = r < 2 ? 0 : r == 2 ? 240 : uint8_t(1 + rng.below(255));
            }
        auto dst = std::make_shared<Image>(PIXEL_RGB565, screenW, screenH);
        dst->randomize(9);
        const uint32_t color = 0xFFE0B040u;
        const std::string op = "blend.a8font565.256x256";
        peer::add({op, "ours", "bitmapCopy ALPHA8 to RGB565 (font colour)", 65536, 0, 0,
                   [glyph, dst, color] {
                       bitmapSetFontColor(color);
                       bitmapCopy(&dst->bm, 100, 100, &glyph->bm);
                   }});
        pixman_color_t solidColor{uint16_t(((color >> 16) & 0xFF) * 257),
                                  uint16_t(((color >> 8) & 0xFF) * 257),
                                  uint16_t((color & 0xFF) * 257), 0xFFFF};
        pixman_image_t* solid = pixman_image_create_solid_fill(&solidColor);
        pixman_image_t* mask = glyph->pixman(PIXMAN_a8);
        pixman_image_t* d = dst->pixman(PIXMAN_r5g6b5);
        auto keep = std::shared_ptr<pixman_image_t>(solid, pixman_image_unref);
        peer::add({op, "pixman", "composite OVER solid through a8 mask to r5g6b5", 65536, 0, 1.0,
                   [glyph, dst, keep, mask, d] {
                       pixman_image_composite32(PIXMAN_OP_OVER, keep.get(), mask, d, 0, 0, 0, 0,
                                                100, 100, 256, 256);
                   }});
    }
}

// bitmapScale's 8-bit path against pixman's nearest scale (a8 images: the
// bytes as they are) and SDL_SoftStretch on INDEX8 surfaces; the result is
// 320 x 240 at (50, 40) of a 640 x 480 destination.
void addScale(int srcW, int srcH, const char* name) {
    auto src = std::make_shared<Image>(PIXEL_PAL8, srcW, srcH);
    auto dst = std::make_shared<Image>(PIXEL_PAL8, screenW, screenH);
    src->randomize(10);
    const int32_t factor = int32_t((int64_t(320) << 16) / srcW);
    const std::string op = std::string("scale.8bpp.") + name;
    const double pixels = 320.0 * 240;
    peer::add({op, "ours", "bitmapScale PAL8 (the 8-bit path)", pixels, 0, 0,
               [src, dst, factor] { bitmapScale(&dst->bm, 50, 40, &src->bm, factor, factor); }});
    pixman_image_t* s = src->pixman(PIXMAN_a8);
    pixman_image_t* d = dst->pixman(PIXMAN_a8);
    pixman_transform_t t;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(double(srcW) / 320),
                                pixman_double_to_fixed(double(srcH) / 240));
    pixman_image_set_transform(s, &t);
    pixman_image_set_filter(s, PIXMAN_FILTER_NEAREST, nullptr, 0);
    peer::add({op, "pixman", "composite SRC a8 to a8, scale transform, FILTER_NEAREST", pixels, 0,
               1.0, [src, dst, s, d] {
                   pixman_image_composite32(PIXMAN_OP_SRC, s, nullptr, d, 0, 0, 0, 0, 50, 40, 320,
                                            240);
               }});
    SDL_Surface* ss = src->sdl(SDL_PIXELFORMAT_INDEX8);
    SDL_Surface* ds = dst->sdl(SDL_PIXELFORMAT_INDEX8);
    peer::add(
        {op, "SDL2", "SDL_SoftStretch INDEX8", pixels, 0, 1.0, [src, dst, ss, ds, srcW, srcH] {
             SDL_Rect from{0, 0, srcW, srcH}, to{50, 40, 320, 240};
             SDL_SoftStretch(ss, &from, ds, &to);
         }});
}

void blits() {
    fills();
    addCopy(PIXEL_PAL8, 640, 480, 1);
    addCopy(PIXEL_PAL8, 64, 64, 16);
    addCopy(PIXEL_RGB565, 640, 480, 1);
    addKeyedCopy(false);
    addKeyedCopy(true);
    addLookupCopy();
    addBlends();
    addScale(160, 120, "x2");
    addScale(640, 480, "x0.5");
}

const bool registered = peer::registerCases(blits);

} // namespace
