// Files and messages of the host services library.
#include "support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <unistd.h>

namespace {

using swtest::MessageCapture;
using swtest::TempDir;

struct OpenFile {
    file_tag* f = nullptr;
    ~OpenFile() { fileClose(f); }
};

TEST(Files, WriteThenReadBackEveryWidth) {
    TempDir dir;
    std::string name = dir.file("values.bin");
    {
        OpenFile out;
        ASSERT_TRUE(fileCreate(&out.f, name.c_str()));
        const char text[] = "abc";
        EXPECT_TRUE(fileWrite(out.f, text, 3));
        EXPECT_TRUE(fileWriteUint8(out.f, 0xFE));
        EXPECT_TRUE(fileWriteUint16(out.f, 0x1234));
        uint8_t word[4] = {0x78, 0x56, 0x34, 0x12};
        EXPECT_TRUE(fileWrite(out.f, word, 4));
        EXPECT_EQ(libfileSize(out.f), 10u);
        EXPECT_STREQ(libfileName(out.f), name.c_str());
    }
    EXPECT_EQ(swtest::readFile(name),
              (std::vector<uint8_t>{'a', 'b', 'c', 0xFE, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12}));

    OpenFile in;
    ASSERT_TRUE(fileOpen(&in.f, name.c_str()));
    char text[3];
    ASSERT_TRUE(libfileReadExact(in.f, text, 3));
    EXPECT_EQ(std::string(text, 3), "abc");
    int8_t signedByte;
    ASSERT_TRUE(libfileReadInt8(in.f, &signedByte));
    EXPECT_EQ(signedByte, -2);
    uint8_t byte;
    ASSERT_TRUE(libfileReadUint8(in.f, &byte));
    EXPECT_EQ(byte, 0x34);
    ASSERT_TRUE(libfileSeekFromCurrent(in.f, 1));
    uint32_t word;
    ASSERT_TRUE(libfileReadUint32(in.f, &word));
    EXPECT_EQ(word, 0x12345678u);
    EXPECT_EQ(libfileGetCurrentPosition(in.f), 10u);
    EXPECT_FALSE(libfileReadUint8(in.f, &byte)) << "reading at the end fails";
}

TEST(Files, SeeksAndPartialReads) {
    TempDir dir;
    std::string name = dir.file("ten.bin");
    swtest::writeFile(name, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    OpenFile in;
    ASSERT_TRUE(fileOpen(&in.f, name.c_str()));
    EXPECT_EQ(libfileSize(in.f), 10u);

    ASSERT_TRUE(libfileSeekFromEnd(in.f, 3));
    EXPECT_EQ(libfileGetCurrentPosition(in.f), 7u);
    uint8_t buf[8] = {};
    uint32_t got = 99;
    ASSERT_TRUE(libfileReadAtMost(&got, in.f, buf, 8));
    EXPECT_EQ(got, 3u);
    EXPECT_EQ(buf[0], 7);
    EXPECT_EQ(buf[2], 9);
    ASSERT_TRUE(libfileReadAtMost(&got, in.f, buf, 8));
    EXPECT_EQ(got, 0u) << "at the end a read of at most n bytes gets none and succeeds";

    ASSERT_TRUE(libfileSeekFromStart(in.f, 2));
    EXPECT_FALSE(libfileReadExact(in.f, buf, 9)) << "only 8 bytes remain";
    ASSERT_TRUE(libfileSeekFromStart(in.f, 5));
    ASSERT_TRUE(libfileSeekFromCurrent(in.f, -3));
    EXPECT_EQ(libfileGetCurrentPosition(in.f), 2u);
    EXPECT_FALSE(libfileSeekFromCurrent(in.f, -3)) << "before the start";
    EXPECT_FALSE(libfileSeekFromEnd(in.f, 11)) << "before the start";
}

TEST(Files, OpenFailuresLeaveNullAndMissingFileFails) {
    TempDir dir;
    file_tag* f = reinterpret_cast<file_tag*>(1);
    EXPECT_FALSE(fileOpen(&f, dir.file("absent").c_str()));
    EXPECT_EQ(f, nullptr);
    f = reinterpret_cast<file_tag*>(1);
    EXPECT_FALSE(fileCreate(&f, dir.file("no/such/dir").c_str()));
    EXPECT_EQ(f, nullptr);
    fileClose(nullptr);
}

TEST(Files, DirectoriesAndHome) {
    TempDir dir;
    char before[256];
    ASSERT_TRUE(libfileGetDir(before));
    EXPECT_GT(std::strlen(homedir), 0u) << "homedir starts as the working directory";
    ASSERT_TRUE(fileChDir(dir.path().c_str()));
    char now[256];
    ASSERT_TRUE(libfileGetDir(now));
    char resolved[4096];
    ASSERT_NE(realpath(dir.path().c_str(), resolved), nullptr);
    EXPECT_STREQ(now, resolved);
    EXPECT_FALSE(fileChDir(dir.file("absent").c_str()));
    ASSERT_TRUE(fileChDir(before));
}

TEST(Messages, HookReceivesWholeFormattedTexts) {
    MessageCapture capture;
    DebugPrintf("%s failed in %s()\n", "memAlloc()", "bitmapAlloc");
    _Error("Unknown TGA image type.");
    std::string longText(2000, 'x');
    DebugPrintf("%s\n", longText.c_str());
    ASSERT_EQ(capture.debug().size(), 2u);
    EXPECT_EQ(capture.debug()[0], "memAlloc() failed in bitmapAlloc()\n");
    EXPECT_EQ(capture.debug()[1], longText + "\n") << "long texts arrive whole";
    ASSERT_EQ(capture.errors().size(), 1u);
    EXPECT_EQ(capture.errors()[0], "Unknown TGA image type.");
}

TEST(Messages, NullHookRestoresStandardError) {
    {
        MessageCapture capture;
        DebugPrintf("captured\n");
        EXPECT_TRUE(capture.sawDebug("captured\n"));
    }
    testing::internal::CaptureStderr();
    DebugPrintf("to stderr %d\n", 7);
    _Error("error %s\n", "text");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "to stderr 7\nerror text\n");
}

} // namespace
