#include "memory.h"

#include <cstdlib>

namespace {

int64_t liveBlocks = 0;
int64_t allocationsUntilFailure = 0; // 0: no failure planned
bool failureHit = false;

} // namespace

void* memAlloc(size_t bytes) {
    if (allocationsUntilFailure > 0 && --allocationsUntilFailure == 0) {
        failureHit = true;
        return nullptr;
    }
    void* block = std::malloc(bytes ? bytes : 1);
    if (block) ++liveBlocks;
    return block;
}

void memFree(void* block) {
    if (!block) return;
    --liveBlocks;
    std::free(block);
}

void memFailNth(int64_t n) {
    allocationsUntilFailure = n > 0 ? n : 0;
    failureHit = false;
}

bool memFailureHit() {
    return failureHit;
}

int64_t memLiveBlocks() {
    return liveBlocks;
}
