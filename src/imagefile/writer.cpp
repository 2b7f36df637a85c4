#include "imagefile/writer.h"

#include <cstring>

bool FileWriter::flush() {
    if (filled_ && !failed_ && !fileWrite(file_, buffer_, filled_)) failed_ = true;
    filled_ = 0;
    return !failed_;
}

void FileWriter::write(const uint8_t* bytes, uint32_t count) {
    while (count > 0) {
        uint32_t part = count < capacity ? count : capacity;
        std::memcpy(reserve(part), bytes, part);
        commit(part);
        bytes += part;
        count -= part;
    }
}
