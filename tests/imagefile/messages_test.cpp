// The failure messages of the image-file module: one row per distinct
// message, with what the call must print and no block left behind.
#include "filetest.h"
#include "imagefile/imagefile.h"
#include "imagefile/pcx.h"
#include "imagefile/tga.h"

using namespace swtest;

namespace {

using Call = std::function<bool(file_tag*)>;

const Call load = [](file_tag* f) { return tryMake(bitmapLoadFile, bitmapFree, f, 0); };
const Call load4 = [](file_tag* f) { return tryMake(bitmapLoad4, bitmapFree, f, 0); };
const Call loadCached = [](file_tag* f) { return tryMake(bitmapLoad, bitmapUnload, f, 0); };
const Call loadPalette = [](file_tag* f) { return tryMake(paletteLoad, paletteFree, f); };
const Call loadColormap = [](file_tag* f) { return tryMake(colormapLoad, colormapFree, f); };
const Call readInto = [](file_tag* f) {
    return bitmapRead(Owned(randomBitmap(PIXEL_PAL8, 4, 4, 1)), f) == 1;
};

// The TGA reader straight on a file, into a side x side bitmap; without
// `knownVariant` the reader has lost its variant.
Call tgaRead(int32_t side, bool knownVariant = true) {
    return [=](file_tag* f) {
        TgaReader reader;
        EXPECT_TRUE(tgaSetup(&reader, f));
        if (!knownVariant) reader.variant = nullptr;
        return tgaReadBitmap(Owned(randomBitmap(PIXEL_ARGB1555, side, side, 1)), &reader);
    };
}

} // namespace

