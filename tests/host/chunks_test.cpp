// Chunked files: the writer's byte layout, nesting, and the container
// parser on well-formed and hostile input.
#include "support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using swtest::MessageCapture;
using swtest::TempDir;

constexpr uint32_t idOuter = VESK_ID('O', 'U', 'T', 'R');
constexpr uint32_t idInner = VESK_ID('I', 'N', 'N', 'R');
constexpr uint32_t idLeaf = VESK_ID('L', 'E', 'A', 'F');
constexpr uint32_t idOther = VESK_ID('O', 'T', 'H', 'R');

std::vector<uint8_t> header(const char id[4], uint32_t tag, int32_t size) {
    std::vector<uint8_t> h(id, id + 4);
    for (int i = 0; i < 4; ++i)
        h.push_back(uint8_t(tag >> (8 * i)));
    for (int i = 0; i < 4; ++i)
        h.push_back(uint8_t(uint32_t(size) >> (8 * i)));
    return h;
}

std::vector<uint8_t> chunk(const char id[4], std::vector<uint8_t> payload, int32_t size = -1) {
    std::vector<uint8_t> out = header(id, 0, size < 0 ? int32_t(payload.size()) : size);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

std::vector<uint8_t> cat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Records what the handlers saw; "INNR" children are parsed as containers.
struct ParseLog {
    std::vector<std::string> seen;
    bool failOnLeaf = false;
    file_tag* file = nullptr;
};

uint8_t onLeaf(void* user, uint32_t, uint32_t tag, int32_t size, file_tag* f) {
    auto* log = static_cast<ParseLog*>(user);
    uint32_t id;
    uint32_t readTag;
    int32_t readSize;
    if (!brixReadChunkHeader(&id, &readTag, &readSize, f) || id != idLeaf || readTag != tag ||
        readSize != size)
        return 0;
    std::string payload(size_t(size), '\0');
    if (size && !libfileReadExact(f, payload.data(), uint32_t(size))) return 0;
    log->seen.push_back("LEAF:" + payload);
    // Leave the file somewhere odd: the parser must carry on regardless.
    libfileSeekFromStart(f, 0);
    return log->failOnLeaf ? 0 : 1;
}

uint8_t onInner(void* user, uint32_t, uint32_t, int32_t, file_tag* f);

const brixParseList parseList[] = {{idLeaf, onLeaf}, {idInner, onInner}};

uint8_t onInner(void* user, uint32_t, uint32_t, int32_t, file_tag* f) {
    auto* log = static_cast<ParseLog*>(user);
    log->seen.push_back("INNR{");
    uint8_t ok = brixParseContainer(user, parseList, 2, f);
    log->seen.push_back("}");
    return ok;
}

struct Parsed {
    bool ok;
    std::vector<std::string> seen;
    uint32_t endPosition;
};

Parsed parseBytes(const std::vector<uint8_t>& bytes, bool failOnLeaf = false) {
    TempDir dir;
    std::string name = dir.file("chunks.bin");
    swtest::writeFile(name, bytes);
    file_tag* f = nullptr;
    EXPECT_TRUE(fileOpen(&f, name.c_str()));
    ParseLog log;
    log.failOnLeaf = failOnLeaf;
    bool ok = brixParseContainer(&log, parseList, 2, f);
    uint32_t end = libfileGetCurrentPosition(f);
    fileClose(f);
    return {ok, log.seen, end};
}

TEST(Chunks, WriterLayoutAndNestedSizes) {
    TempDir dir;
    std::string name = dir.file("written.bin");
    file_tag* f = nullptr;
    ASSERT_TRUE(fileCreate(&f, name.c_str()));
    brixChunk outer, inner;
    ASSERT_TRUE(brixStartChunk(f, &outer, idOuter, 0));
    ASSERT_TRUE(brixWriteChunk(f, idLeaf, 7, 3, "abc"));
    ASSERT_TRUE(brixStartChunk(f, &inner, idInner, 0));
    ASSERT_TRUE(brixWriteChunk(f, idLeaf, 0, 0, nullptr));
    ASSERT_TRUE(brixEndChunk(f, &inner));
    ASSERT_TRUE(brixEndChunk(f, &outer));
    EXPECT_FALSE(brixWriteChunk(f, idLeaf, 0, -1, "x")) << "negative sizes are refused";
    fileClose(f);

    auto expected = cat({header("OUTR", 0, 15 + 24),
                         header("LEAF", 7, 3),
                         {'a', 'b', 'c'},
                         header("INNR", 0, 12),
                         header("LEAF", 0, 0)});
    EXPECT_EQ(swtest::readFile(name), expected);
}

TEST(Chunks, PeekLeavesThePositionReadConsumes) {
    TempDir dir;
    std::string name = dir.file("one.bin");
    swtest::writeFile(name, chunk("BMAP", {1, 2}));
    file_tag* f = nullptr;
    ASSERT_TRUE(fileOpen(&f, name.c_str()));
    uint32_t id = 0, tag = 1;
    int32_t size = 0;
    ASSERT_TRUE(brixPeekChunkHeader(&id, &tag, &size, f));
    EXPECT_EQ(id, 0x424D4150u);
    EXPECT_EQ(tag, 0u);
    EXPECT_EQ(size, 2);
    EXPECT_EQ(libfileGetCurrentPosition(f), 0u);
    ASSERT_TRUE(brixReadChunkHeader(&id, &tag, &size, f));
    EXPECT_EQ(libfileGetCurrentPosition(f), 12u);
    ASSERT_TRUE(libfileSeekFromStart(f, 5));
    EXPECT_FALSE(brixPeekChunkHeader(&id, &tag, &size, f)) << "fewer than 12 bytes left";
    EXPECT_EQ(libfileGetCurrentPosition(f), 5u);
    fileClose(f);
}

TEST(Chunks, ParserCallsListedHandlersReentrantlyAndSkipsOthers) {
    auto bytes =
        cat({chunk("OUTR", cat({chunk("LEAF", {'1'}), chunk("OTHR", {9, 9, 9}),
                                chunk("INNR", cat({chunk("LEAF", {'2'}), chunk("LEAF", {})})),
                                chunk("LEAF", {'3', '4'})})),
             {0xEE}});
    Parsed p = parseBytes(bytes);
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.seen,
              (std::vector<std::string>{"LEAF:1", "INNR{", "LEAF:2", "LEAF:", "}", "LEAF:34"}));
    EXPECT_EQ(p.endPosition, bytes.size() - 1) << "the parse ends after its container";
}

