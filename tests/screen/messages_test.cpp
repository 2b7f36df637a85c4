// Every message the display gives, one row per situation, and the names of
// the DirectDraw result codes.
#include "fixture.h"

#include <functional>
#include <set>

using namespace screentest;

namespace {

bool refuseToOpen() {
    return false;
}
WindowSystem* headlessLayer() {
    return windowsHeadless();
}
const DisplayDriver unopenableDriver = {nullptr, refuseToOpen, nullptr, headlessDirectDrawCreate,
                                        headlessLayer};
const DisplayDriverRow unopenable = {"unopenable", &unopenableDriver};

} // namespace

TEST_F(ScreenTest, Messages) {
    using Strings = std::vector<std::string>;
    const std::string box = "MessageBoxA host \"Error Initializing Direct Draw\" ";
    auto screenBeginWith = [&](int32_t width, int32_t bits) {
        screenmode_tag m = mode(width, width * 3 / 4, bits);
        return screenBegin(&m);
    };
    struct Row {
        const char* situation;
        std::function<void()> run;
        Strings debug, errors;
        std::string box; // the message box in the call log; empty: none
    } rows[] = {
        {"mode refused",
         [&] {
             ASSERT_TRUE(open());
             scripted::fail("SetDisplayMode", DDERR_INVALIDMODE);
             EXPECT_FALSE(screenBeginWith(1024, 16));
         },
         {"CDDWin::ChangeDisplayMode failed: 88760078\n", "DDERR DDERR_INVALIDMODE\n"},
         {},
         box + "\"DDERR DDERR_INVALIDMODE\" 0\n"},
        {"class not registered",
         [&] {
             headless::setFailRegisterClass(true);
             EXPECT_FALSE(open(true));
         },
         {"RegisterClassA() failed in screenOpenDisplay()\n"},
         {},
         ""},
        {"window not made",
         [&] {
             headless::setFailCreateWindow(true);
             EXPECT_FALSE(open(true));
         },
         {"CreateWindowExA() failed in screenOpenDisplay()\n"},
         {},
         ""},
        {"driver does not open",
         [&] {
             displayDriverOverride(&unopenable);
             EXPECT_FALSE(open());
         },
         {"displayDriverOpen() failed in screenOpenDisplay()\n"},
         {},
         ""},
        {"8-bit screen",
         [&] { EXPECT_TRUE(open() && screenBeginWith(640, 8)); },
         {"ddsd.lPitch = 640\n", "ddsd.lpSurface = 00000000\n"},
         {"Screen pixel type is 8-bit\n\n"},
         ""},
        {"565 screen",
         [&] { EXPECT_TRUE(open() && screenBeginWith(800, 16)); },
         {"ddsd.lPitch = 1600\n", "ddsd.lpSurface = 00000000\n"},
         {"Screen pixel type is 16-bit: 565\n\n"},
         ""},
        {"1555 screen",
         [&] {
             memoryDisplaySetModeGreenMask(0x3E0);
             EXPECT_TRUE(open() && screenBeginWith(640, 16));
         },
         {"ddsd.lPitch = 1280\n", "ddsd.lpSurface = 00000000\n"},
         {"Screen pixel type is 16-bit: 1555\n\n"},
         ""},
        {"no display",
         [&] { EXPECT_TRUE(screenBeginWith(640, 8)); },
         {"ddsd.lPitch = 0\n", "ddsd.lpSurface = 00000000\n"},
         {"Unknown Screen pixel type\n\n"},
         ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.situation);
        SetUp();
        messages.clear();
        row.run();
        EXPECT_EQ(messages.debug(), row.debug);
        EXPECT_EQ(messages.errors(), row.errors);
        EXPECT_EQ(logHas("MessageBoxA"), !row.box.empty());
        EXPECT_TRUE(row.box.empty() || logHas(row.box)) << headless::callLog();
        rasterEnd();
    }
}

TEST_F(ScreenTest, ErrorNames) {
    EXPECT_STREQ(DDErrorName(DDResult(0x887601C2u)), "DDERR_SURFACELOST");
    EXPECT_STREQ(DDErrorName(DDResult(0x80070057u)), "DDERR_INVALIDPARAMS"); // a platform code
    EXPECT_STREQ(DDErrorName(0), "DD_OK");
    // One static text: the next unknown code overwrites it.
    const char* unknown = DDErrorName(DDResult(0x8876FFFFu));
    EXPECT_STREQ(unknown, "Unknown error 65535");
    EXPECT_EQ(DDErrorName(DDResult(0x88760001u)), unknown);
    EXPECT_STREQ(unknown, "Unknown error 1");
    // 101 distinct codes under distinct names.
    std::set<DDResult> codes;
    std::set<std::string> names;
    for (int i = 0; i < ddErrorTableSize(); ++i) {
        codes.insert(ddErrorTableCode(i));
        names.insert(DDErrorName(ddErrorTableCode(i)));
    }
    EXPECT_EQ(codes.size() + names.size() + ddErrorTableSize(), 3 * 101u);
}
