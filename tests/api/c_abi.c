/* A C99 host: includes both headers (whose layout assertions then hold in
 * C99 too) and makes a few calls through the shared libraries. */
#include <spanwright/spanwright.h>
#include <spanwright/vesk.h>

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
    uintptr_t lockWords[4] = {0, 0, 0, 0x5a5a};

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
