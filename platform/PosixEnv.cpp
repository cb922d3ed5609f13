#include <stdexcept>

#include "Clock.h"
#include "Drives.h"
#include "DynamicLibrary.h"
#include "Env.h"
#include "FileSystem.h"
#include "Registry.h"
#include "Security.h"
#include "Shell.h"

namespace platform {

Clock& SystemClockInstance();
DynamicLibraries& PosixDynamicLibraries();
Shell& PosixShell();
DriveProvider& PosixDriveProvider();

Env& DefaultEnv() {
  static Env env = [] {
    Env e;
    e.files = &PosixFileSystem();
    e.shell = &PosixShell();
    e.libraries = &PosixDynamicLibraries();
    e.clock = &SystemClockInstance();
    e.registry = &PosixRegistry();
    e.security = &PosixSecurity();
    e.drives = &PosixDriveProvider();
    return e;
  }();
  return env;
}

Env& RequireComplete(Env& env) {
  if (!env.Complete()) throw std::invalid_argument("platform environment with a missing member");
  return env;
}

}  // namespace platform
