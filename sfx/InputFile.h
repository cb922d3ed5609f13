// Reading the stub's own file at positions, and where its program image ends.
#pragma once

// clang-format off
#include <windows.h>  // first: the other Windows headers build on it
// clang-format on

#include <cstddef>
#include <cstdint>
#include <string>

namespace sfx {

class InputFile {
 public:
  bool Open(const std::wstring& path);
  ~InputFile();
  uint64_t Size() const { return size_; }
  // Reads exactly `count` bytes at `offset`; false when they are not all inside the file.
  bool ReadAt(uint64_t offset, void* buffer, size_t count);
  bool Seek(uint64_t offset);
  // Reads on from the current position.
  size_t ReadSome(void* buffer, size_t count);

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  uint64_t size_ = 0;
};

// The end of this program's image: the end of its last section's raw data, where
// the settings header begins. 0 when the headers do not describe an image.
uint64_t ImageEnd(InputFile& file);

}  // namespace sfx
