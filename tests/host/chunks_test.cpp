// Chunked files: the writer's byte layout, nesting, and the container
// parser on well-formed and hostile input.
#include "../imagefile/filetest.h"

using namespace swtest;

namespace {

constexpr uint32_t idLeaf = VESK_ID('L', 'E', 'A', 'F');
constexpr uint32_t idInner = VESK_ID('I', 'N', 'N', 'R');

// What the handlers saw; "INNR" children are parsed as containers.
using ParseLog = std::vector<std::string>;

uint8_t onLeaf(void* user, uint32_t, uint32_t tag, int32_t size, file_tag* f) {
    auto* log = static_cast<ParseLog*>(user);
    uint32_t id, readTag;
    int32_t readSize;
    if (!brixReadChunkHeader(&id, &readTag, &readSize, f) || id != idLeaf || readTag != tag ||
        readSize != size)
        return 0;
    std::string payload(size_t(size), '\0');
    if (size && !libfileReadExact(f, payload.data(), uint32_t(size))) return 0;
    log->push_back("LEAF:" + payload);
    libfileSeekFromStart(f, 0); // somewhere odd: the parser must carry on regardless
    return 1;
}

uint8_t onInner(void* user, uint32_t, uint32_t, int32_t, file_tag* f);
const brixParseList parseList[] = {{idLeaf, onLeaf}, {idInner, onInner}};

uint8_t onInner(void* user, uint32_t, uint32_t, int32_t, file_tag* f) {
    auto* log = static_cast<ParseLog*>(user);
    log->push_back("INNR{");
    uint8_t ok = brixParseContainer(user, parseList, 2, f);
    log->push_back("}");
    return ok;
}

// Parses `bytes`; the log and the position the parse left.
bool parse(const Bytes& bytes, ParseLog& log, uint32_t* end = nullptr) {
    BytesFile f(bytes);
    bool ok = brixParseContainer(&log, parseList, 2, f);
    if (end) *end = libfileGetCurrentPosition(f);
    return ok;
}

} // namespace

// The writer settles sizes when a container ends and refuses negative
// ones; the parser calls the listed handlers (re-entrantly for "INNR"),
// skips other chunks and ends after its container.
TEST(Chunks, WrittenFilesParseBackThroughTheListedHandlers) {
    Bytes file = written([](file_tag* f) {
        brixChunk outer, inner;
        return brixStartChunk(f, &outer, VESK_ID('O', 'U', 'T', 'R'), 0) &&
               brixWriteChunk(f, idLeaf, 7, 3, "abc") &&
               brixWriteChunk(f, VESK_ID('O', 'T', 'H', 'R'), 0, 2, "xy") &&
               brixStartChunk(f, &inner, idInner, 0) && brixWriteChunk(f, idLeaf, 0, 0, nullptr) &&
               brixEndChunk(f, &inner) && brixWriteChunk(f, idLeaf, 0, 1, "z") &&
               brixEndChunk(f, &outer) && !brixWriteChunk(f, idLeaf, 0, -1, "x");
    });
    EXPECT_EQ(file,
              container("OUTR", {chunk("LEAF", {'a', 'b', 'c'}, 3, 7), chunk("OTHR", {'x', 'y'}),
                                 container("INNR", {chunk("LEAF", {})}), chunk("LEAF", {'z'})}));
    file.push_back(0xEE);
    ParseLog log;
    uint32_t end;
    EXPECT_TRUE(parse(file, log, &end));
    EXPECT_EQ(log, (std::vector<std::string>{"LEAF:abc", "INNR{", "LEAF:", "}", "LEAF:z"}));
    EXPECT_EQ(end, file.size() - 1) << "the parse ends after its container";
}

// The parser's messages, one hostile file each.
TEST(Chunks, HostileContainersFailWithTheirMessage) {
    Bytes deep = chunk("LEAF", {}); // in the containers' limit, one too many with "OUTR"
    for (int i = 0; i < VESK_MAX_NESTING; ++i)
        deep = chunk("INNR", deep);
    ParseLog log;
    EXPECT_TRUE(parse(deep, log));
    const struct {
        Bytes bytes;
        const char* message;
    } cases[] = {
        {{}, "Truncated container header in brixParseContainer()\n"},
        {chunk("OUTR", {}, -12),
         "Container \"OUTR\" of size -12 runs past the end of the file in brixParseContainer()\n"},
        {chunk("OUTR", {1, 2, 3}, 4),
         "Container \"OUTR\" of size 4 runs past the end of the file in brixParseContainer()\n"},
        {chunk("OUTR", chunk("LEAF", {'1', 0}, 3)),
         "Chunk \"LEAF\" of size 3 runs past its container \"OUTR\" in brixParseContainer()\n"},
        {chunk("OUTR", chunk("OTHR", {}, -5)),
         "Chunk \"OTHR\" of size -5 runs past its container \"OUTR\" in brixParseContainer()\n"},
        // Three bytes after a one-byte leaf: too few for a chunk header.
        {chunk("OUTR", chunk("LEAF", {'1', 1, 2, 3}, 1)),
         "Truncated chunk header in container \"OUTR\" in brixParseContainer()\n"},
        {chunk("OUTR", deep), "Containers nested deeper than 16 in brixParseContainer()\n"},
    };
    for (const auto& c : cases) {
        MessageCapture capture;
        EXPECT_FALSE(parse(c.bytes, log)) << c.message;
        EXPECT_TRUE(capture.sawDebug(c.message)) << c.message << capture.dump();
    }
}
