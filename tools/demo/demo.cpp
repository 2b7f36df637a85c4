// spanwright-demo: a host that drives the library the way the engine does.
// It opens the display, enumerates the modes, and for each chosen mode
// draws frames into the back buffer and presents them; chosen frames are
// written as PNG files and TGA screenshots, and every saved frame's pixel
// hash is printed so runs can be compared with known-good ones.
#include "png.h"
#include "scene.h"

#include <spanwright/spanwright.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Options {
    int frames = 120;
    int saveEvery = 40;
    int width = 640, height = 480;
    std::vector<int> depths{8, 16};
    bool window = false;
    bool frameRate = true;
    bool screenshots = true;
    int holdSeconds = 0;
    std::string driver;
    std::string out = "frames";
};

void usage(FILE* to) {
    std::fprintf(
        to,
        "usage: spanwright-demo [options]\n"
        "  --frames N         frames to draw per mode (default 120)\n"
        "  --save-every K     save every K-th frame and the last (default 40; 0: only the last)\n"
        "  --mode WxH         screen size from the mode table (default 640x480)\n"
        "  --depth LIST       bits per pixel to run, comma separated (default 8,16)\n"
        "  --window           show the frames in a window (SDL2 display driver)\n"
        "  --driver NAME      display driver: auto, headless, sdl or ddraw (default headless)\n"
        "  --out DIR          where frames and screenshots go (default ./frames)\n"
        "  --no-frame-rate    leave the frame-rate readout off (frames then depend\n"
        "                     on nothing but the frame number)\n"
        "  --no-screenshots   save PNG frames only\n"
        "  --hold S           keep the display open S seconds after the last frame;\n"
        "                     the file DIR/holding exists while it waits\n"
        "  --help             this text\n");
}

bool parseInt(const char* text, int& out) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < 0 || v > 1000000) return false;
    out = int(v);
    return true;
}

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (a == "--help") {
            usage(stdout);
            std::exit(0);
        } else if (a == "--window") {
            o.window = true;
        } else if (a == "--no-frame-rate") {
            o.frameRate = false;
        } else if (a == "--no-screenshots") {
            o.screenshots = false;
        } else if (a == "--frames" && (v = value())) {
            if (!parseInt(v, o.frames) || o.frames < 1) return false;
        } else if (a == "--hold" && (v = value())) {
            if (!parseInt(v, o.holdSeconds)) return false;
        } else if (a == "--save-every" && (v = value())) {
            if (!parseInt(v, o.saveEvery)) return false;
        } else if (a == "--mode" && (v = value())) {
            if (std::sscanf(v, "%dx%d", &o.width, &o.height) != 2) return false;
        } else if (a == "--depth" && (v = value())) {
            o.depths.clear();
            for (const char* p = v; *p;) {
                int d = std::atoi(p);
                if (d != 8 && d != 16) return false;
                o.depths.push_back(d);
                p = std::strchr(p, ',');
                if (!p) break;
                ++p;
            }
        } else if (a == "--driver" && (v = value())) {
            o.driver = v;
        } else if (a == "--out" && (v = value())) {
            o.out = v;
        } else {
            std::fprintf(stderr, "spanwright-demo: bad argument %s\n", a.c_str());
            return false;
        }
    }
    return !o.depths.empty();
}

bool findMode(int width, int height, int bits, screenmode_tag& out) {
    bool found = false;
    screenmode_tag mode;
    if (!screenGetFirstMode(&mode)) return false;
    do {
        if (!found && mode.width == width && mode.height == height && mode.bitsPerPixel == bits) {
            out = mode;
            found = true;
        }
    } while (screenGetNextMode(&mode));
    return found;
}

uint64_t frameHash(const bitmap_tag* frame) {
    uint64_t h = 0xcbf29ce484222325ull;
    int bytes = frame->width * pixelBitDepthLog2(frame->pixelType);
    for (int y = 0; y < frame->height; ++y) {
        const uint8_t* row = frame->pixels + int64_t(y) * frame->rowBytes;
        for (int i = 0; i < bytes; ++i)
            h = (h ^ row[i]) * 0x100000001b3ull;
    }
    return h;
}

const char* typeName(uint8_t type) {
    return type == PIXEL_PAL8       ? "pal8"
           : type == PIXEL_RGB565   ? "rgb565"
           : type == PIXEL_ARGB1555 ? "argb1555"
                                    : "unknown";
}

