#include "platform/Clock.h"
#include "platform/Drives.h"
#include "platform/DynamicLibrary.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Security.h"
#include "platform/Shell.h"

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

}  // namespace platform
