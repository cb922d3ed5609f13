// The platform seam: one object per concern. Production code asks DefaultEnv();
// tests build an Env of their own with fakes and hand it to the object under test.
#pragma once

namespace platform {

class FileSystem;
class DriveProvider;
class Registry;
class Shell;
class DynamicLibraries;
class Clock;
class Security;

struct Env {
  FileSystem* files = nullptr;
  DriveProvider* drives = nullptr;
  Registry* registry = nullptr;
  Shell* shell = nullptr;
  DynamicLibraries* libraries = nullptr;
  Clock* clock = nullptr;
  Security* security = nullptr;
};

// The POSIX implementations, created once and never destroyed.
Env& DefaultEnv();

// The POSIX file system alone (used by the engines, which get no Env).
FileSystem& PosixFileSystem();

}  // namespace platform
