// Small file and path services shared by the archive operations. They report
// through return codes only; callers decide what to show.
#include <vector>

#include "zipbuilder/ZipBuilder.h"
#include "zipbuilder/core/ResultCodes.h"
#include "zipbuilder/read/ArchiveStreams.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "ui/UiService.h"

using platform::FileHandle;

std::string TZipBuilder::AppendSlash(const std::string& path) {
  if (path.empty() || path.back() == '\\') return path;
  return path + '\\';
}

std::string TZipBuilder::ReplaceForwardSlash(std::string text) {
  for (char& c : text)
    if (c == '/') c = '\\';
  return text;
}

int TZipBuilder::CopyBuffer(FileHandle& in, FileHandle& out, int64_t count) {
  constexpr int64_t kChunk = 8192;
  std::vector<char> buffer;
  try {
    buffer.resize(kChunk);
  } catch (const std::bad_alloc&) {
    return kCopyFailed;
  }
  auto& files = *env_->files;
  int64_t chunk = 0, got = 0;
  do {
    chunk = count >= 0 ? std::min(count, kChunk) : kChunk;
    got = chunk > 0 ? files.Read(in, buffer.data(), static_cast<size_t>(chunk)) : 0;
    if (got < 0) return kCopyFailed;
    if (got > 0 && files.Write(out, buffer.data(), static_cast<size_t>(got)) != got) return kCopyFailed;
    if (OnProgress && showProgress_) OnProgress(this, ptBytesDone, "", got);
    if (count > 0) count -= got;
    ui_->ProcessMessages();
  } while (got == chunk && count != 0);
  return 0;
}

int TZipBuilder::CopyBulk(FileHandle& in, FileHandle& out, int64_t count) {
  if (count == 0) return kResultOk;
  const int64_t moved = MoveBlocks(*env_->files, in, out, count, [this](int64_t n) {
    if (OnProgress && showProgress_) OnProgress(this, ptBytesDone, "", n);
    ui_->ProcessMessages();
  });
  return moved < 0 || (count > 0 && moved < count) ? kCopyFailed : kResultOk;
}

int TZipBuilder::CopyFileA(const std::string& source, const std::string& destination) {
  showProgress_ = false;
  int result = kCopyNoSource;
  if (!FileExists(source)) return kCopyNoSource;
  auto& files = *env_->files;
  StartWaitCursor();
  FileHandle in = files.Open(source, platform::Access::Read, platform::Share::Read,
                             platform::Disposition::OpenExisting);
  if (in != platform::kInvalidHandle) {
    if (FileExists(destination)) EraseFile(destination, HowToDelete);
    FileHandle out = files.Open(destination, platform::Access::Write, platform::Share::None,
                                platform::Disposition::CreateAlways);
    int64_t outSize = -1, inSize = -1;
    if (out == platform::kInvalidHandle) {
      result = kCopyNoDestination;
    } else {
      result = CopyBuffer(in, out, -1);
      if (result == kResultOk) {
        auto stamp = files.GetFileDosTime(in);
        if (!stamp || !files.SetFileDosTime(out, *stamp)) result = kCopyDateNotSet;
      }
      outSize = files.Seek(out, 0, platform::SeekFrom::End);
      files.Close(out);
    }
    inSize = files.Seek(in, 0, platform::SeekFrom::End);
    files.Close(in);
    if (result == kResultOk && (inSize < 0 || outSize < 0 || inSize != outSize)) result = kCopySizeDiffers;
    if (result != kResultOk && result != kCopyDateNotSet) files.DeleteFile(destination);
  }
  StopWaitCursor();
  return result;
}

int TZipBuilder::EraseFile(const std::string& path, DeleteOpts how) {
  std::string full = path;
  if (platform::ExtractFilePath(full).empty())
    full = AppendSlash(env_->files->GetCurrentDirectory()) + full;
  if (!FileExists(full)) return kEraseMissing;
  return env_->shell->DeleteFile(full, how == htdAllowUndo);
}

std::string TZipBuilder::MakeTempFileName(const std::string& prefix, const std::string& extension) {
  try {
    std::string dir;
    if (!TempDir.empty()) {
      TempDir = AppendSlash(TempDir);
      dir = TempDir;
    } else {
      dir = env_->files->GetTempPath();
    }
    std::string name = env_->files->GetTempFileName(dir, prefix);
    if (name.empty()) return {};
    env_->files->DeleteFile(name);
    return platform::ChangeFileExt(name, extension);
  } catch (...) {
    return {};
  }
}
