// The fourteen texture span routines, each in its fast and its per-pixel
// version, with the rows routines built on them.
#include "raster/spantex.h"

using namespace spantex;

#define SW_DEFINE_SPAN(name, P)                                                                    \
    void name(uint8_t* row, const texEdge_tag* a, const texEdge_tag* b) {                          \
        SW_SPAN_FAST(P)(row, a, b);                                                                \
    }                                                                                              \
    void name##Plain(uint8_t* row, const texEdge_tag* a, const texEdge_tag* b) {                   \
        spanTexPlain<P>(row, a, b);                                                                \
    }                                                                                              \
    void name##Rows(bitmap_tag* target, const ClipRect& clip, texEdge_tag* longEdge,               \
                    texEdge_tag* upper, texEdge_tag* lower) {                                      \
        SW_ROWS_FAST(P)(target, clip, longEdge, upper, lower);                                     \
    }                                                                                              \
    void name##RowsInside(bitmap_tag* target, const ClipRect& clip, texEdge_tag* longEdge,         \
                          texEdge_tag* upper, texEdge_tag* lower) {                                \
        SW_ROWS_INSIDE(P)(target, clip, longEdge, upper, lower);                                   \
    }                                                                                              \
    void name##RowsPlain(bitmap_tag* target, const ClipRect& clip, texEdge_tag* longEdge,          \
                         texEdge_tag* upper, texEdge_tag* lower) {                                 \
        rowsTexPlain<P>(target, clip, longEdge, upper, lower);                                     \
    }
SW_DEFINE_SPAN(spanTex8, Tex8)
SW_DEFINE_SPAN(spanTex8Key, Tex8Key)
SW_DEFINE_SPAN(spanTex8To565, Tex8To565)
SW_DEFINE_SPAN(spanTex8To565Key, Tex8To565Key)
SW_DEFINE_SPAN(spanTex8To1555, Tex8To1555)
SW_DEFINE_SPAN(spanTex8To1555Key, Tex8To1555Key)
SW_DEFINE_SPAN(spanTex565, Tex565)
SW_DEFINE_SPAN(spanTex1555Key, Tex1555Key)
SW_DEFINE_SPAN(spanTexCmap8, TexCmap8)
SW_DEFINE_SPAN(spanTexCmap8Key, TexCmap8Key)
SW_DEFINE_SPAN(spanTexCmapTo565, TexCmapTo565)
SW_DEFINE_SPAN(spanTexCmapTo565Key, TexCmapTo565Key)
SW_DEFINE_SPAN(spanTexCmapTo1555, TexCmapTo1555)
SW_DEFINE_SPAN(spanTexCmapTo1555Key, TexCmapTo1555Key)
#undef SW_DEFINE_SPAN
