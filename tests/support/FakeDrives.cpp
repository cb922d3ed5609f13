#include "tests/support/FakeDrives.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace platform {

namespace fs = std::filesystem;

FakeDrives::FakeDrives(const std::string& prefix) : prefix_(prefix) {
  if (const char* old = std::getenv("WINEPREFIX")) previousPrefix_ = old;
  ::setenv("WINEPREFIX", prefix_.c_str(), 1);
  std::error_code ec;
  fs::create_directories(fs::path(prefix_) / "dosdevices", ec);
}

FakeDrives::~FakeDrives() {
  for (auto& [letter, drive] : drives_) {
    std::error_code ec;
    fs::remove(LinkPath(letter), ec);
  }
  if (previousPrefix_)
    ::setenv("WINEPREFIX", previousPrefix_->c_str(), 1);
  else
    ::unsetenv("WINEPREFIX");
}

std::string FakeDrives::LinkPath(char letter) const {
  return prefix_ + "/dosdevices/" +
         static_cast<char>(std::tolower(static_cast<unsigned char>(letter))) + ":";
}

void FakeDrives::AddDrive(char letter, int type) {
  letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  drives_[letter].type = type;
}

void FakeDrives::Insert(char letter, const Disk& disk) {
  Eject(letter);
  letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  drives_[letter].disk = disk;
  std::error_code ec;
  fs::create_directories(disk.directory, ec);
  fs::create_directory_symlink(fs::absolute(disk.directory), LinkPath(letter), ec);
}

void FakeDrives::Eject(char letter) {
  letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  drives_[letter].disk.reset();
  std::error_code ec;
  fs::remove(LinkPath(letter), ec);
}

FakeDrives::Disk* FakeDrives::DiskIn(char letter) {
  letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  auto it = drives_.find(letter);
  if (it == drives_.end() || !it->second.disk) return nullptr;
  return &*it->second.disk;
}

FakeDrives::Drive* FakeDrives::Find(const std::string& root) {
  char letter = DriveLetterOf(root);
  auto it = drives_.find(letter);
  return it == drives_.end() ? nullptr : &it->second;
}

int FakeDrives::GetDriveType(const std::string& root) {
  if (!DriveLetterOf(root)) return kDriveFixed;
  Drive* drive = Find(root);
  return drive ? drive->type : kDriveNoRootDir;
}

uint32_t FakeDrives::GetLogicalDrives() {
  uint32_t mask = 0;
  for (auto& [letter, drive] : drives_)
    if (letter >= 'A' && letter <= 'Z') mask |= 1u << (letter - 'A');
  return mask;
}

VolumeInfo FakeDrives::GetVolumeInformation(const std::string& root) {
  VolumeInfo info;
  if (!DriveLetterOf(root)) {
    info.ok = true;
    return info;
  }
  Drive* drive = Find(root);
  if (!drive || !drive->disk) {
    info.error = kErrorNotReady;
  } else if (!drive->disk->formatted) {
    info.error = kErrorNotFormatted;
  } else {
    info.ok = true;
    info.label = drive->disk->label;
    info.serial = drive->disk->serial;
  }
  return info;
}

std::optional<DiskSpace> FakeDrives::GetDiskFreeSpace(const std::string& root) {
  if (!DriveLetterOf(root)) return DiskSpace{int64_t{1} << 40, int64_t{1} << 41};
  Drive* drive = Find(root);
  if (!drive || !drive->disk || !drive->disk->formatted || drive->disk->size < 0)
    return std::nullopt;
  return DiskSpace{drive->disk->freeBytes, drive->disk->size};
}

bool FakeDrives::SetVolumeLabel(const std::string& root, const std::string& label) {
  Drive* drive = Find(root);
  if (!drive || !drive->disk || !drive->disk->formatted) return false;
  drive->disk->label = label;
  labelsSet_[drive->disk->directory] = label;
  return true;
}

std::string FakeDrives::LabelSetOn(const std::string& directory) const {
  auto it = labelsSet_.find(directory);
  return it == labelsSet_.end() ? std::string() : it->second;
}

bool FakeDrives::IsDiskInDrive(const std::string& root) {
  if (!DriveLetterOf(root)) return true;
  Drive* drive = Find(root);
  return drive && drive->disk;
}

}  // namespace platform

namespace platform {

bool FakeDrives::CanFormatDrive(const std::string& root) {
  Drive* drive = Find(root);
  return formatAvailable && drive && drive->type == kDriveRemovable && drive->disk;
}

int FakeDrives::FormatDrive(const std::string& root, const std::string& label) {
  if (!CanFormatDrive(root)) return -3;
  ++formats;
  if (formatFailure) return *formatFailure;
  Disk& disk = *Find(root)->disk;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(disk.directory, ec)) fs::remove_all(entry.path(), ec);
  disk.formatted = true;
  disk.freeBytes = disk.size;
  disk.label = label;
  labelsSet_[disk.directory] = label;
  return 0;
}

}  // namespace platform
