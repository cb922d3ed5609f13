// Rewriting an archive safely: the new version is written completely into a
// temporary file beside the archive and then renamed over it in one step, so
// that at every moment the archive's name holds either the old or the new file.
#pragma once

#include <string>

#include "platform/FileSystem.h"

namespace platform {
struct Env;
}

// A new, empty, private (0600) file created exclusively in the directory of
// `archive`, with the prefix "zip"; "" when none can be created. Being beside
// the archive, it can later be renamed over it without crossing file systems.
std::string CreateTemporaryBeside(platform::FileSystem& files, const std::string& archive);

enum class ReplaceOutcome {
  Replaced,
  TrashCopyFailed,  // the copy for undo could not be made: nothing was replaced
  RenameFailed,     // the rename failed: the archive is as it was
};

// Puts the finished, closed file `temporary` in the place of `archive`. The new
// file takes the old one's permission bits. With `keepUndoCopy` a copy of the
// old archive goes to the Trash first. On any failure the archive is left as
// it was and the temporary file is removed.
ReplaceOutcome ReplaceArchive(platform::Env& env, const std::string& temporary,
                              const std::string& archive, bool keepUndoCopy);
