#include "scene.h"

#include "art.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace demo {

namespace {

uint32_t basePalette[256];

// --------------------------------------------------------------- files

file_tag* create(const std::string& path) {
    file_tag* f = nullptr;
    if (!fileCreate(&f, path.c_str())) std::fprintf(stderr, "cannot create %s\n", path.c_str());
    return f;
}

file_tag* open(const std::string& path) {
    file_tag* f = nullptr;
    if (!fileOpen(&f, path.c_str())) std::fprintf(stderr, "cannot open %s\n", path.c_str());
    return f;
}

// A 16-bit top-down uncompressed TGA of a PIXEL_ARGB1555 bitmap.
bool writeTga1555(const std::string& path, const bitmap_tag* bm) {
    file_tag* f = create(path);
    if (!f) return false;
    uint8_t header[18] = {0, 0, 2};
    header[12] = uint8_t(bm->width);
    header[13] = uint8_t(bm->width >> 8);
    header[14] = uint8_t(bm->height);
    header[15] = uint8_t(bm->height >> 8);
    header[16] = 16;
    header[17] = 0x20;
    bool ok = fileWrite(f, header, sizeof header);
    for (int y = 0; ok && y < bm->height; ++y)
        ok = fileWrite(f, bm->pixels + int64_t(y) * bm->rowBytes, uint32_t(bm->width) * 2);
    fileClose(f);
    return ok;
}

bool writePcx(const std::string& path, bitmap_tag* bm, const uint32_t* palette) {
    file_tag* f = create(path);
    if (!f) return false;
    bool ok = bitmapWritePcx(f, bm, palette);
    fileClose(f);
    return ok;
}

bool writeNative(const std::string& path, bitmap_tag* bm) {
    file_tag* f = create(path);
    if (!f) return false;
    bool ok = bitmapWrite(f, bm);
    fileClose(f);
    return ok;
}

// Writes the chain to a mip file and loads it back.
mip_tag* roundTripMip(const std::string& path, mip_tag* mip) {
    file_tag* f = create(path);
    if (!f) return nullptr;
    bool ok = mipWrite(f, mip, nullptr, 0);
    fileClose(f);
    mip_tag* loaded = nullptr;
    if (ok && (f = open(path))) {
        if (!mipLoad(&loaded, f)) loaded = nullptr;
        fileClose(f);
    }
    return loaded;
}

enum class Loader { Cached, Cached4 };

bitmap_tag* load(const std::string& path, uint8_t key, Loader how = Loader::Cached) {
    file_tag* f = open(path);
    if (!f) return nullptr;
    bitmap_tag* bm = nullptr;
    bool ok = how == Loader::Cached ? bitmapLoad(&bm, f, key) : bitmapLoad4(&bm, f, key);
    fileClose(f);
    return ok ? bm : nullptr;
}

// A chain of `levels` levels built from a bitmap that came from a file.
mip_tag* chainFrom(bitmap_tag* source, uint32_t levels) {
    mip_tag* mip = nullptr;
    return mipCreate(&mip, source, levels, 0) ? mip : nullptr;
}

// ------------------------------------------------------------ geometry

struct View {
    double width, height, focal, camX, camY;
};

struct Point3 {
    double x, y, z;
    int32_t u, v;
};

vertex_tag project(const View& view, const Point3& p) {
    vertex_tag out{};
    out.x = int32_t(std::lround((view.width / 2 + view.focal * (p.x - view.camX) / p.z) * 65536));
    out.y = int32_t(std::lround((view.height / 2 + view.focal * (p.y - view.camY) / p.z) * 65536));
    out.z = int32_t(std::lround(p.z * 4096));
    out.u = p.u;
    out.v = p.v;
    return out;
}

void texturedQuad(bitmap_tag* target, const View& view, mip_tag* texture,
                  const Point3 (&corners)[4]) {
    vertex_tag v[4];
    for (int i = 0; i < 4; ++i)
        v[i] = project(view, corners[i]);
    mipSetCurrent(texture);
    polyBegin(target, 4);
    for (auto& vertex : v)
        polyVertex(&vertex);
    polyEnd();
}

void flatPolygon(bitmap_tag* target, uint32_t color, const std::vector<vertex_tag>& points) {
    std::vector<vertex_tag> v = points;
    for (auto& vertex : v)
        vertex.color = int32_t(color);
    polyBegin(target, 0);
    polySetColor(color);
    for (auto& vertex : v)
        polyVertex(&vertex);
    polyEnd();
}

constexpr double tunnelHalfWidth = 1.0, tunnelHalfHeight = 0.75, nearZ = 0.35, segmentLength = 1.0,
                 speed = 0.045;
constexpr int segments = 9;

void drawTunnel(Scene& scene, bitmap_tag* target, const View& view, int frame) {
    const double w = tunnelHalfWidth, h = tunnelHalfHeight;
    double phase = std::fmod(frame * speed, segmentLength);
    const int32_t one = 0x10000;
    for (int i = 0; i < segments; ++i) {
        double za = i * segmentLength - phase, zb = za + segmentLength;
        if (zb <= nearZ) continue;
        // Cut the first segment at the near plane, its texture with it.
        int32_t ua = 0;
        if (za < nearZ) {
            ua = int32_t((nearZ - za) / segmentLength * one);
            za = nearZ;
        }
        const Point3 left[4] = {{-w, -h, za, ua, 0},
                                {-w, -h, zb, one, 0},
                                {-w, h, zb, one, 3 * one / 2},
                                {-w, h, za, ua, 3 * one / 2}};
        const Point3 right[4] = {{w, -h, za, ua, 0},
                                 {w, h, za, ua, 3 * one / 2},
                                 {w, h, zb, one, 3 * one / 2},
                                 {w, -h, zb, one, 0}};
        const Point3 ceiling[4] = {{-w, -h, za, 0, ua},
                                   {w, -h, za, 2 * one, ua},
                                   {w, -h, zb, 2 * one, one},
                                   {-w, -h, zb, 0, one}};
        const Point3 floor[4] = {{-w, h, za, 0, ua},
                                 {-w, h, zb, 0, one},
                                 {w, h, zb, 2 * one, one},
                                 {w, h, za, 2 * one, ua}};
        texturedQuad(target, view, scene.wall, left);
        texturedQuad(target, view, scene.wall, right);
        texturedQuad(target, view, scene.wall, ceiling);
        texturedQuad(target, view, scene.floor, floor);
    }
    // The far end of the tunnel, and a grating drifting towards the viewer.
    double zFar = segments * segmentLength - phase;
    const Point3 end[4] = {
        {-w, -h, zFar, 0, 0}, {w, -h, zFar, 0, 0}, {w, h, zFar, 0, 0}, {-w, h, zFar, 0, 0}};
    std::vector<vertex_tag> endPoints;
    for (const auto& p : end)
        endPoints.push_back(project(view, p));
    flatPolygon(target, 3, endPoints);

    double zGrating = 7.5 - std::fmod(frame * speed * 2, 6.5);
    const Point3 grating[4] = {{-w, -h, zGrating, 0, 0},
                               {w, -h, zGrating, 2 * one, 0},
                               {w, h, zGrating, 2 * one, 3 * one / 2},
                               {-w, h, zGrating, 0, 3 * one / 2}};
    texturedQuad(target, view, scene.grating, grating);
}

vertex_tag screenPoint(double x, double y) {
    vertex_tag v{};
    v.x = int32_t(std::lround(x * 65536));
    v.y = int32_t(std::lround(y * 65536));
    v.z = 1;
    return v;
}

void drawStar(bitmap_tag* target, double cx, double cy, double radius, double angle,
              uint32_t color) {
    for (int k = 0; k < 5; ++k) {
        double a0 = angle + k * 2 * M_PI / 5, a1 = a0 + M_PI / 5, a2 = a0 - M_PI / 5;
        double inner = radius * 0.4;
        aaTriangle(target, color, int32_t(std::lround(cx * 65536)),
                   int32_t(std::lround(cy * 65536)),
                   int32_t(std::lround((cx + radius * std::cos(a0)) * 65536)),
                   int32_t(std::lround((cy + radius * std::sin(a0)) * 65536)),
                   int32_t(std::lround((cx + inner * std::cos(a1)) * 65536)),
                   int32_t(std::lround((cy + inner * std::sin(a1)) * 65536)));
        aaTriangle(target, color, int32_t(std::lround(cx * 65536)),
                   int32_t(std::lround(cy * 65536)),
                   int32_t(std::lround((cx + inner * std::cos(a2)) * 65536)),
                   int32_t(std::lround((cy + inner * std::sin(a2)) * 65536)),
                   int32_t(std::lround((cx + radius * std::cos(a0)) * 65536)),
                   int32_t(std::lround((cy + radius * std::sin(a0)) * 65536)));
    }
}

void drawHexagon(bitmap_tag* target, double cx, double cy, double radius, uint32_t color) {
    std::vector<vertex_tag> points;
    for (int k = 0; k < 6; ++k)
        points.push_back(screenPoint(cx + radius * std::cos(k * M_PI / 3),
                                     cy + radius * std::sin(k * M_PI / 3)));
    flatPolygon(target, color, points);
}

void drawRadar(bitmap_tag* target, int cx, int cy, int radius, int frame) {
    for (int k = 0; k < 64; ++k) {
        double a = k * 2 * M_PI / 64;
        drawPixel(target, 60, cx + int(std::lround(radius * std::cos(a))),
                  cy + int(std::lround(radius * std::sin(a))));
    }
    double a = frame * 0.08;
    drawLine(target, 250, cx, cy, cx + int(std::lround(radius * std::cos(a))),
             cy + int(std::lround(radius * std::sin(a))));
    drawLine(target, 40, cx - radius, cy, cx + radius, cy);
    drawLine(target, 40, cx, cy - radius, cx, cy + radius);
    // A sweep in 16.16 coordinates, the way the engine hands over its lines.
    aaLine(target, 230, (cx - radius) << 16, (cy + radius + 6) << 16,
           (cx - radius + (frame * 3) % (2 * radius)) << 16, (cy + radius + 6) << 16);
}

void cyclePalettes(Scene& scene, int frame) {
    for (int i = 0; i < 256; ++i)
        scene.palette[i] = basePalette[i];
    const int span = waterEnd - waterFirst;
    for (int k = 0; k < span; ++k)
        scene.palette[waterFirst + k] = basePalette[waterFirst + (k + frame) % span];
    paletteSetCurrent(scene.palette, 0, 256);
    for (int v = 0; v < 16; ++v)
        scene.floorColormap[v] = uint8_t(v < 8 ? waterFirst + (v * 6 + frame) % span : 64 + v * 3);
    colormapSetCurrent(scene.floorColormap);
}

bool loadAll(Scene& scene);

} // namespace

