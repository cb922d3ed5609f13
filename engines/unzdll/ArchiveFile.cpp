#include "engines/unzdll/ArchiveFile.h"

#include <cstring>

#include "engines/ZipEngineApi.h"
#include "engines/common/EngineError.h"

namespace unzdll {

bool MemorySource::ReadAt(uint64_t offset, void* buffer, size_t count) {
  if (offset > size_ || count > size_ - offset) return false;
  // An empty block may have no address at all, nor an empty buffer.
  if (count != 0) std::memcpy(buffer, data_ + offset, count);
  return true;
}

ArchiveFile::ArchiveFile(platform::FileSystem& files, const std::string& path)
    : files_(files),
      handle_(files.Open(path, platform::Access::Read, platform::Share::ReadWrite,
                         platform::Disposition::OpenExisting)) {
  if (handle_ == platform::kInvalidHandle)
    throw engine::EngineError(
        kEngineOpenError, platform::WithReason("Cannot open archive " + path, files.LastError()));
  int64_t size = files_.Size(handle_);
  if (size < 0) {
    files_.Close(handle_);
    throw engine::EngineError(
        kEngineReadError, platform::WithReason("Cannot read archive " + path, files.LastError()));
  }
  size_ = static_cast<uint64_t>(size);
}

ArchiveFile::~ArchiveFile() { files_.Close(handle_); }

bool ArchiveFile::ReadAt(uint64_t offset, void* buffer, size_t count) {
  if (offset > size_ || count > size_ - offset) return false;
  return files_.ReadAt(handle_, buffer, count, offset) == static_cast<int64_t>(count);
}

}  // namespace unzdll
