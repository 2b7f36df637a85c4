// Buffered output of one file write. A writer keeps one on its stack for
// the length of the call: nothing about a write outlives it, and two
// writes never share a buffer.
//
// The first fileWrite that fails is recorded and everything after it is
// dropped, so a writer tests the outcome where it decides to stop or to
// report, not after every byte.
#pragma once

#include <spanwright/vesk.h>

#include "host/byteorder.h"

#include <cstdint>

class FileWriter {
  public:
    static constexpr uint32_t capacity = 4096;

    explicit FileWriter(file_tag* file) : file_(file) {}
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    void put(uint8_t byte) {
        *reserve(1) = byte;
        ++filled_;
    }
    void putLe16(uint32_t value) {
        storeLe16(reserve(2), value);
        filled_ += 2;
    }
    void write(const uint8_t* bytes, uint32_t count);
    // Room for `bytes` (at most capacity) in one piece, written out first
    // when less is left; commit() then takes the bytes actually used.
    uint8_t* reserve(uint32_t bytes) {
        if (capacity - filled_ < bytes) flush();
        return buffer_ + filled_;
    }
    void commit(uint32_t bytes) { filled_ += bytes; }
    // Writes out what is buffered; false once any write has failed.
    bool flush();
    bool failed() const { return failed_; }

  private:
    file_tag* file_;
    uint32_t filled_ = 0;
    bool failed_ = false;
    uint8_t buffer_[capacity];
};
