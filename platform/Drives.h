// Drives and volumes: types, labels, serial numbers and space, with the meanings
// of the Windows drive calls so the volume logic reads the same on every platform.
// A drive is named by its root: "A:\" for a drive letter, "\" for every path
// without one (such paths lie on a fixed drive).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// GetDriveTypeA's answers, in its order.
enum DriveType : int {
  kDriveUnknown, kDriveNoRootDir, kDriveRemovable, kDriveFixed, kDriveRemote, kDriveCdrom
};

// GetLastError after a failed volume query: on an empty drive (kErrorNotReady),
// on a disk that is not formatted (kErrorNotFormatted).
enum VolumeError : uint32_t { kErrorNotReady = 21, kErrorNotFormatted = 31 };

struct VolumeInfo {
  bool ok = false;
  std::string label;
  uint32_t serial = 0;
  uint32_t error = 0;  // when !ok: kErrorNotReady, kErrorNotFormatted ...
};

struct DiskSpace {
  int64_t freeBytes = 0;   // available to the caller
  int64_t totalBytes = 0;
};

class DriveProvider {
 public:
  virtual ~DriveProvider() = default;
  // GetDriveTypeA.
  virtual int GetDriveType(const std::string& root) = 0;
  // GetLogicalDrives: bit 0 for A, bit 25 for Z.
  virtual uint32_t GetLogicalDrives() = 0;
  // GetVolumeInformationA: label and serial, or the failure.
  virtual VolumeInfo GetVolumeInformation(const std::string& root) = 0;
  // GetDiskFreeSpaceExA; nullopt when the drive holds no readable disk.
  virtual std::optional<DiskSpace> GetDiskFreeSpace(const std::string& root) = 0;
  // SetVolumeLabelA.
  virtual bool SetVolumeLabel(const std::string& root, const std::string& label) = 0;
  // Whether a disk is in the drive (always true for fixed drives).
  virtual bool IsDiskInDrive(const std::string& root) = 0;
  // Whether FormatDrive can act on the drive: only removable drives qualify.
  virtual bool CanFormatDrive(const std::string& root) = 0;
  // Formats the disk in the drive and gives it `label`: 0 on success, -1 when the
  // format failed, -3 when formatting is not available for the drive.
  virtual int FormatDrive(const std::string& root, const std::string& label) = 0;
};

// The drive letter of `root` in upper case, or 0 for "\" and other roots.
char DriveLetterOf(const std::string& root);

}  // namespace platform
