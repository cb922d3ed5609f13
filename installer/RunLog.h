// The log of a run (`setup --log FILE`): one line per step, each with the local
// date and time, appended to the file and flushed at once, so that the lines up
// to a crash are there.
#pragma once

#include <functional>
#include <string>

#include "platform/FileSystem.h"

namespace installer {

class RunLog {
 public:
  explicit RunLog(platform::FileSystem& files) : files_(files) {}
  ~RunLog();
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // Opens `path` for appending (created when missing); false when it cannot be.
  bool Open(const std::string& path);
  void Write(const std::string& line);
  // Write, as the installer takes it; does nothing while no file is open.
  std::function<void(const std::string&)> Writer() {
    return [this](const std::string& line) { Write(line); };
  }

 private:
  platform::FileSystem& files_;
  platform::FileHandle handle_ = platform::kInvalidHandle;
};

// "2026-12-09 21:15:03.250 " for now, in local time.
std::string LogTimestamp();

}  // namespace installer
