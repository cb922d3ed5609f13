// Drives on POSIX, laid out like a Wine prefix: drive letter x is the directory
// $WINEPREFIX/dosdevices/x:, its type comes from the prefix's registry, its
// label and serial from the files .windows-label and .windows-serial at its root,
// and its space from statvfs. Paths without a drive letter lie on a fixed drive
// whose root is "/".
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/Drives.h"
#include "platform/Paths.h"
#include "platform/posix/PosixFormatDrive.h"

namespace platform {

// The registry's word for a drive's type ("floppy", "cdrom", "network", "hd"),
// empty when it names none. Defined with the registry reader.
std::string WineDriveTypeSetting(char letter);

namespace {

// The directory that holds the drive's files, or "" for an undefined letter.
std::string DriveDirectory(const std::string& root) {
  char letter = DriveLetterOf(root);
  if (!letter) return "/";
  std::string dir = WinePrefix() + "/dosdevices/" + static_cast<char>(std::tolower(letter)) + ":";
  struct stat st;
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return "";
  return dir;
}

bool LetterDefined(char letter) {
  std::string link = WinePrefix() + "/dosdevices/" + static_cast<char>(std::tolower(letter)) + ":";
  struct stat st;
  return ::lstat(link.c_str(), &st) == 0;  // a dangling link is a drive without disk
}

std::string FirstLine(const std::string& path, bool& found) {
  std::ifstream in(path, std::ios::binary);
  found = static_cast<bool>(in);
  std::string line;
  if (found) std::getline(in, line);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  return line;
}

class PosixDrives : public DriveProvider {
 public:
  int GetDriveType(const std::string& root) override {
    char letter = DriveLetterOf(root);
    if (!letter) return kDriveFixed;
    if (!LetterDefined(letter)) return kDriveNoRootDir;
    std::string setting = WineDriveTypeSetting(letter);
    for (char& c : setting) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (setting == "floppy") return kDriveRemovable;
    if (setting == "cdrom") return kDriveCdrom;
    if (setting == "network") return kDriveRemote;
    return kDriveFixed;
  }

  uint32_t GetLogicalDrives() override {
    uint32_t mask = 0;
    for (char letter = 'A'; letter <= 'Z'; ++letter)
      if (LetterDefined(letter)) mask |= 1u << (letter - 'A');
    return mask;
  }

  VolumeInfo GetVolumeInformation(const std::string& root) override {
    VolumeInfo info;
    std::string dir = DriveDirectory(root);
    if (dir.empty()) {
      info.error = kErrorNotReady;
      return info;
    }
    bool found = false;
    info.label = FirstLine(JoinPath(dir, ".windows-label"), found);
    std::string serial = FirstLine(JoinPath(dir, ".windows-serial"), found);
    if (found) info.serial = static_cast<uint32_t>(std::strtoul(serial.c_str(), nullptr, 16));
    info.ok = true;
    return info;
  }

  std::optional<DiskSpace> GetDiskFreeSpace(const std::string& root) override {
    std::string dir = DriveDirectory(root);
    struct statvfs vfs;
    if (dir.empty() || ::statvfs(dir.c_str(), &vfs) != 0) return std::nullopt;
    DiskSpace space;
    space.freeBytes = static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
    space.totalBytes = static_cast<int64_t>(vfs.f_blocks) * static_cast<int64_t>(vfs.f_frsize);
    return space;
  }

  bool SetVolumeLabel(const std::string& root, const std::string& label) override {
    std::string dir = DriveDirectory(root);
    if (dir.empty() || !DriveLetterOf(root)) return false;  // "/" carries no label
    std::ofstream out(JoinPath(dir, ".windows-label"), std::ios::binary | std::ios::trunc);
    out << label << '\n';
    return static_cast<bool>(out);
  }

  bool IsDiskInDrive(const std::string& root) override { return !DriveDirectory(root).empty(); }

  bool CanFormatDrive(const std::string& root) override {
    char letter = DriveLetterOf(root);
    return letter && GetDriveType(root) == kDriveRemovable &&
           FindFormatTarget(letter).kind != FormatTarget::Kind::None;
  }

  int FormatDrive(const std::string& root, const std::string& label) override {
    if (!CanFormatDrive(root)) return -3;
    return FormatTargetWithLabel(FindFormatTarget(DriveLetterOf(root)), label);
  }
};

}  // namespace

DriveProvider& PosixDriveProvider() {
  static PosixDrives drives;
  return drives;
}

}  // namespace platform
