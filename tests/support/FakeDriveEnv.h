// A temporary directory, fake drives in a private prefix below it, and the
// default platform with those drives in place: what drive and volume tests build on.
#pragma once

#include "platform/Env.h"
#include "tests/support/FakeDrives.h"
#include "tests/support/TempDir.h"

namespace testsupport {

struct FakeDriveEnv {
  TempDir dir;
  platform::FakeDrives drives{dir / "prefix"};
  platform::Env env = [this] {
    platform::Env e = platform::DefaultEnv();
    e.drives = &drives;
    return e;
  }();
};

}  // namespace testsupport
