// The platform seam: one object per concern. Programs start from DefaultEnv();
// tests copy it and replace the concerns they fake. An Env handed to the
// component or the installer is complete: every member set, none falling back
// to a global behind the caller's back.
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

  bool Complete() const {
    return files && drives && registry && shell && libraries && clock && security;
  }
};

// The POSIX implementations, created once and never destroyed; complete.
Env& DefaultEnv();

// The POSIX file system alone, for the engines' entry points (an engine gets no
// Env through its command record) and for tests.
FileSystem& PosixFileSystem();

// `env` when it is complete; throws std::invalid_argument otherwise.
Env& RequireComplete(Env& env);

}  // namespace platform