TEST(ImageFileMessages, EveryFailureSaysWhatFailed) {
    const Bytes plet(1024, 0), cmap(64, 0);
    const Bytes head = chunk("BMHD", bmhd(PIXEL_PAL8, 2, 2, 4)), data = chunk("DATA", Bytes(8));
    const auto bmap = [](const std::vector<Bytes>& chunks) { return container("BMAP", chunks); };
    Owned pal8{randomBitmapWithMap(PIXEL_PAL8, 3, 3, 1)};
    bitmap_tag unusable = *pal8;
    unusable.rowBytes = 2;
    const auto* pal = static_cast<uint32_t*>(pal8->map);
    const uint8_t colormap[16] = {};
    const struct {
        Bytes file;
        Call call;
        const char* message;
        const char* name = "f";
    } cases[] = {
        // The native file; the hostile sizes are refused before any use.
        {bmap({chunk("DATA", Bytes(4))}), load, "DATA chunk before BMHD\n"},
        {bmap({}), load, "No required BMHD chunk in file in bitmapLoad()\n"},
        {bmap({chunk("PLET", Bytes(1000)), head}), load, "PLET chunk incorrect size\n"},
        {bmap({chunk("PLET", plet), head}), load, "PLET chunk before BMHD\n"},
        {bmap({chunk("CMAP", cmap), head}), load, "CMAP chunk before BMHD\n"},
        {bmap({chunk("BMHD", bmhd(4, 2, 2, 4)), chunk("PLET", plet)}), load,
         "PLET chunk in non-8-bit bitmap\n"},
        {bmap({head, chunk("CMAP", cmap)}), load, "CMAP chunk in non-4-bit bitmap\n"},
        {bmap({chunk("BMHD", bmhd(0, 2, 2, 4)), chunk("CMAP", Bytes(16))}), load,
         "Invalid CMAP size in colormapRead()\n"},
        {bmap({chunk("BMHD", Bytes(13))}), load, "Invalid BMHD size in readBMHD()\n"},
        {bmap({chunk("BMHD", bmhd(2, 2, 2, 4, 1)), data}), load, "Invalid compression type\n"},
        {bmap({head, chunk("DATA", Bytes(7))}), load,
         "Size and bitmap size don't match in readDATA()\n"},
        {bmap({chunk("BMHD", bmhd(2, 2, 2, 400)), chunk("DATA", Bytes(800))}), load,
         "DATA chunk larger than the bitmap in readDATA()\n"},
        {bmap({head, head}), load, "More than one BMHD chunk in readBMHD()\n"},
        {bmap({chunk("BMHD", bmhd(2, 40000, 2, 40000))}), load,
         "Invalid image size 40000 x 2 in readBMHD()\n"},
        {bmap({chunk("BMHD", bmhd(9, 1000, 1000, 4000))}), load,
         "BMHD describes more data than the file holds in readBMHD()\n"},
        {bmap({chunk("BMHD", bmhd(11, 2, 2, 0))}), load, "Invalid pixel type 11 in readBMHD()\n"},
        {chunk("PLET", plet), load, "Invalid file type in bitmapLoad()\n"},
        {{1, 2, 3}, load, "brixPeekChunkHeader() failed in bitmapLoad()\n"},
        {chunk("BMAP", head, 46), load, "brixParseContainer() failed in bitmapLoad()\n"},
        {bmap({head, data}), [](file_tag* f) { return bitmapRead(nullptr, f) == 1; },
         "Missing bitmap in readDATA()\n"},
        {bmap({head, data}),
         [](file_tag* f) {
             bitmap_tag empty{};
             return bitmapRead(&empty, f) == 1;
         },
         "Missing bitmap data in readDATA()\n"},
        // Palettes and colormaps.
        {chunk("PLET", Bytes(100)), loadPalette, "Invalid PLET size in readPLET()\n"},
        {chunk("DATA", Bytes(4)), loadPalette, "Invalid file type in paletteRead()\n"},
        {bmap({chunk("PLET", Bytes(2000))}), loadPalette,
         "brixParseContainer() failed in paletteRead()\n"},
        {chunk("PLET", Bytes(88), 1024), loadPalette, "libfileReadExact() failed in readPLET()\n"},
        {{}, loadPalette, "libfileReadInt8() failed in pcxFileIsPcx()\n"},
        {chunk("PLET", cmap), loadColormap, "Invalid type in colormapRead()\n"},
        {chunk("CMAP", Bytes(10), 64), loadColormap,
         "libfileReadExact() failed in colormapRead()\n"},
        {{1}, loadColormap, "brixReadChunkHeader() failed in colormapRead()\n"},
        // PCX.
        {pcxBytes(2, 2, 2, Bytes(8)), load, "Bad encoding in pcxReadBitmap()\n"},
        {pcxBytes(2, 2, 1, Bytes(8), true, 8, 2), load,
         "PCX with 2 planes of 8 bits is not supported in bitmapLoad()\n"},
        {{10, 5, 1}, load, "libfileReadExact() failed in pcxSetup()\n"},
        {pcxBytes(4, 1, 1, {1, 2, 0xC2}, false), load, "Unexpected end of file in pcxrunGetCh()\n"},
        {pcxBytes(2, 1, 1, {1, 2}, false), load, "pcxReadPalette() failed in bitmapLoad()\n"},
        {pcxBytes(-5, 1, 1, Bytes(8)), load, "Invalid image size -5 x 1 in bitmapLoad()\n"},
        {pcxBytes(16000, 16000, 1, Bytes(10)), load,
         "PCX data too short for a 16000 x 16000 image in bitmapLoad()\n"},
        {pcxBytes(4, 1, 0, {1, 2, 3}, false), readInto,
         "pcxrunGetCh() failed in pcxReadBitmap()\n"},
        {pcxBytes(8, 8, 1, {0xFF, 1, 0xC1, 1}), readInto,
         "PCX image larger than the bitmap in pcxReadBitmap()\n"},
        {pcxBytes(2, 2, 1, Bytes(8), true, 2, 2), readInto,
         "PCX with 2 planes of 2 bits is not supported in pcxReadBitmap()\n"},
        {bmap({}), load4, "Invalid file type in bitmapLoad4()\n"},
        {{1, 2, 3}, loadCached, "Couldn't load bitmap.\n"},
        {Bytes(128, 7),
         [](file_tag* f) {
             PcxReader reader;
             return pcxSetup(&reader, f);
         },
         "Not a PCX file in pcxSetup()\n"},
        // TGA, by its name.
        {tgaBytes(2, 2, 32, 16), load, "TGA image type 32 is not supported in bitmapLoad()\n",
         "d.tga"},
        {tgaBytes(2, 2, 11, 16), load,
         "TGA image type 11 with 16 bits per pixel is not supported in bitmapLoad()\n", "d.tga"},
        {tgaBytes(2, 2, 1, 8), load,
         "TGA image type 1 without a colour map is not supported in bitmapLoad()\n", "d.tga"},
        {tgaBytes(2, 2, 9, 8, {}, 1, 8), load,
         "TGA colour map of 8-bit entries is not supported in bitmapLoad()\n", "d.tga"},
        {tgaBytes(4, 4, 2, 16, Bytes(30)), load,
         "TGA data too short for a 4 x 4 image in bitmapLoad()\n", "s.tga"},
        {tgaBytes(100, 1, 10, 16, {0x7F, 1, 0}), load,
         "TGA run-length data ends early in tgaReadBitmap.", "r.tga"},
        {tgaBytes(4, 4, 2, 16, {1, 2, 3}), tgaRead(4),
         "couldn't read image data in tgaReadBitmap."},
        {tgaBytes(2, 2, 3, 8, Bytes(8)), tgaRead(2, false), "Unknown TGA image type."},
        {tgaBytes(3, 3, 2, 16, Bytes(18)), tgaRead(2),
         "Bitmap too small for the TGA image in tgaReadBitmap."},
        // Writers on a file that cannot be written, or of a bitmap whose
        // rows are shorter than its pixels.
        {{},
         [&](auto f) { return bitmapWrite(f, pal8); },
         "brixStartChunk() failed in bitmapWrite()\n"},
        {{},
         [&](auto f) { return paletteWrite(f, pal); },
         "brixWriteChunk() failed in paletteWrite()\n"},
        {{},
         [&](auto f) { return colormapWrite(f, colormap); },
         "brixWriteChunk() failed in colormapWrite()\n"},
        {{}, [&](auto f) { return bitmapWritePcx(f, pal8, pal); }, "Unable to write pcx header\n"},
        {{},
         [&](auto f) {
             return bitmapWrite(f, &unusable) || bitmapWritePcx(f, &unusable, pal) ||
                    tgaWriteBitmap(&unusable, nullptr, f, false, false, 16);
         },
         "Missing bitmap in bitmapWrite()\n"},
        {{},
         [&](auto f) { return tgaWriteBitmap(pal8, nullptr, f, true, false, 16); },
         "fileWrite() failed in tgaWriteBitmap."},
    };
    for (const auto& c : cases) {
        BytesFile f(c.file, c.name);
        expectFailure([&] { return c.call(f); }, c.message, true);
    }
}

