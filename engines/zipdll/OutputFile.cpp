#include "OutputFile.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "EngineSession.h"
#include "platform/Paths.h"

namespace zipdll {
namespace {

[[noreturn]] void WriteFailed(int error) {
  throw EngineError(kEngineWriteError,
                    error ? platform::WithReason("Cannot write the temporary archive", error)
                          : "Cannot write the temporary archive (disk full?)");
}

}  // namespace

OutputFile::OutputFile(platform::FileSystem& fs, const std::string& archive, const std::string& tempDir)
    : fs_(fs), archive_(archive) {
  // Fault injection for tests: ZIPDLL_FAIL_WRITE_AFTER=N makes writing fail once
  // N bytes of the new archive have been written, as a full disk would.
  if (const char* limit = std::getenv("ZIPDLL_FAIL_WRITE_AFTER")) failAfter_ = std::strtoull(limit, nullptr, 10);
  std::string dir = tempDir.empty() ? platform::ExtractFilePath(archive) : tempDir;
  tempName_ = CreateTempIn(dir.empty() ? "." : dir);
  handle_ = fs_.Open(tempName_, platform::Access::ReadWrite, platform::Share::None,
                     platform::Disposition::OpenExisting);
  if (handle_ == platform::kInvalidHandle) {
    fs_.DeleteFile(tempName_);
    throw EngineError(
        kEngineTempError,
        platform::WithReason("Cannot open the temporary archive " + tempName_, fs_.LastError()));
  }
}

OutputFile::~OutputFile() {
  if (!committed_) Discard();
}

std::string OutputFile::CreateTempIn(const std::string& dir) {
  std::string name = fs_.GetTempFileName(dir, "zdl");
  if (name.empty())
    throw EngineError(
        kEngineTempError,
        platform::WithReason("Cannot create a temporary file in " + dir, fs_.LastError()));
  return name;
}

void OutputFile::Discard() {
  if (handle_ != platform::kInvalidHandle) fs_.Close(handle_);
  handle_ = platform::kInvalidHandle;
  if (!tempName_.empty()) fs_.DeleteFile(tempName_);
}

void OutputFile::Write(const void* data, size_t size) {
  if (position_ + size > failAfter_) WriteFailed(ENOSPC);
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    size_t chunk = size > (1u << 30) ? (1u << 30) : size;
    if (fs_.Write(handle_, p, chunk) != static_cast<int64_t>(chunk)) WriteFailed(fs_.LastError());
    p += chunk;
    size -= chunk;
    position_ += chunk;
  }
}

void OutputFile::Patch(uint64_t offset, const std::string& bytes) {
  if (fs_.Seek(handle_, static_cast<int64_t>(offset), platform::SeekFrom::Begin) < 0 ||
      fs_.Write(handle_, bytes.data(), bytes.size()) != static_cast<int64_t>(bytes.size()) ||
      fs_.Seek(handle_, static_cast<int64_t>(position_), platform::SeekFrom::Begin) < 0) {
    WriteFailed(fs_.LastError());
  }
}

void OutputFile::Commit(uint32_t archiveDosTime, uint32_t permissions) {
  if (!fs_.Sync(handle_)) WriteFailed(fs_.LastError());
  if (archiveDosTime) fs_.SetFileDosTime(handle_, archiveDosTime);
  fs_.Close(handle_);
  handle_ = platform::kInvalidHandle;
  fs_.SetPermissions(tempName_, permissions);
  if (!fs_.MoveFile(tempName_, archive_, true)) {
    // Another file system: copy beside the archive first, then rename there.
    std::string local = CreateTempIn(platform::ExtractFilePath(archive_).empty()
                                         ? "."
                                         : platform::ExtractFilePath(archive_));
    platform::FileHandle in = fs_.Open(tempName_, platform::Access::Read, platform::Share::Read,
                                       platform::Disposition::OpenExisting);
    platform::FileHandle out = fs_.Open(local, platform::Access::Write, platform::Share::None,
                                        platform::Disposition::OpenExisting);
    bool ok = in != platform::kInvalidHandle && out != platform::kInvalidHandle;
    std::vector<char> buffer(1 << 20);
    while (ok) {
      int64_t n = fs_.Read(in, buffer.data(), buffer.size());
      if (n < 0) ok = false;
      if (n <= 0) break;
      ok = fs_.Write(out, buffer.data(), static_cast<size_t>(n)) == n;
    }
    ok = ok && fs_.Sync(out);
    if (ok && archiveDosTime) fs_.SetFileDosTime(out, archiveDosTime);
    if (in != platform::kInvalidHandle) fs_.Close(in);
    if (out != platform::kInvalidHandle) fs_.Close(out);
    ok = ok && fs_.SetPermissions(local, permissions) && fs_.MoveFile(local, archive_, true);
    if (!ok) {
      fs_.DeleteFile(local);
      throw EngineError(kEngineTempError, "Cannot move the new archive into place: " + archive_);
    }
    fs_.DeleteFile(tempName_);
  }
  committed_ = true;
}

}  // namespace zipdll
