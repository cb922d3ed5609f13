// What a directory holds, for comparing trees (an extraction against the files
// it came from, a directory an operation must leave untouched). Paths are
// relative to `root`; a missing root holds nothing.
#pragma once

#include <sys/stat.h>

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
    const std::string name = fs::relative(it->path(), root).generic_string();
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
    names.push_back(fs::relative(e.path(), root).generic_string() + (e.is_directory() ? "/" : ""));
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

#ifndef _WIN32
// `root` (as ".") and everything below it, each with its type and permission
// bits, its modification time to the nanosecond and, for a file or link, what it
// holds: two equal states are the same tree byte for byte.
inline std::map<std::string, std::string> FileTreeState(const std::string& root) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> state;
  auto describe = [&state](const fs::path& path, const std::string& name) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return;
    std::string text = std::to_string(st.st_mode) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
                       std::to_string(st.st_mtim.tv_nsec);
    if (S_ISREG(st.st_mode)) text += " " + ReadTextFile(path.string());
    if (S_ISLNK(st.st_mode)) text += " -> " + fs::read_symlink(path).string();
    state[name] = text;
  };
  if (!fs::exists(root)) return state;
  describe(root, ".");
  for (const auto& e : fs::recursive_directory_iterator(root)) describe(e.path(), fs::relative(e.path(), root).string());
  return state;
}
#endif

}  // namespace testsupport
