#include "zipbuilder/rewrite/ArchiveReplace.h"

#include "platform/Env.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "platform/Umask.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipbuilder/core/ResultCodes.h"

platform::TemporaryFile CreateTemporaryBeside(platform::FileSystem& files,
                                              const std::string& archive) {
  const std::string dir = platform::ExtractFilePath(platform::ResolveSymlinks(archive));
  return platform::TemporaryFile(files, dir.empty() ? "." : dir);
}

ReplaceOutcome ReplaceArchive(platform::Env& env, platform::TemporaryFile& temporary,
                              const std::string& archive, bool keepUndoCopy) {
  platform::FileSystem& files = *env.files;
  const std::string target = platform::ResolveSymlinks(archive);
  const auto old = files.Stat(target);
  // An existing file keeps its mode; a new one gets what the umask lets new
  // files have. A failed mode change leaves the temporary's private mode: safe,
  // so not a failure.
  if (old && !old->isDirectory && !old->isSymlink)
    files.SetPermissions(temporary.Path(), old->mode & 07777);
  else if (!old)
    files.SetPermissions(temporary.Path(), 0666 & ~platform::CurrentUmask());
  if (old && keepUndoCopy && env.shell->CopyToTrash(target) != 0) {
    temporary.Discard();
    return ReplaceOutcome::TrashCopyFailed;
  }
  if (!temporary.Publish(target)) {
    temporary.Discard();
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
      result = kResultReported;
    }
  }
  files.Close(file);
  file = platform::kInvalidHandle;
  return result;
}

int TZipBuilder::ReplaceZipFile(platform::TemporaryFile& temporary, const std::string& archive,
                                DeleteOpts how) {
  switch (ReplaceArchive(*env_, temporary, archive, how == htdAllowUndo)) {
    case ReplaceOutcome::Replaced:
      return kResultOk;
    case ReplaceOutcome::TrashCopyFailed:
      ShowExceptionError(EZipBuilder(11049));
      break;
    case ReplaceOutcome::RenameFailed:
      ShowExceptionError(EZipBuilder(11048));
      break;
  }
  return kResultReported;
}
