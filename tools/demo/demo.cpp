// spanwright-demo: a host that drives the library the way the engine does.
// It opens the display, enumerates the modes, and for each chosen mode
// draws frames into the back buffer and presents them; chosen frames are
// written as PNG files and TGA screenshots, and every saved frame's pixel
// hash is printed so runs can be compared with known-good ones.
#include "png.h"
#include "scene.h"

#include <spanwright/spanwright.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdarg>
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
    bool frameRate = false;
    bool screenshots = true;
    bool verbose = false;
    int holdSeconds = 0;
    std::string driver;
    std::string out = "frames";
};

void usage(FILE* to) {
    std::fprintf(
        to,
        "usage: spanwright-demo [options]\n"
        "  --frames N         frames to draw per mode, 1..1000000 (default 120)\n"
        "  --save-every K     save every K-th frame and the last (default 40; 0: only the last)\n"
        "  --mode WxH         screen size from the mode table: 640x480, 800x600 or 1024x768\n"
        "                     (default 640x480)\n"
        "  --depth LIST       bits per pixel to run: 8, 16 or 8,16 (default 8,16)\n"
        "  --window           show the frames in a window (SDL2 display driver); a window\n"
        "                     takes the desktop's 16-bit pixels, 8-bit modes included\n"
        "  --driver NAME      display driver: auto, headless, sdl or ddraw (default\n"
        "                     headless; sdl with --window)\n"
        "  --out DIR          where frames and screenshots go (default ./frames)\n"
        "  --frame-rate       draw the library's frame-rate readout into the frames (their\n"
        "                     hashes then change from run to run)\n"
        "  --no-frame-rate    leave the readout off (the default: frames depend on nothing\n"
        "                     but the frame number, so their hashes repeat)\n"
        "  --no-screenshots   save PNG frames only\n"
        "  --hold S           keep the display open S seconds (0..3600) after the last\n"
        "                     frame; the file DIR/holding exists while it waits\n"
        "  --verbose          show the library's diagnostics on standard error\n"
        "  --help             this text\n");
}

// One line on standard error, after the program's name.
void report(const char* format, va_list args) {
    std::fputs("spanwright-demo: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
}

// Every bad argument is named with what would have been valid.
bool bad(const char* format, ...) __attribute__((format(printf, 1, 2)));
bool bad(const char* format, ...) {
    va_list args;
    va_start(args, format);
    report(format, args);
    va_end(args);
    std::fputs("(spanwright-demo --help lists the options)\n", stderr);
    return false;
}

bool parseInt(const char* text, int min, int max, int& out) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (!*text || *end || errno || v < min || v > max) return false;
    out = int(v);
    return true;
}

struct NumberOption {
    const char* name;
    int Options::*field;
    int min, max;
};
constexpr NumberOption numberOptions[] = {
    {"--frames", &Options::frames, 1, 1000000},
    {"--save-every", &Options::saveEvery, 0, 1000000},
    {"--hold", &Options::holdSeconds, 0, 3600},
};

// The library's mode table, enumerated to its end (which rewinds it).
std::vector<screenmode_tag> modeTable() {
    std::vector<screenmode_tag> modes(1);
    if (!screenGetFirstMode(&modes[0])) return {};
    screenmode_tag mode;
    while (screenGetNextMode(&mode))
        modes.push_back(mode);
    return modes;
}

// The mode table's entries as "640x480x8, ...", or its sizes as "640x480,
// ...", for messages.
std::string modeList(bool withDepth) {
    std::string list;
    for (const screenmode_tag& mode : modeTable()) {
        char text[48];
        if (withDepth)
            std::snprintf(text, sizeof text, "%dx%dx%d", mode.width, mode.height,
                          mode.bitsPerPixel);
        else
            std::snprintf(text, sizeof text, "%dx%d", mode.width, mode.height);
        if (list.find(text) == std::string::npos)
            list += (list.empty() ? "" : ", ") + std::string(text);
    }
    return list;
}

