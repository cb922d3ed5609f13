// What keeping installed files undoable needs beyond FileSystem: a second name
// for a file, making a directory's entries durable, and modification times to
// the nanosecond. Paths as FileSystem takes them (ToNativePath).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

struct ExactTime {
  int64_t seconds = 0;  // since 1970 UTC
  uint32_t nanoseconds = 0;
  bool operator==(const ExactTime&) const = default;
};

class FileKeeping {
 public:
  virtual ~FileKeeping() = default;
  // A second name `linkPath` for the file at `existing` (a symbolic link gets a
  // second name itself, it is not followed); fails when `linkPath` exists or the
  // file system has no hard links.
  virtual bool CreateHardLink(const std::string& existing, const std::string& linkPath) = 0;
  // Makes the entries made, renamed and removed in directory `path` durable.
  virtual bool SyncDirectory(const std::string& path) = 0;
  // The last-write time of `path` itself (a link's own); none when it is missing.
  virtual std::optional<ExactTime> GetPathTime(const std::string& path) = 0;
  // Sets last-write and last-access time of `path` itself to `time`.
  virtual bool SetPathTime(const std::string& path, ExactTime time) = 0;
};

// The implementations, each created once and never destroyed.
FileKeeping& PosixFileKeeping();
FileKeeping& Win32FileKeeping();
// The one of the system the program was built for.
FileKeeping& DefaultFileKeeping();

}  // namespace platform
