// Every message the display gives, one row per situation, and the names of
// the DirectDraw result codes.
#include "fixture.h"

#include <functional>

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
    auto screenBeginWith = [&](int32_t width, int32_t bits) {
        screenmode_tag m = mode(width, width * 3 / 4, bits);
        return screenBegin(&m);
    };
    auto screenType = [](int32_t pitch) {
        return Strings{"ddsd.lPitch = " + std::to_string(pitch) + "\n",
                       "ddsd.lpSurface = 00000000\n"};
    };
    struct Row {
        const char* situation;
        std::function<bool()> run; // false: refused
        Strings debug = {}, errors = {};
        std::string box = {}; // the text of the message box; empty: none
    } rows[] = {
        {"mode refused",
         [&] {
             scripted::fail("SetDisplayMode", DDERR_INVALIDMODE);
             return open() && screenBeginWith(1024, 16);
         },
         {"CDDWin::ChangeDisplayMode failed: 88760078\n", "DDERR DDERR_INVALIDMODE\n"},
         {},
         "DDERR DDERR_INVALIDMODE"},
        {"class not registered",
         [&] { return headless::setFailRegisterClass(true), open(true); },
         {"RegisterClassA() failed in screenOpenDisplay()\n"}},
        {"window not made",
         [&] { return headless::setFailCreateWindow(true), open(true); },
         {"CreateWindowExA() failed in screenOpenDisplay()\n"}},
        {"driver does not open",
         [&] { return displayDriverOverride(&unopenable), open(); },
         {"displayDriverOpen() failed in screenOpenDisplay()\n"}},
        {"8-bit screen",
         [&] { return !(open() && screenBeginWith(640, 8)); },
         screenType(640),
         {"Screen pixel type is 8-bit\n\n"}},
        {"565 screen",
         [&] { return !(open() && screenBeginWith(800, 16)); },
         screenType(1600),
         {"Screen pixel type is 16-bit: 565\n\n"}},
        {"1555 screen",
         [&] {
             return memoryDisplaySetModeGreenMask(0x3E0), !(open() && screenBeginWith(640, 16));
         },
         screenType(1280),
         {"Screen pixel type is 16-bit: 1555\n\n"}},
        {"no display",
         [&] { return !screenBeginWith(640, 8); },
         screenType(0),
         {"Unknown Screen pixel type\n\n"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.situation);
        SetUp();
        messages.clear();
        EXPECT_FALSE(row.run());
        EXPECT_EQ(messages.debug(), row.debug);
        EXPECT_EQ(messages.errors(), row.errors);
        EXPECT_EQ(logHas("MessageBoxA"), !row.box.empty());
        EXPECT_TRUE(
            row.box.empty() ||
            logHas("MessageBoxA host \"Error Initializing Direct Draw\" \"" + row.box + "\" 0\n"))
            << headless::callLog();
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
}
