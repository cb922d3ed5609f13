#include "engines/zipdll/OutputFile.h"

#include <cerrno>
#include <cstdlib>

#include "engines/zipdll/EngineSession.h"
#include "platform/Paths.h"

namespace zipdll {
namespace {

[[noreturn]] void WriteFailed(int error) {
  throw EngineError(kEngineWriteError,
                    error ? platform::WithReason("Cannot write the temporary archive", error)
                          : "Cannot write the temporary archive (disk full?)");
}

std::string DirectoryOf(const std::string& path) {
  const std::string dir = platform::ExtractFilePath(path);
  return dir.empty() ? "." : dir;
}

}  // namespace

OutputFile::OutputFile(platform::FileSystem& fs, const std::string& archive,
                       const std::string& tempDir)
    : fs_(fs), archive_(archive) {
  // Fault injection for tests: ZIPDLL_FAIL_WRITE_AFTER=N makes writing fail once
  // N bytes of the new archive have been written, as a full disk would.
  if (const char* limit = std::getenv("ZIPDLL_FAIL_WRITE_AFTER"))
    failAfter_ = std::strtoull(limit, nullptr, 10);
  temp_ = CreateTempIn(tempDir.empty() ? DirectoryOf(archive) : tempDir);
}

OutputFile::~OutputFile() = default;  // an uncommitted file goes with temp_

platform::TemporaryFile OutputFile::CreateTempIn(const std::string& dir) {
  platform::TemporaryFile file(fs_, dir);
  if (!file.IsOpen())
    throw EngineError(
        kEngineTempError,
        platform::WithReason("Cannot create a temporary file in " + dir, fs_.LastError()));
  return file;
}

void OutputFile::Write(const void* data, size_t size) {
  if (position_ + size > failAfter_) WriteFailed(ENOSPC);
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    size_t chunk = size > (1u << 30) ? (1u << 30) : size;
    if (fs_.Write(temp_.Handle(), p, chunk) != static_cast<int64_t>(chunk))
      WriteFailed(fs_.LastError());
    p += chunk;
    size -= chunk;
    position_ += chunk;
  }
}

void OutputFile::Patch(uint64_t offset, const std::string& bytes) {
  const platform::FileHandle h = temp_.Handle();
  if (fs_.Seek(h, static_cast<int64_t>(offset), platform::SeekFrom::Begin) < 0 ||
      fs_.Write(h, bytes.data(), bytes.size()) != static_cast<int64_t>(bytes.size()) ||
      fs_.Seek(h, static_cast<int64_t>(position_), platform::SeekFrom::Begin) < 0) {
    WriteFailed(fs_.LastError());
  }
}

// On disk, dated and with its final permissions: ready to take a name.
void OutputFile::Finish(platform::TemporaryFile& file, uint32_t archiveDosTime,
                        uint32_t permissions) {
  if (!fs_.Sync(file.Handle())) WriteFailed(fs_.LastError());
  if (archiveDosTime) fs_.SetFileDosTime(file.Handle(), archiveDosTime);
  fs_.SetPermissions(file.Path(), permissions);
}

void OutputFile::Commit(uint32_t archiveDosTime, uint32_t permissions) {
  Finish(temp_, archiveDosTime, permissions);
  if (temp_.Publish(archive_)) return;
  // Another file system: copy beside the archive first, then name it there.
  platform::TemporaryFile local = CreateTempIn(DirectoryOf(archive_));
  bool ok = fs_.Seek(temp_.Handle(), 0, platform::SeekFrom::Begin) == 0 &&
            fs_.CopyRange(temp_.Handle(), local.Handle(), static_cast<int64_t>(position_)) ==
                static_cast<int64_t>(position_);
  if (ok) Finish(local, archiveDosTime, permissions);
  if (!ok || !local.Publish(archive_))
    throw EngineError(kEngineTempError,
                      platform::WithReason("Cannot move the new archive into place: " + archive_,
                                           fs_.LastError()));
  temp_.Discard();
}

}  // namespace zipdll
