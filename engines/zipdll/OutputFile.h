// The new archive while it is being written: a temporary file (O_EXCL, 0600)
// that takes the archive's place only through Commit(). Until then the old
// archive is never touched; destruction without Commit() removes the file.
#pragma once

#include <cstdint>
#include <string>

#include "platform/FileSystem.h"

namespace zipdll {

class OutputFile {
 public:
  // `tempDir` empty: the temporary file lies in the archive's directory.
  OutputFile(platform::FileSystem& fs, const std::string& archive, const std::string& tempDir);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void Write(const void* data, size_t size);
  void Write(const std::string& bytes) { Write(bytes.data(), bytes.size()); }
  uint64_t Position() const { return position_; }
  // Rewrites bytes already written (sizes and CRC of a streamed member).
  void Patch(uint64_t offset, const std::string& bytes);
  // Flushes to disk and renames over the archive (copying first when the
  // temporary directory lies on another file system).
  void Commit(uint32_t archiveDosTime, uint32_t permissions);
  const std::string& TempName() const { return tempName_; }

 private:
  void Discard();
  std::string CreateTempIn(const std::string& dir);

  platform::FileSystem& fs_;
  std::string archive_;
  std::string tempName_;
  platform::FileHandle handle_ = platform::kInvalidHandle;
  uint64_t position_ = 0;
  uint64_t failAfter_ = UINT64_MAX;  // test fault hook, see the constructor
  bool committed_ = false;
};

}  // namespace zipdll
