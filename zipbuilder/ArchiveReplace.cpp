#include "zipbuilder/ArchiveReplace.h"

#include "platform/Env.h"
#include "platform/Paths.h"
#include "platform/Shell.h"

std::string CreateTemporaryBeside(platform::FileSystem& files, const std::string& archive) {
  return files.GetTempFileName(platform::ExtractFilePath(archive), "zip");
}

ReplaceOutcome ReplaceArchive(platform::Env& env, const std::string& temporary, const std::string& archive,
                              bool keepUndoCopy) {
  platform::FileSystem& files = *env.files;
  const auto old = files.Stat(archive);
  // A failed mode change leaves the temporary's private mode: safe, so not a failure.
  if (old && !old->isDirectory && !old->isSymlink) files.SetPermissions(temporary, old->mode & 07777);
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

