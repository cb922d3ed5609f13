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

std::string WinePrefix() {
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix && *prefix) return prefix;
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/root") + "/.wine";
}

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

bool HasDriveLetter(const std::string& path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

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

std::string OnSystemDrive(const std::string& path) {
  if (path.empty() || HasDriveLetter(path)) return path;
  return IsPathSeparator(path[0]) ? "C:" + path : "C:\\" + path;
}

size_t LastSeparator(const std::string& path, bool withColon) {
  for (size_t i = path.size(); i-- > 0;) {
    if (IsPathSeparator(path[i]) || (withColon && path[i] == ':')) return i;
  }
  return std::string::npos;
}

std::string ExtractFilePath(const std::string& path) {
  size_t pos = LastSeparator(path);
  return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

std::string ExtractFileName(const std::string& path) {
  size_t pos = LastSeparator(path);
  return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string ExtractFileExt(const std::string& path) {
  size_t nameStart = LastSeparator(path);
  nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return {};
  return path.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  std::string old = ExtractFileExt(path);
  return path.substr(0, path.size() - old.size()) + ext;
}

std::string ExtractDriveRoot(const std::string& path) {
  if (HasDriveLetter(path)) return path.substr(0, 2) + "\\";
  return "\\";
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (IsPathSeparator(dir.back())) return dir + name;
  return dir + "/" + name;
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
