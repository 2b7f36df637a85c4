/* A small host of the library's bitmap, palette and mode-table calls: it
 * prints what each call did. */
#include <spanwright/spanwright.h>

#include <stdio.h>

int main(void) {
    bitmap_tag* bm = NULL;
    uint32_t* palette = NULL;
    screenmode_tag mode;
    int i;

    if (!bitmapAlloc(&bm, PIXEL_PAL8, 320, 200, 1)) return 1;
    printf("bitmapAlloc: %dx%d type %d rowBytes %d\n", bm->width, bm->height, bm->pixelType,
           bm->rowBytes);

    palette = (uint32_t*)bm->map;
    for (i = 0; i < 256; ++i)
        paletteSetEntry(palette, i, (uint32_t)(i << 16 | (255 - i) << 8 | (i * 7 & 255)));
    paletteSetCurrentFromBitmap(bm, 0, 256);
    printf("paletteRGB(200, 55, 88) = %d\n", paletteRGB(palette, 200, 55, 88));
    printf("screenPalette565[200] = 0x%04X, screenPalette555[200] = 0x%04X\n",
           screenPalette565[200], screenPalette555[200]);

    {
        bitmap_tag screen = {PIXEL_RGB565, 0, 0, 0, NULL, NULL};
        unsigned v = colorRGB(&screen, 0x12, 0x34, 0x56);
        printf("colorRGB 565 of (0x12, 0x34, 0x56) = 0x%04X -> r %d g %d b %d\n", v,
               colorR(&screen, v), colorG(&screen, v), colorB(&screen, v));
    }

    if (screenGetFirstMode(&mode)) {
        do {
            printf("mode %dx%dx%d \"%s\"\n", mode.width, mode.height, mode.bitsPerPixel, mode.name);
        } while (screenGetNextMode(&mode));
    }
    bitmapFree(bm);
    return 0;
}