// bits 0: any depth.
bool findMode(int width, int height, int bits, screenmode_tag& out) {
    for (const screenmode_tag& mode : modeTable()) {
        if (mode.width == width && mode.height == height &&
            (bits == 0 || mode.bitsPerPixel == bits)) {
            out = mode;
            return true;
        }
    }
    return false;
}

bool parseDepths(const char* text, std::vector<int>& out) {
    out.clear();
    for (const char* p = text;;) {
        char* end = nullptr;
        long d = std::strtol(p, &end, 10);
        if (end == p || (d != 8 && d != 16) || (*end && *end != ',')) return false;
        out.push_back(int(d));
        if (!*end) return true;
        p = end + 1;
    }
}

bool parse(int argc, char** argv, Options& o) {
    screenmode_tag mode;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        const NumberOption* number = nullptr;
        for (const NumberOption& n : numberOptions)
            if (a == n.name) number = &n;
        bool takesValue =
            number || a == "--mode" || a == "--depth" || a == "--driver" || a == "--out";
        if (takesValue && i + 1 >= argc) return bad("%s needs a value", a.c_str());
        const char* v = takesValue ? argv[++i] : nullptr;
        if (a == "--help") {
            usage(stdout);
            std::exit(0);
        } else if (a == "--window") {
            o.window = true;
        } else if (a == "--frame-rate") {
            o.frameRate = true;
        } else if (a == "--no-frame-rate") {
            o.frameRate = false;
        } else if (a == "--no-screenshots") {
            o.screenshots = false;
        } else if (a == "--verbose") {
            o.verbose = true;
        } else if (number) {
            if (!parseInt(v, number->min, number->max, o.*number->field))
                return bad("%s %s: expected a whole number from %d to %d", number->name, v,
                           number->min, number->max);
        } else if (a == "--mode") {
            int used = 0;
            if (std::sscanf(v, "%dx%d%n", &o.width, &o.height, &used) != 2 || v[used] ||
                !findMode(o.width, o.height, 0, mode))
                return bad("--mode %s: expected a size of the mode table: %s", v,
                           modeList(false).c_str());
        } else if (a == "--depth") {
            if (!parseDepths(v, o.depths))
                return bad("--depth %s: expected 8, 16 or both as 8,16", v);
        } else if (a == "--driver") {
            o.driver = v;
            if (o.driver != "auto" && o.driver != "headless" && o.driver != "sdl" &&
                o.driver != "ddraw")
                return bad("--driver %s: expected auto, headless, sdl or ddraw", v);
        } else if (a == "--out") {
            if (!*v) return bad("--out needs a directory name");
            o.out = v;
        } else {
            return bad("unknown option %s", a.c_str());
        }
    }
    for (int bits : o.depths)
        if (!findMode(o.width, o.height, bits, mode))
            return bad("no %dx%dx%d mode; the mode table has %s", o.width, o.height, bits,
                       modeList(true).c_str());
    return true;
}

// The library's diagnostics (vesk's messages): shown as they come with
// --verbose; otherwise the last few are kept, to be shown as the reason
// when something fails.
struct Diagnostics {
    bool verbose = false;
    std::string recent;
};
Diagnostics diagnostics;

void onLibraryMessage(void*, int32_t, const char* text) {
    if (diagnostics.verbose) {
        std::fputs(text, stderr);
        return;
    }
    std::string& recent = diagnostics.recent;
    for (const char* p = text; *p; ++p)
        if (*p != '\n' || (!recent.empty() && recent.back() != '\n')) recent += *p;
    constexpr int keptLines = 4;
    size_t start = recent.size();
    for (int lines = 0; start > 0; --start)
        if (recent[start - 1] == '\n' && ++lines > keptLines) break;
    recent.erase(0, start);
}