// The loaders release whatever they made when an allocation fails, and
// say which one failed.
TEST(ImageFileMessages, CleanOnEveryAllocationFailure) {
    Owned pal8{randomBitmapWithMap(PIXEL_PAL8, 9, 5, 1)},
        cmap4{randomBitmapWithMap(PIXEL_CMAP4_KEY, 9, 5, 2)},
        argb{randomBitmap(PIXEL_ARGB1555, 9, 4, 3)}, rgba{randomBitmap(PIXEL_ARGB4444, 9, 5, 4)};
    auto native = [](bitmap_tag* bm) {
        return written([=](file_tag* f) { return bitmapWrite(f, bm); });
    };
    auto tgaOf = [&](bool compress) {
        return written(
            [&](file_tag* f) { return tgaWriteBitmap(argb, nullptr, f, compress, false, 16); });
    };
    const Bytes pcxFile = written(
        [&](file_tag* f) { return bitmapWritePcx(f, pal8, static_cast<uint32_t*>(pal8->map)); });
    const struct {
        Bytes file;
        Call call;
        int allocations;
        const char* message;
        const char* name = "f";
    } cases[] = {
        {native(pal8), load, 3, "paletteAlloc() failed in readPLET()\n"},
        {native(cmap4), load, 3, "colormapAlloc() failed in readCMAP()\n"},
        {native(rgba), load, 2, "bitmapAlloc() failed in readBMHD()\n"},
        {pcxFile, load, 4, "memAlloc() failed in pcxReadBitmap()\n"},
        {pcxFile, load4, 3, "bitmapAlloc() failed in bitmapLoad4()\n"},
        {tgaOf(false), load, 3, "couldn't allocate temporary storage in tgaReadBitmap.", "r.tga"},
        {tgaOf(true), load, 3, "Couldn't allocate memory for temp data in tgaReadBitmap.", "c.tga"},
        {tgaBytes(2, 2, 1, 8, {1, 2, 3, 0, 0, 0, 0, 1, 1, 0}, 1, 24, 2), load, 4,
         "bitmapAlloc() failed in bitmapLoad()\n", "m.tga"},
        {pcxBytes(2, 1, 0, Bytes(6, 9), false, 8, 3), load, 3,
         "memAlloc() failed in pcxReadBitmap()\n"},
        {chunk("PLET", Bytes(1024, 1)), loadPalette, 1, "paletteAlloc() failed in paletteLoad()\n"},
        {chunk("CMAP", Bytes(64, 2)), loadColormap, 1, "memAlloc() failed in colormapLoad()\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        BytesFile f(c.file, c.name);
        MessageCapture messages;
        EXPECT_EQ(expectCleanOnEveryAllocationFailure([&] {
                      libfileSeekFromStart(f, 0);
                      c.call(f);
                  }),
                  c.allocations);
        expectSaid(messages, {c.message}, true);
    }
}
