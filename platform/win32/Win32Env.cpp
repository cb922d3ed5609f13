#include "platform/Env.h"
#include "platform/win32/Win32Env.h"

namespace platform {

Env& DefaultEnv() {
  static Env env = [] {
    Env e;
    e.files = &Win32FileSystem();
    e.drives = &Win32Drives();
    e.registry = &Win32Registry();
    e.shell = &Win32Shell();
    e.libraries = &Win32Libraries();
    e.clock = &SystemClockInstance();
    e.security = &Win32Security();
    return e;
  }();
  return env;
}

}  // namespace platform
