// What a directory holds, for comparing trees (an extraction against the files
// it came from, a directory an operation must leave untouched). Paths are
// relative to `root`; a missing root holds nothing.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace testsupport {

enum class TreeEntries { FilesAndLinks, WithDirectories };

// Every file with its bytes and every symbolic link as "-> target"; with
// WithDirectories every directory too, as "<dir>".
inline std::map<std::string, std::string> FileTree(const std::string& root,
                                                   TreeEntries which = TreeEntries::FilesAndLinks) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> tree;
  if (!fs::exists(root)) return tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const std::string name = fs::relative(it->path(), root).string();
    if (it->is_symlink())
      tree[name] = "-> " + fs::read_symlink(it->path()).string();
    else if (it->is_regular_file())
      tree[name] = ReadTextFile(it->path().string());
    else if (it->is_directory() && which == TreeEntries::WithDirectories)
      tree[name] = "<dir>";
  }
  return tree;
}

// The names of everything below `root`, sorted, each directory's with a "/" after it.
inline std::vector<std::string> FileTreeNames(const std::string& root) {
  namespace fs = std::filesystem;
  std::vector<std::string> names;
  if (!fs::exists(root)) return names;
  for (const auto& e : fs::recursive_directory_iterator(root))
    names.push_back(fs::relative(e.path(), root).string() + (e.is_directory() ? "/" : ""));
  std::sort(names.begin(), names.end());
  return names;
}

// The modification time, in seconds, of every regular file below `root`.
inline std::map<std::string, int64_t> FileTimes(const std::string& root) {
  namespace fs = std::filesystem;
  std::map<std::string, int64_t> times;
  if (!fs::exists(root)) return times;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    const auto since = fs::file_time_type::clock::to_sys(e.last_write_time()).time_since_epoch();
    times[fs::relative(e.path(), root).string()] =
        std::chrono::duration_cast<std::chrono::seconds>(since).count();
  }
  return times;
}

}  // namespace testsupport
