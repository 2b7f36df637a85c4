// Files, directories and messages of the host services library.
#include "../imagefile/filetest.h"

using namespace swtest;

TEST(Files, WritesReadsAndSeeks) {
    TempDir dir;
    const std::string name = dir.file("values.bin");
    {
        OpenFile out(name, 'w');
        uint8_t word[4] = {0x78, 0x56, 0x34, 0x12};
        EXPECT_TRUE(fileWrite(out, "abc", 3) && fileWriteUint8(out, 0xFE) &&
                    fileWriteUint16(out, 0x1234) && fileWrite(out, word, 4));
        EXPECT_EQ(libfileSize(out), 10u);
        EXPECT_STREQ(libfileName(out), name.c_str());
    }
    EXPECT_EQ(readFile(name), (Bytes{'a', 'b', 'c', 0xFE, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12}));

    OpenFile in(name, 'r');
    char text[4] = {};
    int8_t signedByte;
    uint8_t byte, buf[8];
    uint32_t word, got = 99;
    ASSERT_TRUE(libfileReadExact(in, text, 3) && libfileReadInt8(in, &signedByte) &&
                libfileReadUint8(in, &byte) && libfileSeekFromCurrent(in, 1) &&
                libfileReadUint32(in, &word));
    EXPECT_EQ(std::to_string(signedByte) + text + std::to_string(byte), "-2abc52");
    EXPECT_EQ(word, 0x12345678u);
    EXPECT_FALSE(libfileReadUint8(in, &byte)) << "reading at the end fails";
    ASSERT_TRUE(libfileSeekFromEnd(in, 3) && libfileReadAtMost(&got, in, buf, 8));
    EXPECT_EQ(got * 256 + buf[2], 3u * 256 + 0x12);
    ASSERT_TRUE(libfileReadAtMost(&got, in, buf, 8));
    EXPECT_EQ(got, 0u) << "at the end a read of at most n bytes gets none and succeeds";
    ASSERT_TRUE(libfileSeekFromEnd(in, 10) && libfileSeekFromStart(in, 2));
    EXPECT_FALSE(libfileReadExact(in, buf, 9)) << "only 8 bytes remain";
    ASSERT_TRUE(libfileSeekFromStart(in, 5) && libfileSeekFromCurrent(in, -3));
    EXPECT_EQ(libfileGetCurrentPosition(in), 2u);
    EXPECT_FALSE(libfileSeekFromCurrent(in, -3) || libfileSeekFromEnd(in, 11))
        << "before the start";

    file_tag *absent = reinterpret_cast<file_tag*>(1), *noDir = absent;
    EXPECT_FALSE(fileOpen(&absent, dir.file("absent").c_str()));
    EXPECT_FALSE(fileCreate(&noDir, dir.file("no/such/dir").c_str()));
    EXPECT_TRUE(absent == nullptr && noDir == nullptr);
    fileClose(nullptr);
}

// Texts of any length reach the hook whole; with no hook they go to
// standard error.
TEST(Messages, HookGetsWholeTextsAndNullRestoresStandardError) {
    const std::string longText(2000, 'x');
    testing::internal::CaptureStderr();
    {
        MessageCapture capture;
        DebugPrintf("%s\n", longText.c_str());
        _Error("error %s", "text");
        EXPECT_EQ(capture.debug(), std::vector<std::string>{longText + "\n"});
        EXPECT_EQ(capture.errors(), std::vector<std::string>{"error text"});
    }
    DebugPrintf("to stderr %d\n", 7);
    _Error("error %s\n", "text");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "to stderr 7\nerror text\n");
}
