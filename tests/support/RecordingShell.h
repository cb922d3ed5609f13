// A launcher for tests: records every program start asked of the shell instead of starting
// anything, and answers with a configurable result.
#pragma once

#include <string>
#include <vector>

#include "platform/Shell.h"

namespace testsupport {

struct RecordedLaunch {
  std::string verb;
  std::string file;
  std::string parameters;
  std::string directory;
};

class RecordingShell : public platform::Shell {
 public:
  std::vector<RecordedLaunch> launches;
  std::vector<std::string> deleted;
  std::vector<std::string> trashCopies;
  int copyToTrashResult = 0;  // non-zero: the copy fails
  int executeResult = 42;  // above 32: started

  int DeleteFile(const std::string& path, bool) override {
    deleted.push_back(path);
    return 0;
  }
  int CopyToTrash(const std::string& path) override {
    if (copyToTrashResult == 0) trashCopies.push_back(path);
    return copyToTrashResult;
  }
  int Execute(const std::string& verb, const std::string& file, const std::string& parameters,
              const std::string& directory) override {
    launches.push_back({verb, file, parameters, directory});
    return executeResult;
  }
};

}  // namespace testsupport
