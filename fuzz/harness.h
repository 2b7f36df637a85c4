// Shared pieces of the fuzz targets: the input as a named file (the
// readers work on files, and TGA is chosen by name), silenced messages,
// and the leak check every target ends with.
#pragma once

#include <spanwright/spanwright.h>

#include "memory.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

namespace fuzz {

// The directory the inputs are written to: private to the process, on a
// memory file system when there is one, removed at exit.
const std::string& workDir();

// Writes the bytes to workDir()/name and opens the file for reading;
// closed when the object dies.
class InputFile {
  public:
    InputFile(const uint8_t* data, size_t size, const char* name);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    file_tag* get() const { return file_; }

  private:
    file_tag* file_ = nullptr;
};

// Drops every DebugPrintf and _Error text (they would flood the output).
void silenceMessages();

// Aborts (a finding) unless the library's live blocks are back at `before`.
void expectNoLeak(int64_t before, const char* what);

// Aborts with a message: a round trip that did not give back its input.
[[noreturn]] void mismatch(const char* what);

// One load of arbitrary bytes as `input.bin`: `use` runs on what a load
// gives before `release` takes it back; a failed load must clear its
// out-pointer, and nothing may be left allocated.
template <class T>
void loadOnce(const uint8_t* data, size_t size, const char* what, uint8_t (*load)(T**, file_tag*),
              void (*release)(T*), std::type_identity_t<void (*)(T*)> use = nullptr) {
    silenceMessages();
    const int64_t before = memLiveBlocks();
    {
        InputFile file(data, size, "input.bin");
        T* loaded = nullptr;
        if (load(&loaded, file.get())) {
            if (use) use(loaded);
            release(loaded);
        } else if (loaded) {
            mismatch((std::string(what) + " failed without clearing its out-pointer").c_str());
        }
    }
    expectNoLeak(before, what);
}

} // namespace fuzz
