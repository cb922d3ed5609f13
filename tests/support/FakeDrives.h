// A drive provider for tests: drives with a type and "disks" that can be inserted,
// ejected and swapped. Each disk is a directory; inserting it points the drive
// letter of a private Wine prefix at that directory, so the real file system
// sees exactly the files of the disk in the drive.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/Drives.h"

namespace platform {

class FakeDrives : public DriveProvider {
 public:
  struct Disk {
    std::string directory;  // the disk's files
    std::string label;
    uint32_t serial = 0;
    int64_t size = 1457664;  // below 0: the size cannot be read
    int64_t freeBytes = 1457664;
    bool formatted = true;
  };

  // Makes `prefix` the Wine prefix of this process (WINEPREFIX) until destruction.
  explicit FakeDrives(const std::string& prefix);
  ~FakeDrives() override;
  FakeDrives(const FakeDrives&) = delete;
  FakeDrives& operator=(const FakeDrives&) = delete;

  void AddDrive(char letter, int type);
  // Puts `disk` into the drive, taking out whatever was in it.
  void Insert(char letter, const Disk& disk);
  void Eject(char letter);
  // The disk now in the drive, or nullptr.
  Disk* DiskIn(char letter);
  // The label last given to the disk kept in `directory` (SetVolumeLabel, FormatDrive),
  // which outlives the disk's stay in a drive; "" when none was given.
  std::string LabelSetOn(const std::string& directory) const;

  int GetDriveType(const std::string& root) override;
  uint32_t GetLogicalDrives() override;
  VolumeInfo GetVolumeInformation(const std::string& root) override;
  std::optional<DiskSpace> GetDiskFreeSpace(const std::string& root) override;
  bool SetVolumeLabel(const std::string& root, const std::string& label) override;
  bool IsDiskInDrive(const std::string& root) override;
  // A removable drive with a disk in it can be formatted: the disk's files go, it
  // gets the label and all its room back.
  bool CanFormatDrive(const std::string& root) override;
  int FormatDrive(const std::string& root, const std::string& label) override;

  // Test controls: formatting not available at all, or answering `formatFailure`.
  bool formatAvailable = true;
  std::optional<int> formatFailure;
  int formats = 0;  // formats run

 private:
  struct Drive {
    int type = kDriveFixed;
    std::optional<Disk> disk;
  };
  Drive* Find(const std::string& root);
  std::string LinkPath(char letter) const;

  std::string prefix_;
  std::optional<std::string> previousPrefix_;
  std::map<char, Drive> drives_;
  std::map<std::string, std::string> labelsSet_;  // by disk directory
};

}  // namespace platform
