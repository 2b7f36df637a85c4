/* A program outside the source tree that finds the installed library. */
#include <spanwright/spanwright.h>

#include <stdio.h>

int main(void) {
    bitmap_tag* bm = NULL;
    if (!bitmapAlloc(&bm, PIXEL_PAL8, 3, 2, 1)) return 1;
    printf("bitmapAlloc through the installed library: rowBytes %d\n", bm->rowBytes);
    bitmapFree(bm);
    return 0;
}
