/* A C99 host: includes both headers, checks the record layouts a host
 * relies on, and makes a few calls through the shared libraries. */
#include <spanwright/spanwright.h>
#include <spanwright/vesk.h>

#include <stddef.h>
#include <stdio.h>

static int failures = 0;

#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);               \
            ++failures;                                                                            \
        }                                                                                          \
    } while (0)

int main(void) {
    bitmap_tag* bm = NULL;
    screenmode_tag mode;

    CHECK(sizeof(bitmap_tag) == 13 + 2 * sizeof(void*));
    CHECK(offsetof(bitmap_tag, width) == 1);
    CHECK(offsetof(bitmap_tag, height) == 5);
    CHECK(offsetof(bitmap_tag, rowBytes) == 9);
    CHECK(offsetof(bitmap_tag, map) == 13);
    CHECK(sizeof(vertex_tag) == 24);
    CHECK(offsetof(vertex_tag, color) == 20);
    CHECK(offsetof(mip_tag, level) == 17 + sizeof(void*));
    CHECK(sizeof(screenmode_tag) == 249);
    CHECK(offsetof(screenmode_tag, width) == 4);
    CHECK(offsetof(screenmode_tag, hostByte157) == 157);
    CHECK(PIXEL_CMAP4 == 0 && PIXEL_ALPHA8 == 10);
    CHECK(VESK_ID('B', 'M', 'A', 'P') == 0x424D4150u);

    CHECK(bitmapAlloc(&bm, PIXEL_PAL8, 3, 2, 1) == 1);
    CHECK(bm != NULL && bm->rowBytes == 4 && bitmapWidth(bm) == 3);
    bitmapFree(bm);

    CHECK(screenGetFirstMode(&mode) == 1);
    CHECK(mode.width == 640 && mode.height == 480 && mode.bitsPerPixel == 8);
    while (screenGetNextMode(&mode)) {
    }
    CHECK(pixelBitDepth(PIXEL_RGB565) == 16);

    if (failures) fprintf(stderr, "%d checks failed\n", failures);
    return failures ? 1 : 0;
}
