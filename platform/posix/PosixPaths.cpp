#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Registry.h"

namespace platform {

namespace {

// The entry of directory `dir` that `name` stands for: the one spelled exactly so,
// else the first (in byte order) that matches it ignoring letter case; nullopt
// when there is none.
std::optional<std::string> FindEntry(const std::string& dir, const std::string& name) {
  struct stat st;
  if (::lstat((dir + "/" + name).c_str(), &st) == 0) return name;
  DIR* listing = ::opendir(dir.c_str());
  if (!listing) return std::nullopt;
  std::string folded = RegistryFoldCase(name);
  std::optional<std::string> found;
  while (struct dirent* e = ::readdir(listing)) {
    std::string entry = e->d_name;
    if (entry == "." || entry == ".." || RegistryFoldCase(entry) != folded) continue;
    if (!found || entry < *found) found = entry;
  }
  ::closedir(listing);
  return found;
}

// The components of `path` between its separators, "." dropped and ".." taking
// away the one before it (never more than there are).
std::vector<std::string> ResolvedComponents(std::string_view path) {
  std::vector<std::string> parts;
  std::string part;
  auto flush = [&] {
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    part.clear();
  };
  for (char c : path) {
    if (IsPathSeparator(c))
      flush();
    else
      part += c;
  }
  flush();
  return parts;
}

}  // namespace

std::string ToNativePath(const std::string& path) {
  if (!HasDriveLetter(path)) {
    std::string native = path;
    for (char& c : native)
      if (c == '\\') c = '/';
    return native;
  }
  // A drive-letter path is a Windows path: "." and ".." are taken by name and
  // ".." stops at the drive's root, as on Windows.
  const std::vector<std::string> parts = ResolvedComponents(std::string_view(path).substr(2));

  std::string native = WinePrefix() + "/dosdevices/" + static_cast<char>(path[0] | 0x20) + ":";
  bool existing = true;  // the components so far name entries that exist
  for (const std::string& name : parts) {
    if (existing) {
      std::optional<std::string> entry = FindEntry(native, name);
      existing = entry.has_value();
      native += "/" + (existing ? *entry : name);
    } else {
      native += "/" + name;
    }
  }
  if (path.size() > 2 && IsPathSeparator(path.back())) native += '/';
  return native;
}

std::string ResolveSymlinks(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {  // a loop of links ends as the kernel ends it
    char target[4096];
    ssize_t n = ::readlink(ToNativePath(current).c_str(), target, sizeof target);
    if (n <= 0 || n == static_cast<ssize_t>(sizeof target)) return current;
    std::string next(target, static_cast<size_t>(n));
    current = next[0] == '/' ? next : ExtractFilePath(current) + next;
  }
  return current;
}

std::string ExpandFileName(const std::string& path) {
  std::string prefix;  // "C:" or ""
  std::string rest = path;
  if (HasDriveLetter(path)) {
    prefix = path.substr(0, 2);
    rest = path.substr(2);
    if (rest.empty() || !IsPathSeparator(rest[0])) rest = "\\" + rest;
  } else if (rest.empty() || !IsPathSeparator(rest[0])) {
    rest = PosixFileSystem().GetCurrentDirectory() + "/" + rest;
  }
  const char sep = prefix.empty() ? '/' : '\\';
  const std::vector<std::string> parts = ResolvedComponents(rest);
  std::string result = prefix;
  for (const auto& p : parts) result += sep + p;
  // GetFullPathNameA keeps a trailing separator ("C:\a\" stays a directory path).
  if (parts.empty() || (!path.empty() && IsPathSeparator(path.back()))) result += sep;
  return result;
}

}  // namespace platform
