// The new archive while it is being written: a private (0600) temporary file,
// unnamed where the file system allows, that takes the archive's place only
// through Commit(). Until then the old archive is never touched; destruction
// without Commit() removes the file, and a killed run leaves none behind.
#pragma once

#include <cstdint>
#include <string>

#include "platform/FileSystem.h"
#include "platform/TemporaryFile.h"

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
  // Flushes to disk and puts the file in the archive's place (copying it beside
  // the archive first when the temporary directory lies on another file system).
  void Commit(uint32_t archiveDosTime, uint32_t permissions);

 private:
  platform::TemporaryFile CreateTempIn(const std::string& dir);
  void Finish(platform::TemporaryFile& file, uint32_t archiveDosTime, uint32_t permissions);

  platform::FileSystem& fs_;
  std::string archive_;
  platform::TemporaryFile temp_;
  uint64_t position_ = 0;
  uint64_t failAfter_ = UINT64_MAX;  // test fault hook, see the constructor
};

}  // namespace zipdll
