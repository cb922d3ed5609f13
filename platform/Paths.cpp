// Path texts and drive roots: the same on every system.
#include <cctype>
#include <cstdlib>

#include "platform/Drives.h"
#include "platform/Paths.h"

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

char DriveLetterOf(const std::string& root) {
  if (!HasDriveLetter(root)) return 0;
  return static_cast<char>(std::toupper(static_cast<unsigned char>(root[0])));
}

}  // namespace platform
