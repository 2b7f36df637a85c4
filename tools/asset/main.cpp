// spanwright-asset: inspects and converts the engine's image files for the
// people who make content (see usageText).
#include <spanwright/spanwright.h>

#include "bitmap/pixeltype.h"
#include "imagefile/imagefile.h"
#include "imagefile/tga.h"
#include "png_io.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

namespace {

const char usageText[] =
    "usage:\n"
    "  spanwright-asset info FILE\n"
    "      format, size, pixel type, palette or colormap, mip levels\n"
    "  spanwright-asset convert IN OUT [--565] [--tga-bits 15|16|24|32] [--rle]\n"
    "                                  [--palette FILE] [--level N]\n"
    "      between PCX, TGA, PNG and the native bitmap file; --level N takes\n"
    "      level N (0 the largest) of a mip file; --palette FILE gives 8-bit\n"
    "      pictures (and 4-bit ones, through their colormap) the palette of FILE\n"
    "  spanwright-asset mip IN OUT --levels N [--subset LIST]\n"
    "      builds a mip file from an 8-bit picture; LIST is palette indexes and\n"
    "      ranges the box filter may use and average, such as 1-255\n"
    "  spanwright-asset palette IN OUT\n"
    "      writes the palette of IN (PCX, PNG, native bitmap, mip or palette file)\n"
    "      as a native palette file (one \"PLET\" chunk)\n"
    "\n"
    "Input formats go by the file's contents. OUT is written by its name:\n"
    "as .pcx (8-bit with palette), .tga (default 16 bits,\n"
    "--rle for run-length), .png, or else as a native bitmap file. True-colour\n"
    "PNGs become PIXEL_ARGB1555 (alpha >= 128 opaque), or PIXEL_RGB565 with --565.\n"
    "Every file this tool writes, it reads.\n"
    "\n"
    "exit status: 0 success, 1 the files could not be read, converted or written,\n"
    "2 wrong usage\n";

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;

std::string typeName(uint8_t type) {
    const PixelTypeInfo* info = pixelTypeInfo(type);
    return info ? std::string("PIXEL_") + info->name : "unknown";
}

// The library's own diagnostics, kept to explain a failure.
std::vector<std::string> libraryMessages;
void keepMessage(void*, int32_t, const char* text) {
    libraryMessages.emplace_back(text);
}

int fail(const std::string& what) {
    std::fprintf(stderr, "spanwright-asset: %s\n", what.c_str());
    for (const std::string& m : libraryMessages)
        std::fprintf(stderr, "  %s%s", m.c_str(), m.empty() || m.back() != '\n' ? "\n" : "");
    return exitFailure;
}

int usage(const std::string& what) {
    std::fprintf(stderr, "spanwright-asset: %s\n\n%s", what.c_str(), usageText);
    return exitUsage;
}

bool endsWith(const std::string& s, const char* suffix) {
    size_t n = std::strlen(suffix);
    return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, suffix) == 0;
}

// An open library file, closed when the object dies.
struct File {
    file_tag* f = nullptr;
    ~File() { fileClose(f); }
};

struct Options {
    TrueColor trueColor = TrueColor::argb1555;
    int tgaBits = 16;
    bool rle = false;
    long levels = -1;
    long level = -1;
    const uint32_t* subset = nullptr;
    std::string palette;
};

uint32_t peekId(file_tag* f) {
    uint32_t id = 0, tag;
    int32_t size;
    brixPeekChunkHeader(&id, &tag, &size, f);
    return id;
}

// A copy of level `level` of the mip file `f`, with the chain's colormap
// when the level's type takes one.
bitmap_tag* readMipLevel(const std::string& path, file_tag* f, long level, std::string& error) {
    mip_tag* mip;
    if (!mipLoad(&mip, f)) {
        error = path + ": not a picture this tool reads (PCX, TGA, PNG, native bitmap or mip)";
        return nullptr;
    }
    bitmap_tag* bm = nullptr;
    const long levels = long(mip->levels);
    if (level < 0 || level >= levels) {
        error = path + " is a mip file of " + std::to_string(levels) +
                " levels: choose one with --level 0 to " + std::to_string(levels - 1);
    } else {
        const bitmap_tag& l = mip->level[level];
        const bool colormap = isIndexed4(l.pixelType) && mip->colormap;
        if (bitmapAlloc(&bm, l.pixelType, l.width, l.height, colormap)) {
            bitmapCopy(bm, 0, 0, &mip->level[level]);
            if (colormap) std::memcpy(bm->map, mip->colormap, 16);
        } else {
            error = "out of memory";
        }
    }
    mipFree(mip);
    return bm;
}

