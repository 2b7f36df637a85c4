/* Draws a triangle and a line into a bitmap, writes it as PCX and reads it back. */
#include <spanwright/spanwright.h>
#include <stdio.h>

int main(void) {
    static uint32_t palette[256] = {0xFF000000, 0xFFFF8000, 0xFFFFFFFF}; /* 0xAARRGGBB */
    bitmap_tag *bm, *back;
    file_tag* f;
    if (!bitmapAlloc(&bm, PIXEL_PAL8, 64, 48, 0)) return 1;
    bitmapFill(bm, 0);
    aaTriangle(bm, 1, 4 << 16, 44 << 16, 32 << 16, 4 << 16, 60 << 16, 44 << 16); /* 16.16 */
    drawLine(bm, 2, 0, 47, 63, 0);
    if (!fileCreate(&f, "example.pcx") || !bitmapWritePcx(f, bm, palette)) return 1;
    fileClose(f);
    if (!fileOpen(&f, "example.pcx") || !bitmapLoad(&back, f, 0)) return 1;
    fileClose(f);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            if (readPixel(back, x, y) != readPixel(bm, x, y)) return 1;
    printf("example.pcx: %dx%d, read back pixel for pixel\n", back->width, back->height);
    bitmapUnload(back);
    bitmapFree(bm);
    return 0;
}
