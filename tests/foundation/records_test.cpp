// The mip chain record and the screen mode table.
#include "support.h"

#include "mip/mip.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// Level counts come from files: a record never grows past what a chain
// can hold.
TEST(MipRecord, NoChainHasAThousandLevels) {
    EXPECT_EQ(mipRecordAlloc(1000), nullptr);
    mipFree(nullptr);
}

// The table twice: screenGetFirstMode returns the mode at the cursor and
// moves on, past the end starting again. The largest resolution depends on
// the cursor: the last 1024 x 768 row at or after it.
TEST(Modes, EnumerationAndLargestResolution) {
    const std::vector<int32_t> rows[6] = {{640, 480, 8},  {640, 480, 16}, {800, 600, 8},
                                          {800, 600, 16}, {1024, 768, 8}, {1024, 768, 16}};
    auto fields = [](const screenmode_tag& m) {
        return std::vector<int32_t>{m.width, m.height, m.bitsPerPixel};
    };
    screenmode_tag mode;
    swtest::rewindModes();
    for (int i = 0; i < 12; ++i) {
        std::memset(&mode, 0xEE, sizeof mode);
        ASSERT_TRUE(i % 6 ? screenGetNextMode(&mode) : screenGetFirstMode(&mode));
        EXPECT_EQ(fields(mode), rows[i % 6]) << "row " << i;
    }
    std::memset(&mode, 0x5A, sizeof mode);
    EXPECT_FALSE(screenGetNextMode(&mode));
    EXPECT_EQ(mode.width, 0x5A5A5A5A) << "the false call writes nothing";
    for (int skip : {0, 5, 6}) {
        swtest::rewindModes();
        for (int i = 0; i < skip; ++i)
            ASSERT_TRUE(screenGetNextMode(&mode));
        std::memset(&mode, 0x5A, sizeof mode);
        EXPECT_EQ(screenGetLargestRes(&mode), 0);
        if (skip < 6)
            EXPECT_EQ(fields(mode), rows[skip ? 5 : 4]) << skip;
        else
            EXPECT_EQ(mode.width, 0x5A5A5A5A) << "with the cursor at the end nothing is written";
    }
    swtest::rewindModes();
}

} // namespace
