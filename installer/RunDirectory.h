// A directory of this run alone, removed with the files it holds when the run
// is done: nothing left or planted in the temporary directory can take the
// place of what the run puts there.
#pragma once

#include <string>
#include <utility>

#include "platform/FileSystem.h"

namespace installer {

struct RunDirectory {
  RunDirectory(platform::FileSystem& files, std::string made) : files(files), path(std::move(made)) {}
  ~RunDirectory() {
    if (path.empty()) return;
    if (auto entries = files.ListDirectory(path))
      for (const auto& entry : *entries)
        if (!entry.info.isDirectory) files.DeleteFile(path + entry.name);
    files.RemoveDirectory(path);
  }
  RunDirectory(const RunDirectory&) = delete;
  RunDirectory& operator=(const RunDirectory&) = delete;

  platform::FileSystem& files;
  std::string path;  // with its trailing separator; "" when it could not be made
};

}  // namespace installer
