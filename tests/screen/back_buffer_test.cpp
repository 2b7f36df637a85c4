// The back buffer record never points into released memory, whatever the
// host's order of lifecycle calls.
#include "fixture.h"

using namespace screentest;

TEST_F(ScreenTest, BackBufferForgetsReleasedSurfaces) {
    screenmode_tag m8 = mode(640, 480, 8), m16 = mode(640, 480, 16), big = mode(1024, 768, 16);
    struct Case {
        const char* name;
        void (*run)(screenmode_tag*, screenmode_tag*, screenmode_tag*);
    } cases[] = {
        {"mode change while locked",
         [](screenmode_tag* a, screenmode_tag* b, screenmode_tag*) {
             screenBegin(a);
             screenBegin(b);
             lockBitmap();
             screenEnd();
         }},
        {"display closed while locked",
         [](screenmode_tag* a, screenmode_tag*, screenmode_tag*) {
             screenBegin(a);
             lockBitmap();
             rasterEnd();
         }},
        {"failed set-up keeps smaller surfaces",
         [](screenmode_tag* a, screenmode_tag*, screenmode_tag* c) {
             screenBegin(c);
             scripted::fail("CreatePalette", DDERR_OUTOFMEMORY);
             screenBegin(a);
             lockBitmap();
         }},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(open());
        c.run(&m8, &m16, &big);
        bitmapFill(screenGetBackBuffer(), 1);
        rasterEnd();
        SCOPED_TRACE(c.name);
    }
}
