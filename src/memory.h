// The library's one allocator. Every block the library owns comes from
// memAlloc and goes back through memFree, so tests can count live blocks
// and make any chosen allocation fail.
#pragma once

#include <cstddef>
#include <cstdint>

// Returns null when memory runs out (or when a test made this allocation
// fail). A size of 0 still yields a distinct block.
void* memAlloc(size_t bytes);
// Releases a block from memAlloc; null is ignored.
void memFree(void* block);

// Test hooks. memFailNth(n) makes the n-th allocation from now fail (1 is
// the next one); 0 turns injection off. memFailureHit tells whether the
// chosen allocation has failed since. memLiveBlocks counts blocks handed
// out and not yet released.
void memFailNth(int64_t n);
bool memFailureHit();
int64_t memLiveBlocks();
