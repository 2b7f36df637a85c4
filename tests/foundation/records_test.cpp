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

// A row of the table, every byte of it.
screenmode_tag row(int32_t width, int32_t height, int32_t bits) {
    screenmode_tag mode;
    std::memset(&mode, 0, sizeof mode);
    mode.width = width, mode.height = height, mode.bitsPerPixel = bits;
    mode.hostValue12 = 100, mode.hostByte157 = 2;
    std::strcpy(mode.name, "DirectX SVGA");
    return mode;
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
    const screenmode_tag rows[6] = {row(640, 480, 8),  row(640, 480, 16), row(800, 600, 8),
                                    row(800, 600, 16), row(1024, 768, 8), row(1024, 768, 16)};
    screenmode_tag mode;
    rewindModes();
    for (int i = 0; i < 12; ++i) {
        std::memset(&mode, 0xEE, sizeof mode);
        ASSERT_TRUE(i % 6 ? screenGetNextMode(&mode) : screenGetFirstMode(&mode));
        EXPECT_EQ(std::memcmp(&mode, &rows[i % 6], sizeof mode), 0) << "row " << i;
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
            EXPECT_EQ(std::memcmp(&mode, &rows[skip ? 5 : 4], sizeof mode), 0) << skip;
        else
            EXPECT_EQ(mode.width, 0x5A5A5A5A) << "with the cursor at the end nothing is written";
    }
    rewindModes();
}

} // namespace