bool readPaletteFile(const std::string& path, uint32_t palette[256], std::string& error) {
    if (isPng(path)) return pngReadPalette(path, palette, error);
    File f;
    if (!fileOpen(&f.f, path.c_str())) {
        error = "cannot open " + path;
        return false;
    }
    if (paletteRead(palette, f.f)) return true;
    error = path + ": no palette found";
    return false;
}

// `bm` as an 8-bit picture with the palette of `path` (4-bit values go
// through their colormap). Null, and `bm` freed, on failure.
bitmap_tag* withPalette(bitmap_tag* bm, const std::string& path, std::string& error) {
    uint32_t palette[256];
    bitmap_tag* out = nullptr;
    const bool four = isIndexed4(bm->pixelType);
    if (!isIndexed8(bm->pixelType) && !(four && bm->map)) {
        error = "--palette serves 8-bit pictures and 4-bit ones with a colormap; this is " +
                typeName(bm->pixelType);
    } else if (readPaletteFile(path, palette, error)) {
        if (!bitmapAlloc(&out, PIXEL_PAL8, bm->width, bm->height, true)) {
            error = "out of memory";
        } else {
            const auto* colormap = static_cast<const uint8_t*>(bm->map);
            for (int32_t y = 0; y < bm->height; ++y)
                for (int32_t x = 0; x < bm->width; ++x) {
                    uint8_t v = bm->pixels[int64_t(y) * bm->rowBytes + x];
                    out->pixels[int64_t(y) * out->rowBytes + x] = four ? colormap[v & 15] : v;
                }
            std::memcpy(out->map, palette, sizeof palette);
        }
    }
    bitmapFree(bm);
    return out;
}

// Any picture as a bitmap: PNG by its signature, otherwise the image
// format whose content rule takes the file, or a level of a mip file.
bitmap_tag* readPicture(const std::string& path, const Options& options, std::string& error) {
    bitmap_tag* bm = nullptr;
    if (isPng(path)) {
        bm = pngRead(path, options.trueColor, error);
    } else {
        File in;
        if (!fileOpen(&in.f, path.c_str())) {
            error = "cannot open " + path;
            return nullptr;
        }
        const ImageFormat* format = imageFormatByContent(in.f);
        if (!format) {
            bm = readMipLevel(path, in.f, options.level, error);
        } else if (!format->load(&bm, in.f, {"bitmapLoad", PixelKind::Palette8, false})) {
            error = path + ": the library cannot load this " + format->name + " file";
            return nullptr;
        } else if (options.level >= 0) {
            error =
                "--level takes a level of a mip file; " + path + " is a " + format->name + " file";
        } else if (format->paletteOrigin) {
            libfileSeekFromStart(in.f, 0);
            PaletteOrigin origin = format->paletteOrigin(in.f);
            if (origin.fallback && options.palette.empty())
                std::fprintf(stderr,
                             "spanwright-asset: warning: %s has no palette of its own; its "
                             "colours come from its %s\n",
                             path.c_str(), origin.text);
        }
        if (bm && !error.empty()) {
            bitmapFree(bm);
            return nullptr;
        }
    }
    if (bm && !options.palette.empty()) bm = withPalette(bm, options.palette, error);
    return bm;
}

int describeMip(const std::string& path, file_tag* f, uint32_t id) {
    mip_tag* mip;
    if (!mipLoad(&mip, f)) return fail(path + ": not a file this tool reads");
    const bitmap_tag& l0 = mip->level[0];
    std::printf("format: mip file (%s)\nsize: %d x %d\npixel type: %s (%u)\ncolormap: %s\n"
                "mip levels: %u\naverage colour: %u\nflag: %u\n",
                id == VESK_ID('M', 'I', 'P', ' ')   ? "\"MIP \""
                : id == VESK_ID(' ', 'M', 'I', 'P') ? "\" MIP\", OMT types"
                                                    : "old style",
                l0.width, l0.height, typeName(l0.pixelType).c_str(), unsigned(l0.pixelType),
                mip->colormap ? "yes" : "no", mip->levels, mip->color, unsigned(mip->flag));
    mipFree(mip);
    return 0;
}

