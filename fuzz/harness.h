// Shared pieces of the fuzz targets: the input as a named file (the
// readers work on files, and TGA is chosen by name), silenced messages,
// and the leak check every target ends with.
#pragma once

#include <spanwright/spanwright.h>

#include <cstddef>
#include <cstdint>
#include <string>

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

} // namespace fuzz