bool sceneLoad(Scene& scene, const std::string& dir) {
    // The bitmap cache keys on the directory and the first 16 characters of
    // the name a file was opened by, so the files are opened by short names
    // from inside their directory, the way the engine opens its textures.
    char previous[256];
    if (!libfileGetDir(previous) || !fileChDir(dir.c_str())) return false;
    bool loadedAll = loadAll(scene);
    fileChDir(previous);
    return loadedAll;
}

namespace {

bool loadAll(Scene& scene) {
    makePalette(basePalette);
    if (!paletteAlloc(&scene.palette) || !colormapAlloc(&scene.floorColormap)) return false;
    std::memcpy(scene.palette, basePalette, sizeof basePalette);
    paletteSetCurrent(scene.palette, 0, 256);

    // Bricks: PCX file -> cached load -> mip chain -> mip file -> mip chain.
    bitmap_tag* art = makeBrickTexture(64);
    bool ok = art && writePcx("bricks.pcx", art, scene.palette);
    bitmapFree(art);
    bitmap_tag* loaded = ok ? load("bricks.pcx", 0) : nullptr;
    mip_tag* built = loaded ? chainFrom(loaded, 4) : nullptr;
    scene.wall = built ? roundTripMip("bricks.mip", built) : nullptr;
    mipFree(built);
    if (loaded) bitmapUnload(loaded);

    // The grating: a keyed bitmap in the native chunked file.
    art = makeGratingTexture(64);
    if (art) art->pixelType = PIXEL_PAL8_KEY;
    ok = art && writeNative("grating.bmap", art);
    bitmapFree(art);
    loaded = ok ? load("grating.bmap", 0) : nullptr;
    scene.grating = loaded ? chainFrom(loaded, 1) : nullptr;
    if (loaded) bitmapUnload(loaded);

    // Floor tiles: 16 values through a colormap, from a 4-bit PCX load.
    art = makeFloorTiles4(64);
    ok = art && writePcx("tiles.pcx", art, scene.palette);
    bitmapFree(art);
    loaded = ok ? load("tiles.pcx", 0, Loader::Cached4) : nullptr;
    scene.floor = loaded ? chainFrom(loaded, 1) : nullptr;
    bitmapFree(loaded);

    // Sprites: a keyed PCX and a 16-bit TGA, kept in the cache.
    art = makeBallSprite(32);
    ok = art && writePcx("ball.pcx", art, scene.palette);
    bitmapFree(art);
    scene.ball = ok ? load("ball.pcx", 1) : nullptr;
    art = makeBadge1555(32);
    ok = art && writeTga1555("badge.tga", art);
    bitmapFree(art);
    scene.badge = ok ? load("badge.tga", 0) : nullptr;

    scene.logo = makeLogo(96, 16);
    scene.panel = makePanel4444(200, 40);
    scene.glyph = makeCoverageGlyph(48);
    scene.pattern = makePattern565(48);
    return scene.wall && scene.grating && scene.floor && scene.ball && scene.badge && scene.logo &&
           scene.panel && scene.glyph && scene.pattern;
}

} // namespace