int describePicture(const std::string& path, file_tag* f, const ImageFormat& format) {
    char variant[128];
    if (!format.describe(f, variant, sizeof variant)) return fail(path + ": unreadable header");
    std::printf("format: %s\nvariant: %s\n", format.name, variant);
    std::fflush(stdout);
    libfileSeekFromStart(f, 0);
    const char* origin = format.paletteOrigin ? format.paletteOrigin(f).text : nullptr;
    libfileSeekFromStart(f, 0);
    bitmap_tag* bm;
    if (!format.load(&bm, f, {"bitmapLoad", PixelKind::Palette8, false}))
        return fail(path + ": the library cannot load this variant");
    const bool indexed4 = isIndexed4(bm->pixelType), indexed8 = isIndexed8(bm->pixelType);
    std::printf("size: %d x %d\npixel type: %s (%u)\npalette: %s\ncolormap: %s\n", bm->width,
                bm->height, typeName(bm->pixelType).c_str(), unsigned(bm->pixelType),
                bm->map && indexed8 ? (origin ? origin : "yes") : "no",
                bm->map && indexed4 ? "yes" : "no");
    bitmapFree(bm);
    return 0;
}

int info(const std::string& path) {
    if (isPng(path)) {
        std::string text, error;
        if (!pngDescribe(path, text, error)) return fail(error);
        std::fputs(text.c_str(), stdout);
        return 0;
    }
    File in;
    if (!fileOpen(&in.f, path.c_str())) return fail("cannot open " + path);
    if (const ImageFormat* format = imageFormatByContent(in.f))
        return describePicture(path, in.f, *format);
    switch (uint32_t id = peekId(in.f)) {
    case VESK_ID('P', 'L', 'E', 'T'):
        std::printf("format: palette chunk (PLET)\npalette: yes\n");
        return 0;
    case VESK_ID('C', 'M', 'A', 'P'):
        std::printf("format: colormap chunk (CMAP)\ncolormap: yes\n");
        return 0;
    default: return describeMip(path, in.f, id); // the old-style mip has no marker
    }
}

int convert(const std::string& in, const std::string& out, const Options& options) {
    std::string error;
    bitmap_tag* bm = readPicture(in, options, error);
    if (!bm) return fail(error);
    const bool withPalette = isIndexed8(bm->pixelType) && bm->map;
    bool ok = false;
    auto refuse = [&](const std::string& what) {
        std::string type = typeName(bm->pixelType);
        bitmapFree(bm);
        return fail(what + in + " is " + type);
    };
    if (endsWith(out, ".png")) {
        if (!isKind(bm->pixelType, PixelKind::Direct) && !withPalette)
            return refuse("PNG output needs colours (give --palette FILE): ");
        ok = pngWrite(out, bm, error);
        bitmapFree(bm);
        return ok ? 0 : fail(error);
    }
    if (endsWith(out, ".pcx") && !withPalette)
        return refuse("PCX holds 8-bit pictures with a palette; ");
    if (endsWith(out, ".tga") && (!tgaWritesType(bm->pixelType) || isIndexed4(bm->pixelType) ||
                                  (isIndexed8(bm->pixelType) && !bm->map)))
        return refuse("TGA output takes 8-bit pictures with a palette and 16- or 32-bit colour; ");
    File f;
    if (!fileCreate(&f.f, out.c_str())) {
        bitmapFree(bm);
        return fail("cannot create " + out);
    }
    if (endsWith(out, ".pcx"))
        ok = bitmapWritePcx(f.f, bm, static_cast<const uint32_t*>(bm->map));
    else if (endsWith(out, ".tga"))
        ok = tgaWriteBitmap(bm, static_cast<const uint32_t*>(bm->map), f.f, options.rle, false,
                            options.tgaBits);
    else
        ok = bitmapWrite(f.f, bm);
    bitmapFree(bm);
    return ok ? 0 : fail("cannot write " + out);
}

// "1-255,300" style lists of palette indexes into a subset mask.
bool parseSubset(const std::string& list, uint32_t mask[8]) {
    std::memset(mask, 0, 8 * sizeof mask[0]);
    const char* p = list.c_str();
    while (*p) {
        char* end;
        long first = std::strtol(p, &end, 10);
        if (end == p || first < 0 || first > 255) return false;
        long last = first;
        p = end;
        if (*p == '-') {
            last = std::strtol(p + 1, &end, 10);
            if (end == p + 1 || last < first || last > 255) return false;
            p = end;
        }
        for (long v = first; v <= last; ++v)
            mask[v >> 5] |= 1u << (v & 31);
        if (*p == ',')
            ++p;
        else if (*p)
            return false;
    }
    return true;
}

// The levels mipCreate makes of a picture: each side halves down to 8
// pixels (after rounding up to a power of two).
long mipLevelsOf(const bitmap_tag* bm) {
    auto log2Ceil = [](int32_t n) {
        long l = 0;
        while ((int64_t(1) << l) < n)
            ++l;
        return l;
    };
    return std::min(log2Ceil(bm->width), log2Ceil(bm->height)) - 2;
}