// Reports a failure of the demo with the library's last messages.
bool failed(const char* format, ...) __attribute__((format(printf, 1, 2)));
bool failed(const char* format, ...) {
    va_list args;
    va_start(args, format);
    report(format, args);
    va_end(args);
    if (!diagnostics.recent.empty())
        std::fprintf(stderr, "the library's last messages:\n%s", diagnostics.recent.c_str());
    diagnostics.recent.clear();
    return false;
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
        failed("screenReadFrame failed");
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
    findMode(o.width, o.height, bits, mode);
    if (!screenBegin(&mode))
        return failed("screenBegin failed for %dx%dx%d", o.width, o.height, bits);
    bitmap_tag* back = screenGetBackBuffer();
    if (bits == 8 && back->pixelType != PIXEL_PAL8)
        std::printf("note: %dx%dx8 in a window draws %s frames: a window takes the desktop's "
                    "pixel type, and only a full-screen mode, which --window does not switch "
                    "to, shows 8-bit frames through the palette\n",
                    o.width, o.height, typeName(back->pixelType));
    bool ok = lockBitmap() && demo::sceneBeginMode(scene, back);
    unlockBitmap();
    if (!ok) failed("preparing the scene for %dx%dx%d failed", o.width, o.height, bits);
    auto start = std::chrono::steady_clock::now();
    double drawing = 0;
    for (int frame = 0; ok && frame < o.frames; ++frame) {
        if (!lockBitmap()) {
            ok = failed("lockBitmap failed");
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

// Whether files can be made in `dir`: a probe file is made and removed (the
// permission bits alone do not tell on every platform).
bool writable(const std::string& dir) {
    std::string probe = dir + "/.spanwright-demo-probe";
    std::FILE* f = std::fopen(probe.c_str(), "wb");
    if (!f) return false;
    std::fclose(f);
    std::remove(probe.c_str());
    return true;
}

// The output directory, made if missing; its absolute path also becomes
// the library's home directory, where screenshots go (forward slashes on
// every platform: the library appends "/name").
bool prepareOut(Options& o) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::exists(o.out, error) && !fs::is_directory(o.out, error))
        return failed("--out %s: exists and is not a directory", o.out.c_str());
    fs::create_directory(o.out, error);
    if (error)
        return failed("--out %s: cannot make the directory: %s", o.out.c_str(),
                      error.message().c_str());
    std::string resolved = fs::canonical(o.out, error).generic_string();
    if (error || !writable(resolved))
        return failed("--out %s: not a directory this user can write to", o.out.c_str());
    if (resolved.size() + std::strlen("/zvss00.tga") >= sizeof homedir)
        return failed("--out %s: the path is longer than the %d characters the library's home "
                      "directory holds",
                      resolved.c_str(), int(sizeof homedir - std::strlen("/zvss00.tga") - 1));
    o.out = resolved;
    std::string assets = o.out + "/assets";
    fs::create_directory(assets, error);
    if (error) return failed("cannot make %s: %s", assets.c_str(), error.message().c_str());
    std::strcpy(homedir, resolved.c_str());
    return true;
}

bool openDisplay(const Options& o) {
    std::string driver = o.driver;
    if (driver.empty()) driver = o.window ? "sdl" : "headless";
    if (!rasterSetDisplayDriver(driver.c_str()))
        return failed("display driver %s: not in this build (sdl needs SDL2 found when the build "
                      "was configured, ddraw a Windows build)",
                      driver.c_str());
    SetDedicatedMode(o.window ? 1 : 0);
    ShowFrameRate(o.frameRate ? 1 : 0);
    RasterBeginParams params{};
    params.className = "spanwright demo";
    if (rasterBegin(rasterVersion(), 1, &params)) return true;
    if (o.window)
        return failed("--window needs a display, and the %s display driver found none usable",
                      driver.c_str());
    return failed("rasterBegin failed with the %s display driver", driver.c_str());
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) return 2;
    diagnostics.verbose = o.verbose;
    veskSetMessageHook(onLibraryMessage, nullptr);
    if (!prepareOut(o)) return 2;
    if (!openDisplay(o)) return 1;
    demo::Scene scene;
    bool ok = demo::sceneLoad(scene, o.out + "/assets");
    if (!ok) failed("building the scene's assets in %s/assets failed", o.out.c_str());
    for (int bits : o.depths)
        if (ok) ok = runMode(o, scene, bits);
    demo::sceneFree(scene);
    rasterEnd();
    if (ok) std::printf("frames written to %s\n", o.out.c_str());
    return ok ? 0 : 1;
}