bool sceneBeginMode(Scene& scene, bitmap_tag* back) {
    scene.special = bitmapCreateSpecial(scene.logo, back, back->width - scene.logo->width - 8, 8);
    return scene.special != nullptr;
}

void sceneEndMode(Scene& scene) {
    bitmapFreeSpecial(scene.special);
    scene.special = nullptr;
}

void sceneDraw(Scene& scene, bitmap_tag* target, int frame) {
    const int w = target->width, h = target->height;
    const bool screen16 = target->pixelType == PIXEL_RGB565 || target->pixelType == PIXEL_ARGB1555;
    cyclePalettes(scene, frame);
    bitmapFill(target, 0);

    View view{double(w), double(h), w * 0.5, 0.3 * std::sin(frame * 0.035),
              0.12 * std::sin(frame * 0.05)};
    drawTunnel(scene, target, view, frame);

    drawStar(target, w * 0.5, h * 0.2, h * 0.08, frame * 0.05, 224);
    drawHexagon(target, w * 0.12, h * 0.45, h * 0.06, uint32_t(waterFirst + 20));

    for (int i = 0; i < 3; ++i) {
        double t = frame * 0.07 + i * 2.1;
        int32_t factor = int32_t((0.75 + 0.5 * std::sin(t)) * 65536);
        int x = int(w * (0.25 + 0.25 * i) - 16);
        int y = int(h * 0.62 - std::fabs(std::sin(t * 1.3)) * h * 0.25);
        // The general path mirrors: on 16-bit screens one ball looks back.
        int32_t fx = screen16 && i == 2 ? -factor : factor;
        bitmapScale(target, x, y, scene.ball, fx, factor);
    }

    bitmapDrawSpecial(target, scene.special);
    drawRadar(target, 70, 80, 40, frame);

    if (screen16) {
        bitmapCopy(target, 8, h - 48, scene.panel);
        bitmapCopy(target, w - 48, h - 90, scene.badge);
        if (target->pixelType == PIXEL_RGB565) {
            bitmapSetFontColor(0x90FFD040);
            bitmapCopyCharacter(target, w - 64, h - 56, scene.pattern, scene.glyph);
        } else {
            bitmapSetFontColor(0x00FFD040);
            bitmapCopy(target, w - 64, h - 56, scene.glyph);
        }
    } else {
        fillRect(target, 2, 8, uint32_t(h - 48), 200, 40);
        drawLine(target, 60, 8, h - 48, 207, h - 48);
        drawLine(target, 60, 8, h - 9, 207, h - 9);
    }
    char text[64];
    std::snprintf(text, sizeof text, "frame %d", frame);
    drawDebugText(target, 255, 16, h - 40, text, 1);
    std::snprintf(text, sizeof text, "%dx%d %s", w, h,
                  target->pixelType == PIXEL_PAL8     ? "8-bit"
                  : target->pixelType == PIXEL_RGB565 ? "565"
                                                      : "1555");
    drawDebugText(target, 250, 16, h - 28, text, 1);
}

void sceneFree(Scene& scene) {
    sceneEndMode(scene);
    mipSetCurrent(nullptr);
    colormapSetCurrent(nullptr);
    mipFree(scene.wall);
    mipFree(scene.grating);
    mipFree(scene.floor);
    if (scene.ball) bitmapUnload(scene.ball);
    if (scene.badge) bitmapUnload(scene.badge);
    bitmapFree(scene.logo);
    bitmapFree(scene.panel);
    bitmapFree(scene.glyph);
    bitmapFree(scene.pattern);
    colormapFree(scene.floorColormap);
    paletteSetCurrent(nullptr, 0, 0);
    paletteFree(scene.palette);
    scene = Scene{};
}

} // namespace demo
