// A temporary directory, a private data directory (the Trash lives there), and
// the default platform whose file system fails where the test says: what tests
// of failed writes, moves and replacements build on.
#pragma once

#include "platform/Env.h"
#include "tests/support/FaultInjectingFileSystem.h"
#include "tests/support/TempDir.h"

namespace testsupport {

struct FaultInjectingEnv {
  TempDir dir;
  ScopedEnv data{"XDG_DATA_HOME", dir / "data"};
  platform::FaultInjectingFileSystem files{platform::PosixFileSystem()};
  platform::Env env = [this] {
    platform::Env e = platform::DefaultEnv();
    e.files = &files;
    return e;
  }();
};

}  // namespace testsupport
