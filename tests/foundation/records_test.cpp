// The mip chain record and the screen mode table.
#include "support.h"

#include "mip/mip.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Level counts come from files: a record never grows past what a chain
// can hold.
TEST(MipRecord, NoChainHasAThousandLevels) {
    EXPECT_EQ(mipRecordAlloc(1000), nullptr);
    mipFree(nullptr);
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

// The table twice: screenGetFirstMode returns the mode at the cursor and
// moves on, past the end starting again. The largest resolution depends on
// the cursor: the last 1024 x 768 row at or after it.
TEST(Modes, EnumerationAndLargestResolution) {
    const int32_t rows[6][3] = {{640, 480, 8},  {640, 480, 16}, {800, 600, 8},
                                {800, 600, 16}, {1024, 768, 8}, {1024, 768, 16}};
    screenmode_tag mode;
    rewindModes();
    for (int i = 0; i < 12; ++i) {
        std::memset(&mode, 0xEE, sizeof mode);
        ASSERT_TRUE(i % 6 ? screenGetNextMode(&mode) : screenGetFirstMode(&mode));
        expectRow(mode, rows[i % 6][0], rows[i % 6][1], rows[i % 6][2]);
    }
    std::memset(&mode, 0x5A, sizeof mode);
    EXPECT_FALSE(screenGetNextMode(&mode));
    EXPECT_EQ(mode.width, 0x5A5A5A5A) << "the false call writes nothing";
    for (int skip : {0, 5, 6}) {
        rewindModes();
        for (int i = 0; i < skip; ++i)
            ASSERT_TRUE(screenGetNextMode(&mode));
        std::memset(&mode, 0x5A, sizeof mode);
        EXPECT_EQ(screenGetLargestRes(&mode), 0);
        if (skip < 6)
            expectRow(mode, 1024, 768, skip ? 16 : 8);
        else
            EXPECT_EQ(mode.width, 0x5A5A5A5A) << "with the cursor at the end nothing is written";
    }
    rewindModes();
}

} // namespace
