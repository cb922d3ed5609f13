// Rewriting an archive safely: the new version is written completely into a
// temporary file beside the archive, unnamed while it is written where the file
// system allows, and then takes the archive's place in one step, so that at
// every moment the archive's name holds either the old or the new file, and a
// killed run leaves no temporary behind. An archive reached through a symbolic
// link is the link's target: that file is replaced, in its own directory, and
// the link stays.
#pragma once

#include <string>

#include "platform/FileSystem.h"
#include "platform/TemporaryFile.h"

namespace platform {
struct Env;
}

// A new, empty, private (0600) file in the directory of `archive` (of its
// target when it is a link); not open when none can be created. Being beside
// the archive, it can later take its place without crossing file systems.
// Path() opens it for writing.
platform::TemporaryFile CreateTemporaryBeside(platform::FileSystem& files,
                                              const std::string& archive);

enum class ReplaceOutcome {
  Replaced,
  TrashCopyFailed,  // the copy for undo could not be made: nothing was replaced
  RenameFailed,     // the rename failed: the archive is as it was
};

// Puts the finished file `temporary` (every other handle to it closed) in the
// place of `archive`. The new file takes the old one's permission bits; where
// there was none, the mode the umask gives new files. With
// `keepUndoCopy` a copy of the old archive goes to the Trash first. On any
// failure the archive is left as it was and the temporary file is removed.
ReplaceOutcome ReplaceArchive(platform::Env& env, platform::TemporaryFile& temporary,
                              const std::string& archive, bool keepUndoCopy);
