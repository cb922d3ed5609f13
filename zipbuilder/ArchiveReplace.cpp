#include "zipbuilder/ArchiveReplace.h"

#include "platform/Env.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "zipbuilder/ZipBuilder.h"

std::string CreateTemporaryBeside(platform::FileSystem& files, const std::string& archive) {
  return files.GetTempFileName(platform::ExtractFilePath(archive), "zip");
}

ReplaceOutcome ReplaceArchive(platform::Env& env, const std::string& temporary,
                              const std::string& archive, bool keepUndoCopy) {
  platform::FileSystem& files = *env.files;
  const auto old = files.Stat(archive);
  // A failed mode change leaves the temporary's private mode: safe, so not a failure.
  if (old && !old->isDirectory && !old->isSymlink)
    files.SetPermissions(temporary, old->mode & 07777);
  if (old && keepUndoCopy && env.shell->CopyToTrash(archive) != 0) {
    files.DeleteFile(temporary);
    return ReplaceOutcome::TrashCopyFailed;
  }
  if (!files.MoveFile(temporary, archive, true)) {
    files.DeleteFile(temporary);
    return ReplaceOutcome::RenameFailed;
  }
  return ReplaceOutcome::Replaced;
}

int TZipBuilder::FinishTemporary(platform::FileHandle& file, uint32_t dosTime, int result) {
  auto& files = *env_->files;
  if (result == 0) {
    if (dosTime != 0) files.SetFileDosTime(file, dosTime);  // a date left unset loses nothing
    // The rename must not make a file whose contents are still on their way the archive.
    if (!files.Sync(file)) {
      ShowExceptionError(EZipBuilder(11048));
      result = -7;
    }
  }
  files.Close(file);
  file = platform::kInvalidHandle;
  return result;
}

int TZipBuilder::ReplaceZipFile(const std::string& temporary, const std::string& archive,
                                DeleteOpts how) {
  switch (ReplaceArchive(*env_, temporary, archive, how == htdAllowUndo)) {
    case ReplaceOutcome::Replaced:
      return 0;
    case ReplaceOutcome::TrashCopyFailed:
      ShowExceptionError(EZipBuilder(11049));
      break;
    case ReplaceOutcome::RenameFailed:
      ShowExceptionError(EZipBuilder(11048));
      break;
  }
  return -7;
}
