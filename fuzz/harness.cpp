#include "harness.h"

#include "memory.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace fuzz {

namespace {

void dropMessage(void*, int32_t, const char*) {}

void removeWorkDir() {
    std::error_code ec;
    std::filesystem::remove_all(workDir(), ec);
}

} // namespace

const std::string& workDir() {
    // Never destroyed: the exit handler that removes the directory runs
    // after static destructors would have.
    static const std::string* dir = [] {
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = base + "/spanwright-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        std::atexit(removeWorkDir);
        return new std::string(pattern);
    }();
    return *dir;
}

InputFile::InputFile(const uint8_t* data, size_t size, const char* name) {
    std::string path = workDir() + "/" + name;
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out || std::fwrite(data, 1, size, out) != size || std::fclose(out) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
    if (!fileOpen(&file_, path.c_str())) std::abort();
}

InputFile::~InputFile() {
    fileClose(file_);
}

void silenceMessages() {
    veskSetMessageHook(dropMessage, nullptr);
}

void expectNoLeak(int64_t before, const char* what) {
    if (memLiveBlocks() != before) {
        std::fprintf(stderr, "%s left %lld blocks allocated\n", what,
                     static_cast<long long>(memLiveBlocks() - before));
        std::abort();
    }
}

void mismatch(const char* what) {
    std::fprintf(stderr, "round trip mismatch: %s\n", what);
    std::abort();
}

} // namespace fuzz
