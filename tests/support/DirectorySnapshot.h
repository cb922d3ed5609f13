// What a directory holds, for tests that must show an operation touched
// nothing (or exactly what it should): every file with its bytes, every
// symbolic link with its target, below `root`.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "TempDir.h"

namespace testsupport {

inline std::map<std::string, std::string> DirectorySnapshot(const std::string& root) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> state;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const std::string name = fs::relative(it->path(), root).string();
    if (it->is_symlink())
      state[name] = "-> " + fs::read_symlink(it->path()).string();
    else if (it->is_regular_file())
      state[name] = ReadTextFile(it->path().string());
  }
  return state;
}

}  // namespace testsupport
