#include "support.h"

#include "bitmap/bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace swtest {

void MessageCapture::hook(void* user, int32_t kind, const char* text) {
    auto* self = static_cast<MessageCapture*>(user);
    (kind == VESK_MESSAGE_ERROR ? self->errors_ : self->debug_).emplace_back(text);
}

std::string MessageCapture::dump() const {
    std::string out;
    for (const auto& t : debug_)
        out += "debug: " + t;
    for (const auto& t : errors_)
        out += "error: " + t;
    return out;
}

int expectCleanOnEveryAllocationFailure(const std::function<void()>& attempt) {
    const int64_t base = memLiveBlocks();
    for (int n = 1;; ++n) {
        memFailNth(n);
        attempt();
        bool hit = memFailureHit();
        memFailNth(0);
        EXPECT_EQ(memLiveBlocks(), base) << "blocks left after failing allocation " << n;
        if (!hit) return n - 1;
        if (n > 100000) {
            ADD_FAILURE() << "operation never finished without an injected failure";
            return n;
        }
    }
}

SelectionGuard::SelectionGuard()
    : palette_(paletteCurrent), colormap_(colormapCurrent), mip_(mipGetCurrent()) {}

SelectionGuard::~SelectionGuard() {
    paletteCurrent = palette_;
    colormapCurrent = colormap_;
    mipSetCurrent(mip_);
}

void withPlainAndFast(const std::function<void(bool plain)>& body) {
    for (bool plain : {true, false}) {
        SCOPED_TRACE(plain ? "plain" : "fast");
        RoutineChoice routines(plain);
        body(plain);
    }
}

DrawScene::DrawScene(uint32_t seed, uint8_t* colormap, uint32_t fontColor)
    : palette_(randomPalette(seed)), fontColor_(::fontColor) {
    paletteSetCurrent(palette_, 0, 256);
    colormapSetCurrent(colormap);
    bitmapSetFontColor(fontColor);
}
DrawScene::~DrawScene() {
    bitmapSetFontColor(fontColor_);
    paletteCurrent = nullptr;
    paletteFree(palette_);
}

std::vector<uint8_t> bufferOf(const bitmap_tag* bm) {
    return std::vector<uint8_t>(bm->pixels,
                                bm->pixels + size_t(bm->height + 1) * size_t(bm->rowBytes) + 1);
}

bool outsideHolds(const bitmap_tag* bm, uint8_t byte) {
    std::vector<uint8_t> buffer = bufferOf(bm);
    for (int32_t y = 0; y < bm->height; ++y) // the visible pixels pass whatever they hold
        std::fill_n(buffer.begin() + int64_t(y) * bm->rowBytes,
                    bm->width * pixelBitDepthLog2(bm->pixelType), byte);
    return std::count(buffer.begin(), buffer.end(), byte) == int64_t(buffer.size());
}

bitmap_tag* filledBitmap(uint8_t type, int32_t width, int32_t height, uint8_t byte) {
    bitmap_tag* bm = nullptr;
    if (!bitmapAlloc(&bm, type, width, height, 0)) return nullptr;
    std::memset(bm->pixels, byte, size_t(height + 1) * size_t(bm->rowBytes) + 1);
    return bm;
}

uint32_t pixelAt(const bitmap_tag* bm, int32_t x, int32_t y) {
    const int bpp = pixelBitDepthLog2(bm->pixelType);
    const uint8_t* p = bm->pixels + int64_t(y) * bm->rowBytes + int64_t(x) * bpp;
    uint32_t v = 0;
    for (int k = bpp - 1; k >= 0; --k)
        v = v << 8 | p[k];
    return v;
}

void setPixelAt(bitmap_tag* bm, int32_t x, int32_t y, uint32_t value) {
    const int bpp = pixelBitDepthLog2(bm->pixelType);
    uint8_t* p = bm->pixels + int64_t(y) * bm->rowBytes + int64_t(x) * bpp;
    for (int k = 0; k < bpp; ++k)
        p[k] = uint8_t(value >> (8 * k));
}

TempDir::TempDir() {
    // A new directory of a name no other test process takes.
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    static std::random_device device;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path dir =
            base / ("spanwright-" + std::to_string(device()) + "-" + std::to_string(device()));
        if (std::filesystem::create_directory(dir, ec)) {
            path_ = dir.generic_string();
            return;
        }
    }
    ADD_FAILURE() << "no temporary directory could be created";
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bitmap_tag* randomBitmap(uint8_t type, int32_t width, int32_t height, uint32_t seed) {
    bitmap_tag* bm = filledBitmap(type, width, height, 0);
    Rng rng(seed);
    for (size_t i = 0; bm && i < size_t(height + 1) * size_t(bm->rowBytes) + 1; ++i)
        bm->pixels[i] = uint8_t(rng.next());
    return bm;
}

uint32_t* randomPalette(uint32_t seed) {
    uint32_t* palette = nullptr;
    if (!paletteAlloc(&palette)) return nullptr;
    Rng rng(seed);
    for (int i = 0; i < 256; ++i)
        palette[i] = rng.next();
    return palette;
}

uint64_t bitmapHash(const bitmap_tag* bm) {
    uint64_t h = 0xcbf29ce484222325ull;
    int bpp = pixelBitDepthLog2(bm->pixelType);
    for (int32_t y = 0; y < bm->height; ++y) {
        const uint8_t* row = bm->pixels + int64_t(y) * bm->rowBytes;
        for (int32_t i = 0; i < bm->width * bpp; ++i) {
            h ^= row[i];
            h *= 0x100000001b3ull;
        }
    }
    return h;
}

} // namespace swtest
