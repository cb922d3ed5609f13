// The Win32 implementations of the platform's concerns, each created once and
// never destroyed. DefaultEnv() hands out all of them.
#pragma once

#include "platform/Env.h"

namespace platform {

FileSystem& Win32FileSystem();
DriveProvider& Win32Drives();
Registry& Win32Registry();
Shell& Win32Shell();
DynamicLibraries& Win32Libraries();
Clock& SystemClockInstance();
Security& Win32Security();

}  // namespace platform