int makeMip(const std::string& in, const std::string& out, const Options& options) {
    std::string error;
    bitmap_tag* bm = readPicture(in, options, error);
    if (!bm) return fail(error);
    if (long most = mipLevelsOf(bm); options.levels > most) {
        std::string size = std::to_string(bm->width) + " x " + std::to_string(bm->height);
        bitmapFree(bm);
        return fail(in + " is " + size + ": its mip chain can have " +
                    (most < 1 ? "no levels" : "at most " + std::to_string(most) + " levels") +
                    " (each level at least 8 pixels a side); asked for " +
                    std::to_string(options.levels));
    }
    if (!(hasMap(bm->pixelType) && bm->map)) {
        std::string type = typeName(bm->pixelType);
        bitmapFree(bm);
        return fail("mip chains are built from indexed pictures with their palette or "
                    "colormap; " +
                    in + " is " + type);
    }
    mip_tag* mip;
    bool made = mipCreateFromSubset(&mip, bm, uint32_t(options.levels), 0, options.subset);
    bitmapFree(bm);
    if (!made) return fail("cannot build a mip chain from " + in);
    File f;
    bool ok = fileCreate(&f.f, out.c_str()) && mipWrite(f.f, mip, nullptr, 0);
    uint32_t count = mip->levels;
    mipFree(mip);
    if (!ok) return fail("cannot write " + out);
    std::printf("%s: %u levels\n", out.c_str(), count);
    return 0;
}

int extractPalette(const std::string& in, const std::string& out) {
    uint32_t palette[256];
    std::string error;
    if (isPng(in)) {
        if (!pngReadPalette(in, palette, error)) return fail(error);
    } else {
        File f;
        if (!fileOpen(&f.f, in.c_str())) return fail("cannot open " + in);
        if (!paletteRead(palette, f.f)) return fail(in + ": no palette found");
    }
    File f;
    if (!fileCreate(&f.f, out.c_str()) || !paletteWrite(f.f, palette))
        return fail("cannot write " + out);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    veskSetMessageHook(keepMessage, nullptr);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return usage("no command given");
    if (args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
        std::fputs(usageText, stdout);
        return 0;
    }
    const std::string command = args[0];
    std::vector<std::string> files;
    Options options;
    long& levels = options.levels;
    uint32_t subset[8];
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string* {
            return i + 1 < args.size() ? &args[++i] : nullptr;
        };
        if (a == "--565") {
            options.trueColor = TrueColor::rgb565;
        } else if (a == "--rle") {
            options.rle = true;
        } else if (a == "--tga-bits") {
            const std::string* v = value();
            int& bits = options.tgaBits;
            bits = v ? std::atoi(v->c_str()) : 0;
            if (bits != 15 && bits != 16 && bits != 24 && bits != 32)
                return usage("--tga-bits takes 15, 16, 24 or 32");
        } else if (a == "--palette") {
            const std::string* v = value();
            if (!v) return usage("--palette takes a FILE");
            options.palette = *v;
        } else if (a == "--level") {
            const std::string* v = value();
            char* end = nullptr;
            options.level = v ? std::strtol(v->c_str(), &end, 10) : -1;
            if (!v || *end || options.level < 0 || options.level > 31)
                return usage("--level takes a number 0 to 31");
        } else if (a == "--levels") {
            const std::string* v = value();
            char* end = nullptr;
            levels = v ? std::strtol(v->c_str(), &end, 10) : -1;
            if (!v || *end || levels < 1 || levels > 16)
                return usage("--levels takes a number 1 to 16");
        } else if (a == "--subset") {
            const std::string* v = value();
            if (!v || !parseSubset(*v, subset))
                return usage("--subset takes palette indexes 0-255 and ranges, such as 1-255,300");
            options.subset = subset;
        } else if (a.size() > 1 && a[0] == '-') {
            return usage("unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (command == "info") {
        if (files.size() != 1) return usage("info takes one FILE");
        return info(files[0]);
    }
    if (command == "convert") {
        if (files.size() != 2) return usage("convert takes IN and OUT");
        return convert(files[0], files[1], options);
    }
    if (command == "mip") {
        if (files.size() != 2) return usage("mip takes IN and OUT");
        if (levels < 0) return usage("mip needs --levels N");
        return makeMip(files[0], files[1], options);
    }
    if (command == "palette") {
        if (files.size() != 2) return usage("palette takes IN and OUT");
        return extractPalette(files[0], files[1]);
    }
    return usage("unknown command " + command);
}
