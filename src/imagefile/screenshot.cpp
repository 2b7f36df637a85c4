// Screenshots: the screen's back buffer as a numbered 16-bit TGA file in
// the home directory.
#include "imagefile/tga.h"

#include <cstdio>

namespace {

// Numbers 1..99, then 0 again; lives as long as the library.
int32_t screenshotCounter = 0;

} // namespace

void screenshotResetCounter() {
    screenshotCounter = 0;
}

extern "C" {

// The current directory stays the home directory afterwards. A 16-bit
// back buffer's pixels are written as they are; an 8-bit one's through a
// copy of the current palette (black when there is none).
void saveScreenshot(void) {
    if (++screenshotCounter > 99) screenshotCounter = 0;
    if (!fileChDir(homedir)) {
        _Error("fileChDir() failed in saveScreenshot()");
        return;
    }
    char name[16];
    std::snprintf(name, sizeof name, "zvss%02d.tga", int(screenshotCounter));
    file_tag* file = nullptr;
    if (!fileCreate(&file, name)) {
        _Error("fileCreate() failed in saveScreenshot()");
        return;
    }
    uint32_t* palette = nullptr;
    if (!paletteAlloc(&palette)) {
        _Error("paletteAlloc() failed in saveScreenshot()");
        fileClose(file);
        return;
    }
    paletteGetCurrent(palette, 0, 256);
    if (!tgaWriteBitmap(screenGetBackBuffer(), palette, file, false, false, 16))
        _Error("bitmapWritePcx() failed in saveScreenshot()");
    paletteFree(palette);
    fileClose(file);
}

} // extern "C"