TEST(Chunks, HandlerFailureFailsTheParse) {
    Parsed p = parseBytes(chunk("OUTR", cat({chunk("LEAF", {'1'}), chunk("LEAF", {'2'})})), true);
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.seen, (std::vector<std::string>{"LEAF:1"}));
}

TEST(Chunks, HostileContainersFailWithAMessage) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* message;
    };
    std::vector<uint8_t> deep = chunk("LEAF", {});
    for (int i = 0; i < VESK_MAX_NESTING + 1; ++i)
        deep = chunk("INNR", deep);
    const Case cases[] = {
        {"empty file", {}, "Truncated container header in brixParseContainer()\n"},
        {"truncated header",
         {'O', 'U', 'T'},
         "Truncated container header in brixParseContainer()\n"},
        {"negative container size", header("OUTR", 0, -12),
         "Container \"OUTR\" of size -12 runs past the end of the file in brixParseContainer()\n"},
        {"container past the file", chunk("OUTR", {1, 2, 3}, 4),
         "Container \"OUTR\" of size 4 runs past the end of the file in brixParseContainer()\n"},
        {"child past its container", chunk("OUTR", cat({chunk("LEAF", {'1'}, 2), {0}}), 13),
         "Chunk \"LEAF\" of size 2 runs past its container \"OUTR\" in brixParseContainer()\n"},
        {"child past the file", cat({chunk("OUTR", header("LEAF", 0, 100)), {}}),
         "Chunk \"LEAF\" of size 100 runs past its container \"OUTR\" in brixParseContainer()\n"},
        {"negative child size", chunk("OUTR", header("OTHR", 0, -5)),
         "Chunk \"OTHR\" of size -5 runs past its container \"OUTR\" in brixParseContainer()\n"},
        {"trailing bytes", chunk("OUTR", cat({chunk("LEAF", {'1'}), {1, 2, 3}})),
         "Truncated chunk header in container \"OUTR\" in brixParseContainer()\n"},
        {"nesting too deep", chunk("OUTR", deep),
         "Containers nested deeper than 16 in brixParseContainer()\n"},
    };
    for (const Case& c : cases) {
        MessageCapture capture;
        Parsed p = parseBytes(c.bytes);
        EXPECT_FALSE(p.ok) << c.what;
        EXPECT_TRUE(capture.sawDebug(c.message)) << c.what << "\n" << capture.dump();
    }
}

// Random mutations of a valid nested file: whatever the bytes, the parse
// ends (the sanitizer build checks it stays inside its buffers).
TEST(Chunks, MutatedFilesNeverCrash) {
    auto valid = chunk(
        "OUTR", cat({chunk("LEAF", {'a', 'b'}),
                     chunk("INNR", cat({chunk("LEAF", {'c'}), chunk("INNR", chunk("LEAF", {}))})),
                     chunk("OTHR", {1, 2, 3, 4})}));
    swtest::Rng rng(7);
    MessageCapture quiet;
    int parsedOk = 0;
    for (int round = 0; round < 300; ++round) {
        auto bytes = valid;
        int edits = rng.range(1, 4);
        for (int e = 0; e < edits; ++e)
            bytes[size_t(rng.range(0, int(bytes.size()) - 1))] = uint8_t(rng.next());
        if (rng.range(0, 3) == 0) bytes.resize(size_t(rng.range(0, int(bytes.size()))));
        parsedOk += parseBytes(bytes).ok;
    }
    EXPECT_GT(parsedOk, 0) << "some mutations (of payload bytes) still parse";
    EXPECT_LT(parsedOk, 300);
}

} // namespace
