#include "Clock.h"
#include "DynamicLibrary.h"
#include "Env.h"
#include "FileSystem.h"
#include "Shell.h"

namespace platform {

Clock& SystemClockInstance();
DynamicLibraries& PosixDynamicLibraries();
Shell& PosixShell();

Env& DefaultEnv() {
  static Env env = [] {
    Env e;
    e.files = &PosixFileSystem();
    e.shell = &PosixShell();
    e.libraries = &PosixDynamicLibraries();
    e.clock = &SystemClockInstance();
    // drives and registry: filled in by their providers once they exist
    return e;
  }();
  return env;
}

}  // namespace platform