// Copies the presented frame out of the display and writes it.
bool saveFrame(const Options& o, const bitmap_tag* back, int bits, int frame) {
    bitmap_tag* shot = nullptr;
    if (!bitmapAlloc(&shot, back->pixelType, back->width, back->height, 0)) return false;
    bool ok = screenReadFrame(shot);
    if (ok) {
        uint32_t palette[256];
        paletteGetCurrent(palette, 0, 256);
        char name[64];
        std::snprintf(name, sizeof name, "/frame-%dx%dx%d-%03d.png", back->width, back->height,
                      bits, frame);
        ok = demo::writeFramePng(o.out + name, shot, palette);
        std::printf("frame %d %dx%dx%d %s %016llx\n", frame, back->width, back->height, bits,
                    typeName(shot->pixelType), (unsigned long long)frameHash(shot));
    } else {
        std::fprintf(stderr, "spanwright-demo: screenReadFrame failed\n");
    }
    bitmapFree(shot);
    if (ok && o.screenshots) saveScreenshot();
    return ok;
}

// Leaves the last frame on the display for a while, so that another program
// can capture the screen; the marker file tells it when.
void hold(const Options& o) {
    std::string marker = o.out + "/holding";
    if (FILE* f = std::fopen(marker.c_str(), "w")) std::fclose(f);
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(o.holdSeconds));
    std::remove(marker.c_str());
}

bool runMode(const Options& o, demo::Scene& scene, int bits) {
    screenmode_tag mode;
    if (!findMode(o.width, o.height, bits, mode)) {
        std::fprintf(stderr, "spanwright-demo: no %dx%dx%d mode\n", o.width, o.height, bits);
        return false;
    }
    if (!screenBegin(&mode)) {
        std::fprintf(stderr, "spanwright-demo: screenBegin failed for %dx%dx%d\n", o.width,
                     o.height, bits);
        return false;
    }
    bitmap_tag* back = screenGetBackBuffer();
    bool ok = lockBitmap() && demo::sceneBeginMode(scene, back);
    unlockBitmap();
    auto start = std::chrono::steady_clock::now();
    double drawing = 0;
    for (int frame = 0; ok && frame < o.frames; ++frame) {
        if (!lockBitmap()) {
            std::fprintf(stderr, "spanwright-demo: lockBitmap failed\n");
            ok = false;
            break;
        }
        auto t0 = std::chrono::steady_clock::now();
        demo::sceneDraw(scene, back, frame);
        drawing += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        screenDisplay(back);
        bool last = frame == o.frames - 1;
        if (last || (o.saveEvery > 0 && frame % o.saveEvery == 0))
            ok = saveFrame(o, back, bits, frame);
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (ok)
        std::printf("mode %dx%dx%d (%s): %d frames in %.3f s, %.1f frames/s (drawing alone %.1f "
                    "frames/s)\n",
                    o.width, o.height, bits, typeName(back->pixelType), o.frames, seconds,
                    o.frames / seconds, o.frames / (drawing > 0 ? drawing : 1e-9));
    demo::sceneEndMode(scene);
    if (ok && o.holdSeconds > 0 && bits == o.depths.back()) hold(o);
    screenEnd();
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        usage(stderr);
        return 2;
    }
    namespace fs = std::filesystem;
    std::error_code error;
    fs::create_directory(o.out, error);
    // Forward slashes on every platform: the library appends "/name".
    std::string resolved = fs::canonical(o.out, error).generic_string();
    if (error || resolved.size() >= sizeof homedir) {
        std::fprintf(stderr, "spanwright-demo: cannot use output directory %s\n", o.out.c_str());
        return 1;
    }
    o.out = resolved;
    std::string assets = o.out + "/assets";
    fs::create_directory(assets, error);
    // Screenshots go where the frames go.
    std::strcpy(homedir, resolved.c_str());

    std::string driver = o.driver.empty() ? (o.window ? "sdl" : "headless") : o.driver;
    if (!rasterSetDisplayDriver(driver.c_str())) {
        std::fprintf(stderr, "spanwright-demo: display driver \"%s\" is not available\n",
                     driver.c_str());
        return 1;
    }
    SetDedicatedMode(o.window ? 1 : 0);
    ShowFrameRate(o.frameRate ? 1 : 0);
    RasterBeginParams params{};
    params.className = "spanwright demo";
    if (!rasterBegin(rasterVersion(), 1, &params)) {
        std::fprintf(stderr, "spanwright-demo: rasterBegin failed\n");
        return 1;
    }
    demo::Scene scene;
    bool ok = demo::sceneLoad(scene, assets);
    if (!ok) std::fprintf(stderr, "spanwright-demo: building the scene's assets failed\n");
    for (int bits : o.depths)
        if (ok) ok = runMode(o, scene, bits);
    demo::sceneFree(scene);
    rasterEnd();
    if (ok) std::printf("frames written to %s\n", o.out.c_str());
    return ok ? 0 : 1;
}
