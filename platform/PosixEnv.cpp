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
    // drives and registry: filled in by their providers once they exist
    return e;
  }();
  return env;
}

}  // namespace platform
