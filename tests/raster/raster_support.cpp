#include "raster_support.h"

#include "bitmap/pixeltype.h"
#include "mip/mip.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <sstream>

namespace rastertest {

namespace {

// Every test program starts with a current palette whose 16-bit pixels
// are all distinct from the 0 the canvases are cleared to.
class TestPalette : public testing::Environment {
  public:
    void SetUp() override {
        for (int i = 0; i < 256; ++i)
            entries[i] =
                0xFF808080u | uint32_t(i) << 16 | uint32_t(255 - i) << 8 | uint32_t(i * 37 & 0x7F);
        paletteSetCurrent(entries, 0, 256);
    }
    uint32_t entries[256];
};
testing::Environment* const testPalette = testing::AddGlobalTestEnvironment(new TestPalette);

} // namespace

Canvas::Canvas(uint8_t type, int w, int h, int g, uint32_t fill)
    : width(w), height(h), guard(g), bpp(bytesPerPixel(type)) {
    int rowBytes = (w + 2 * g) * bpp;
    memory.assign(size_t(rowBytes) * (h + 2 * g), canary);
    bm = bitmap_tag{type, w, h, rowBytes, nullptr, nullptr};
    bm.pixels = memory.data() + size_t(g) * rowBytes + size_t(g) * bpp;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            put(x, y, fill);
}

bool Canvas::guardIntact() const {
    for (size_t i = 0; i < memory.size(); ++i) {
        const int y = int(i / size_t(bm.rowBytes)) - guard,
                  x = int(i % size_t(bm.rowBytes)) / bpp - guard;
        if ((x < 0 || x >= width || y < 0 || y >= height) && memory[i] != canary) return false;
    }
    return true;
}

std::vector<uint32_t> Canvas::target() const {
    std::vector<uint32_t> out;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            out.push_back(at(x, y));
    return out;
}

CurrentTexture::CurrentTexture(uint8_t type, int w, int h, int rowBytes,
                               const std::function<uint32_t(int u, int v)>& texel)
    : mip(mipRecordAlloc(1)) {
    const int bytes = bytesPerPixel(type);
    mip->levels = 1;
    mip->level[0] = bitmap_tag{
        type, w, h, rowBytes, nullptr, static_cast<uint8_t*>(memAlloc(size_t(rowBytes) * h + 1))};
    std::memset(mip->level[0].pixels, 0, size_t(rowBytes) * h + 1);
    for (int v = 0; v < h; ++v)
        for (int u = 0; u < w && (u + 1) * bytes <= rowBytes; ++u)
            swtest::setPixelAt(&mip->level[0], u, v, texel(u, v));
    mipSetCurrent(mip);
}

CurrentTexture::~CurrentTexture() {
    mipSetCurrent(nullptr);
    mipFree(mip);
}

Int128 doubledArea(const std::vector<vertex_tag>& poly) {
    Int128 sum = wide(0);
    for (size_t i = 0; i < poly.size(); ++i) {
        const vertex_tag& a = poly[i];
        const vertex_tag& b = poly[(i + 1) % poly.size()];
        sum = sum + mulWide(a.x, b.y) - mulWide(b.x, a.y);
    }
    return sum < wide(0) ? -sum : sum;
}

std::vector<uint32_t> rowRuleImage(const std::vector<vertex_tag>& poly, int w, int h,
                                   uint32_t value) {
    std::vector<uint32_t> out(size_t(w) * h, 0);
    for (int y = 0; y < h; ++y) {
        const int64_t yc = int64_t(y) * 65536 + 32768;
        std::optional<int64_t> x[2]; // the last edge down, the last up
        for (size_t i = 0; i < poly.size(); ++i) {
            const vertex_tag &a = poly[i], &b = poly[(i + 1) % poly.size()];
            const vertex_tag &top = a.y < b.y ? a : b, &bottom = a.y < b.y ? b : a;
            if (a.y == b.y || !(top.y < yc && yc <= bottom.y)) continue;
            // Edge x at the row centre is top.x + dx (yc - top.y) / dy; the
            // first column whose centre lies strictly right of it:
            // floor((edge x + 0.5) in pixels).
            int64_t dx = int64_t(bottom.x) - top.x, dy = int64_t(bottom.y) - top.y;
            x[a.y > b.y] =
                floorDiv(mulWide(int64_t(top.x) + 32768, dy) + mulWide(dx, yc - top.y), dy * 65536);
        }
        if (!x[0] || !x[1]) continue;
        const int64_t lo = std::max<int64_t>(std::min(*x[0], *x[1]), 0),
                      hi = std::min<int64_t>(std::max(*x[0], *x[1]), w);
        for (int64_t c = lo; c < hi; ++c)
            out[size_t(y) * w + size_t(c)] = value;
    }
    return out;
}

std::vector<vertex_tag> randomConvex(swtest::Rng& rng, double lo, double hi, int32_t grid,
                                     int maxPoints) {
    for (;;) {
        auto coord = [&] {
            double v = lo + (hi - lo) * (rng.next() / 4294967296.0);
            return int64_t(std::llround(v * 65536.0)) / grid * grid;
        };
        int n = rng.range(3, maxPoints);
        std::vector<std::pair<int64_t, int64_t>> pts;
        for (int i = 0; i < n; ++i)
            pts.push_back({coord(), coord()});
        std::sort(pts.begin(), pts.end());
        pts.erase(std::unique(pts.begin(), pts.end()), pts.end());
        if (pts.size() < 3) continue;
        // Monotone chain, dropping collinear points.
        auto cross = [](auto o, auto a, auto b) {
            return mulWide(a.first - o.first, b.second - o.second) -
                   mulWide(a.second - o.second, b.first - o.first);
        };
        std::vector<std::pair<int64_t, int64_t>> hull(2 * pts.size());
        // The lower chain left to right, then the upper one back.
        size_t k = 0, m = pts.size();
        for (size_t j = 0, t = 2; j < 2 * m - 1; ++j) {
            if (j == m) t = k + 1;
            const auto& p = pts[j < m ? j : 2 * m - 2 - j];
            while (k >= t && cross(hull[k - 2], hull[k - 1], p) <= wide(0))
                --k;
            hull[k++] = p;
        }
        hull.resize(k - 1);
        if (hull.size() < 3 || hull.size() > 20) continue;
        std::vector<vertex_tag> poly;
        for (auto& p : hull)
            poly.push_back(vertex_tag{int32_t(p.first), int32_t(p.second), 0x10000, 0, 0, 0});
        std::rotate(poly.begin(), poly.begin() + rng.range(0, int32_t(poly.size()) - 1),
                    poly.end());
        if (rng.next() & 1) std::reverse(poly.begin(), poly.end());
        return poly;
    }
}

void drawPolygon(bitmap_tag* target, int mode, std::vector<vertex_tag> poly) {
    polyBegin(target, mode);
    for (vertex_tag& v : poly)
        polyVertex(&v);
    polyEnd();
}

std::string describe(const std::vector<vertex_tag>& poly) {
    std::ostringstream s;
    for (const vertex_tag& v : poly)
        s << "(" << v.x << "," << v.y << " z" << v.z << " u" << v.u << " v" << v.v << ") ";
    return s.str();
}

// --------------------------------------------------------- textured fill

int32_t refRound(float value) {
    if (!(value >= -2147483648.0f && value < 2147483648.0f)) return INT32_MIN;
    return int32_t(std::nearbyint(value));
}

namespace {

// A vertex as the fill sees it: 1/z, u/z and v/z, and its place in pixels.
struct RefVertex {
    float f[3], x, y;
};

// 1/z, u/z and v/z of an edge.
constexpr float texEdge_tag::*values[3] = {&texEdge_tag::oow, &texEdge_tag::uoz, &texEdge_tag::voz};

// An edge of a triangle: the library's integer stepper (the flat fill's
// oracle checks it) with 1/z, u/z and v/z at its pixel stepped here.
struct RefEdge {
    texEdge_tag t{};
    float step[3]{}, carry[3]{};
    void advance() {
        t.edge.x += t.edge.xStep;
        t.edge.err += t.edge.stepRem;
        const bool carried = t.edge.err >= t.edge.dy;
        if (carried) t.edge.x += 1, t.edge.err -= t.edge.dy;
        for (int i = 0; i < 3; ++i)
            t.*values[i] = carried ? t.*values[i] + step[i] + carry[i] : t.*values[i] + step[i];
    }
};

} // namespace

RefTexture refTextureOf(const bitmap_tag& texture, const TexSpanCase& c, const uint8_t* colormap) {
    const int bytes = bytesPerPixel(texture.pixelType);
    int shift = 0;
    while ((1 << shift) < texture.rowBytes / bytes)
        ++shift;
    const uint16_t* screen = screenTableOf(c.target);
    const bool cmap = c.cmap;
    auto convert = [=](uint32_t t) {
        if (cmap) t = colormap[t & 15];
        return (cmap || bytes == 1) && screen ? uint32_t(screen[t]) : t;
    };
    const uint32_t mask = uint32_t(texture.height - 1) << shift | uint32_t(texture.width - 1);
    // Keyed types and 1555 textures leave the target pixel of texel 0.
    const bool keyed = isKeyed(texture.pixelType) || texture.pixelType == PIXEL_ARGB1555;
    return RefTexture{texture.pixels, bytes, texture.width, texture.height,
                      shift,          mask,  keyed,         convert};
}

void referenceSpan(Canvas& canvas, int row, const texEdge_tag& a, const texEdge_tag& b,
                   const TexGradients& g, const RefTexture& tex, int32_t clipLeft,
                   int32_t clipRight) {
    const texEdge_tag& l = a.edge.x <= b.edge.x ? a : b;
    const int64_t n = std::max(a.edge.x, b.edge.x) - l.edge.x;
    auto write = [&](int64_t x, uint32_t offset) {
        uint32_t texel = tex.pixels[size_t(offset) * tex.texelBytes];
        if (tex.texelBytes == 2) texel |= uint32_t(tex.pixels[size_t(offset) * 2 + 1]) << 8;
        if (x >= clipLeft && x < clipRight && !(tex.keyed && texel == 0))
            canvas.put(int(x), row, tex.convert(texel));
    };
    // 1/z, u/z and v/z, stepped a block or a pixel at a time, and what they
    // give for u and v.
    float f[3] = {l.oow, l.uoz, l.voz};
    const float block[3] = {g.dOowDx8, g.dUozDx8, g.dVozDx8};
    const float pixel[3] = {g.dOowDx, g.dUozDx, g.dVozDx};
    auto step = [&](const float* d, float sign) {
        for (int q = 0; q < 3; ++q)
            f[q] += sign * d[q];
    };
    auto divide = [&](float scale, int32_t* u, int32_t* v) {
        float rcp = 1.0f / f[0];
        *u = refRound(scale * (f[1] * rcp));
        *v = refRound(scale * (f[2] * rcp));
    };
    int32_t u0, v0, u1, v1;
    divide(256.0f, &u0, &v0);
    step(block, 1);
    int64_t x = l.edge.x;
    for (int64_t i = 0; i < n / 8; ++i, x += 8, u0 = u1, v0 = v1) {
        divide(256.0f, &u1, &v1);
        step(block, 1);
        int32_t dU = int32_t(uint32_t(u1) - uint32_t(u0)) >> 3,
                dV = int32_t(uint32_t(v1) - uint32_t(v0)) >> 3;
        uint32_t du = uint32_t(dU) & 0xFF, dv = uint32_t(dV) & 0xFF;
        uint32_t plain = uint32_t(dU >> 8) + (uint32_t(dV >> 8) << tex.shift);
        uint32_t offset = uint32_t(u0 >> 8) + (uint32_t(v0 >> 8) << tex.shift);
        uint32_t fu = uint32_t(u0) & 0xFF, fv = uint32_t(v0) & 0xFF;
        for (int k = 0; k < 8; ++k) {
            offset &= tex.mask;
            write(x + k, offset);
            fu += du, fv += dv;
            offset += plain + (fv > 255 ? 1u << tex.shift : 0) + (fu > 255 ? 1 : 0);
            fu &= 255, fv &= 255;
        }
    }
    if (n <= 0 || (n & 7) == 0) return;
    step(block, -1);
    step(pixel, 1);
    int32_t u = u0 >> 8, v = v0 >> 8;
    for (int64_t i = 0; i < (n & 7); ++i) {
        write(x + i, (uint32_t(u) + (uint32_t(v) << tex.shift)) & tex.mask);
        divide(1.0f, &u, &v);
        step(pixel, 1);
    }
}

void referenceTextured(Canvas& canvas, const ClipRect& clip, const std::vector<vertex_tag>& poly,
                       const RefTexture& tex) {
    std::vector<RefVertex> rv;
    for (const vertex_tag& v : poly) {
        float oow = 1.0f / float(v.z);
        rv.push_back({{oow, float(v.u) / 65536.0f * oow * float(tex.width),
                       float(v.v) / 65536.0f * oow * float(tex.height)},
                      float(v.x) / 65536.0f,
                      float(v.y) / 65536.0f});
    }
    for (size_t i = 1; i + 1 < poly.size(); ++i) {
        size_t a = 0, b = i, c = i + 1;
        if (poly[a].y > poly[b].y) std::swap(a, b);
        if (poly[a].y > poly[c].y) std::swap(a, c);
        if (poly[b].y > poly[c].y) std::swap(b, c);
        const RefVertex &p = rv[a], &q = rv[b], &r = rv[c];
        float dxQR = q.x - r.x, dyPR = p.y - r.y, dyQR = q.y - r.y, dxPR = p.x - r.x;
        float d = dxQR * dyPR - dyQR * dxPR;
        if (d == 0.0f) continue;
        float rd = 1.0f / d, ddx[3], ddy[3];
        for (int k = 0; k < 3; ++k) {
            ddx[k] = ((q.f[k] - r.f[k]) * dyPR - (p.f[k] - r.f[k]) * dyQR) * rd;
            ddy[k] = ((p.f[k] - r.f[k]) * dxQR - (q.f[k] - r.f[k]) * dxPR) * rd;
        }
        const TexGradients g{ddx[0], ddy[0],        ddx[1],        ddy[1],       ddx[2],
                             ddy[2], 8.0f * ddx[0], 8.0f * ddx[1], 8.0f * ddx[2]};
        auto setup = [&](size_t top, size_t bottom) {
            RefEdge e;
            const vertex_tag& A = poly[top];
            edgeSetup(&e.t.edge, &A, &poly[bottom]);
            if (e.t.edge.rows <= 0) return e;
            float ax = float((e.t.edge.x << 16) - A.x + 32768) / 65536.0f;
            float ay = float((int64_t(e.t.edge.yStart) << 16) + 32768 - A.y) / 65536.0f;
            for (int k = 0; k < 3; ++k) {
                e.t.*values[k] = rv[top].f[k] + ddy[k] * ay + ddx[k] * ax;
                e.step[k] = float(e.t.edge.xStep) * ddx[k] + ddy[k];
                e.carry[k] = ddx[k];
            }
            return e;
        };
        RefEdge longEdge = setup(a, c), upper = setup(a, b), lower = setup(b, c);
        for (RefEdge* shortEdge : {&upper, &lower}) {
            for (int64_t k = 0; k < shortEdge->t.edge.rows; ++k) {
                int64_t row = shortEdge->t.edge.yStart + k;
                if (row >= clip.top && row < clip.bottom)
                    referenceSpan(canvas, int(row), longEdge.t, shortEdge->t, g, tex, clip.left,
                                  clip.right);
                longEdge.advance();
                shortEdge->advance();
            }
        }
    }
}

} // namespace rastertest
