// The mip chain record and the screen mode table.
#include "support.h"

#include "mip/mip.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(MipRecord, FreeReleasesColormapLevelsAndRecord) {
    int64_t before = memLiveBlocks();
    mip_tag* mip = mipRecordAlloc(4);
    ASSERT_NE(mip, nullptr);
    mip->levels = 4;
    for (uint32_t i = 0; i < 4; ++i) {
        mip->level[i].pixels = static_cast<uint8_t*>(memAlloc(64));
        ASSERT_NE(mip->level[i].pixels, nullptr);
    }
    mip->colormap = static_cast<uint8_t*>(memAlloc(16));
    EXPECT_EQ(memLiveBlocks(), before + 6);
    mipFree(mip);
    EXPECT_EQ(memLiveBlocks(), before);
    mipFree(nullptr);
    EXPECT_EQ(mipRecordAlloc(1000), nullptr) << "no chain has a thousand levels";
}

TEST(MipRecord, LevelRowBytes) {
    EXPECT_EQ(mipRowBytes(PIXEL_PAL8, 5), 8);
    EXPECT_EQ(mipRowBytes(PIXEL_ARGB4444, 3), 8);
    EXPECT_EQ(mipRowBytes(PIXEL_ARGB4444, 1), 4);
    EXPECT_EQ(mipRowBytes(PIXEL_RGB888, 3), 12);
}

void expectRow(const screenmode_tag& mode, int32_t width, int32_t height, int32_t bits) {
    EXPECT_EQ(mode.width, width);
    EXPECT_EQ(mode.height, height);
    EXPECT_EQ(mode.bitsPerPixel, bits);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&mode);
    int32_t at0, at12;
    std::memcpy(&at0, bytes, 4);
    std::memcpy(&at12, bytes + 12, 4);
    EXPECT_EQ(at0, 0);
    EXPECT_EQ(at12, 100);
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 20), "DirectX SVGA");
    EXPECT_EQ(bytes[157], 2);
    for (int i = 20 + 12; i < 157; ++i)
        ASSERT_EQ(bytes[i], 0) << "name padding at " << i;
    for (int i = 158; i < 249; ++i)
        ASSERT_EQ(bytes[i], 0) << "byte " << i;
}

void rewindModes() {
    screenmode_tag scratch;
    while (screenGetNextMode(&scratch)) {
    }
}

TEST(Modes, FullEnumerationTwice) {
    rewindModes();
    const int32_t rows[6][3] = {{640, 480, 8},  {640, 480, 16}, {800, 600, 8},
                                {800, 600, 16}, {1024, 768, 8}, {1024, 768, 16}};
    for (int pass = 0; pass < 2; ++pass) {
        screenmode_tag mode;
        std::memset(&mode, 0xEE, sizeof mode);
        ASSERT_TRUE(screenGetFirstMode(&mode));
        expectRow(mode, 640, 480, 8);
        for (int i = 1; i < 6; ++i) {
            ASSERT_TRUE(screenGetNextMode(&mode));
            expectRow(mode, rows[i][0], rows[i][1], rows[i][2]);
        }
        screenmode_tag untouched;
        std::memset(&untouched, 0x5A, sizeof untouched);
        EXPECT_FALSE(screenGetNextMode(&untouched));
        EXPECT_EQ(untouched.width, 0x5A5A5A5A) << "the false call writes nothing";
    }
    // screenGetFirstMode returns the mode at the cursor and moves on; past
    // the end it starts again.
    rewindModes();
    screenmode_tag mode;
    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE(screenGetFirstMode(&mode));
    expectRow(mode, 1024, 768, 16);
    ASSERT_TRUE(screenGetFirstMode(&mode));
    expectRow(mode, 640, 480, 8);
    rewindModes();
}

TEST(Modes, LargestResolutionDependsOnTheCursor) {
    rewindModes();
    screenmode_tag out;
    EXPECT_EQ(screenGetLargestRes(&out), 0);
    expectRow(out, 1024, 768, 8);

    rewindModes();
    screenmode_tag skip;
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(screenGetNextMode(&skip));
    EXPECT_EQ(screenGetLargestRes(&out), 0);
    expectRow(out, 1024, 768, 16);

    rewindModes();
    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE(screenGetNextMode(&skip));
    std::memset(&out, 0x33, sizeof out);
    EXPECT_EQ(screenGetLargestRes(&out), 0);
    EXPECT_EQ(out.width, 0x33333333) << "with the cursor at the end nothing is written";
    ASSERT_TRUE(screenGetFirstMode(&out));
    expectRow(out, 640, 480, 8);
}

} // namespace
