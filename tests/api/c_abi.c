/* A C99 host: includes both headers (whose layout assertions then hold in
 * C99 too), prints the record layouts so that each target's run shows its
 * sizes, and makes a few calls through the shared libraries. */
#include <spanwright/spanwright.h>
#include <spanwright/vesk.h>

#include <stddef.h>
#include <stdio.h>

static int failures = 0;

#define CHECK(cond)                                                                                \
    ((cond) ? (void)0                                                                              \
            : (void)(fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond),      \
                     ++failures))

static void printLayout(void) {
    printf("pointer %u bytes\n", (unsigned)sizeof(void*));
    printf("bitmap_tag %u bytes: width @%u height @%u rowBytes @%u map @%u pixels @%u\n",
           (unsigned)sizeof(bitmap_tag), (unsigned)offsetof(bitmap_tag, width),
           (unsigned)offsetof(bitmap_tag, height), (unsigned)offsetof(bitmap_tag, rowBytes),
           (unsigned)offsetof(bitmap_tag, map), (unsigned)offsetof(bitmap_tag, pixels));
    printf("vertex_tag %u bytes: color @%u\n", (unsigned)sizeof(vertex_tag),
           (unsigned)offsetof(vertex_tag, color));
    printf("mip_tag %u bytes before its levels: flag @%u colormap @%u levels @%u level @%u\n",
           (unsigned)sizeof(mip_tag), (unsigned)offsetof(mip_tag, flag),
           (unsigned)offsetof(mip_tag, colormap), (unsigned)offsetof(mip_tag, levels),
           (unsigned)offsetof(mip_tag, level));
    printf("screenmode_tag %u bytes: bitsPerPixel @%u name @%u byte 157 @%u\n",
           (unsigned)sizeof(screenmode_tag), (unsigned)offsetof(screenmode_tag, bitsPerPixel),
           (unsigned)offsetof(screenmode_tag, name),
           (unsigned)offsetof(screenmode_tag, hostByte157));
    printf("RasterBeginParams %u bytes: classRegistered @%u className @%u windowProc @%u\n",
           (unsigned)sizeof(RasterBeginParams),
           (unsigned)offsetof(RasterBeginParams, classRegistered),
           (unsigned)offsetof(RasterBeginParams, className),
           (unsigned)offsetof(RasterBeginParams, windowProc));
    printf("getScreenInternalLock writes 3 words of %u bytes\n", (unsigned)sizeof(uintptr_t));
}

int main(void) {
    bitmap_tag* bm = NULL;
    uintptr_t lockWords[4] = {0, 0, 0, 0x5a5a};

    printLayout();

    CHECK(PIXEL_CMAP4 == 0 && PIXEL_ALPHA8 == 10);
    CHECK(VESK_ID('B', 'M', 'A', 'P') == 0x424D4150u);

    CHECK(bitmapAlloc(&bm, PIXEL_PAL8, 3, 2, 1) == 1);
    CHECK(bm != NULL && bm->rowBytes == 4 && bitmapWidth(bm) == 3);
    bitmapFree(bm);

    /* Before any screen mode the back buffer is 640 x 480 PIXEL_PAL8 without
     * pixels; the lock report is three pointer-sized words. */
    CHECK(getScreenInternalLock(lockWords) == 1);
    CHECK(lockWords[0] == 0 && lockWords[1] == 640 && lockWords[2] == PIXEL_PAL8);
    CHECK(lockWords[3] == 0x5a5a);

    if (failures) fprintf(stderr, "%d checks failed\n", failures);
    return failures ? 1 : 0;
}
