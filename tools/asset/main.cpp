// spanwright-asset: inspects and converts the engine's image files for the
// people who make content (see usageText).
#include <spanwright/spanwright.h>

#include "bitmap/pixeltype.h"
#include "imagefile/imagefile.h"
#include "imagefile/tga.h"
#include "png_io.h"

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
    "      between PCX, TGA, PNG and the native bitmap file\n"
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

// Any picture as a bitmap: PNG by its signature, otherwise the image
// format whose content rule takes the file.
bitmap_tag* readPicture(const std::string& path, TrueColor trueColor, std::string& error) {
    if (isPng(path)) return pngRead(path, trueColor, error);
    File in;
    if (!fileOpen(&in.f, path.c_str())) {
        error = "cannot open " + path;
        return nullptr;
    }
    const ImageFormat* format = imageFormatByContent(in.f);
    bitmap_tag* bm;
    if (!format || !format->load(&bm, in.f, {"bitmapLoad", PixelKind::Palette8, false})) {
        error = path + ": not a picture this tool reads (PCX, TGA, PNG or native bitmap)";
        return nullptr;
    }
    return bm;
}

uint32_t peekId(file_tag* f) {
    uint32_t id = 0, tag;
    int32_t size;
    brixPeekChunkHeader(&id, &tag, &size, f);
    return id;
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
    libfileSeekFromStart(f, 0);
    bitmap_tag* bm;
    if (!format.load(&bm, f, {"bitmapLoad", PixelKind::Palette8, false}))
        return fail(path + ": not a file this tool reads");
    const bool indexed4 = isIndexed4(bm->pixelType), indexed8 = isIndexed8(bm->pixelType);
    std::printf("size: %d x %d\npixel type: %s (%u)\npalette: %s\ncolormap: %s\n", bm->width,
                bm->height, typeName(bm->pixelType).c_str(), unsigned(bm->pixelType),
                bm->map && indexed8 ? "yes" : "no", bm->map && indexed4 ? "yes" : "no");
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

int convert(const std::string& in, const std::string& out, TrueColor trueColor, int tgaBits,
            bool rle) {
    std::string error;
    bitmap_tag* bm = readPicture(in, trueColor, error);
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
            return refuse("PNG output needs colours: ");
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
        ok = tgaWriteBitmap(bm, static_cast<const uint32_t*>(bm->map), f.f, rle, false, tgaBits);
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

int makeMip(const std::string& in, const std::string& out, long levels, const uint32_t* subset) {
    std::string error;
    bitmap_tag* bm = readPicture(in, TrueColor::argb1555, error);
    if (!bm) return fail(error);
    if (!(hasMap(bm->pixelType) && bm->map)) {
        std::string type = typeName(bm->pixelType);
        bitmapFree(bm);
        return fail("mip chains are built from indexed pictures with their palette or "
                    "colormap; " +
                    in + " is " + type);
    }
    mip_tag* mip;
    bool made = mipCreateFromSubset(&mip, bm, uint32_t(levels), 0, subset);
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
    TrueColor trueColor = TrueColor::argb1555;
    int tgaBits = 16;
    bool rle = false;
    long levels = -1;
    bool haveSubset = false;
    uint32_t subset[8];
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string* {
            return i + 1 < args.size() ? &args[++i] : nullptr;
        };
        if (a == "--565") {
            trueColor = TrueColor::rgb565;
        } else if (a == "--rle") {
            rle = true;
        } else if (a == "--tga-bits") {
            const std::string* v = value();
            tgaBits = v ? std::atoi(v->c_str()) : 0;
            if (tgaBits != 15 && tgaBits != 16 && tgaBits != 24 && tgaBits != 32)
                return usage("--tga-bits takes 15, 16, 24 or 32");
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
            haveSubset = true;
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
        return convert(files[0], files[1], trueColor, tgaBits, rle);
    }
    if (command == "mip") {
        if (files.size() != 2) return usage("mip takes IN and OUT");
        if (levels < 0) return usage("mip needs --levels N");
        return makeMip(files[0], files[1], levels, haveSubset ? subset : nullptr);
    }
    if (command == "palette") {
        if (files.size() != 2) return usage("palette takes IN and OUT");
        return extractPalette(files[0], files[1]);
    }
    return usage("unknown command " + command);
}
