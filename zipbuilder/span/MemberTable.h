// The member table: one entry per member of the archive an operation is working
// through, remembering where its local header went (spanned writing and joining,
// renaming).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Drives.h"

namespace DiskSpan {

struct MDZipData {
  uint16_t DiskStart = 0;               // volume of the local header; 0 in a joined archive
  int32_t RelOffLocal = 0;              // local header offset on its volume or in the joined file
  uint16_t FileNameLen = 0;             // name length as stored
  std::optional<std::string> FileName;  // the stored name bytes; none until filled
  uint32_t ComprSize = 0;               // compressed size from the central header (joining)
  uint32_t DateTime = 0;                // new MS-DOS date (high) and time (low), 0 for unchanged
};

// The table owns its entries; releasing the table releases them.
using MDZipDataTable = std::vector<std::unique_ptr<MDZipData>>;

// Fixed and network drives hold a set as numbered files; every other drive one
// volume per disk.
inline bool HoldsSeparateFiles(int driveType) {
  return driveType == platform::kDriveFixed || driveType == platform::kDriveRemote;
}

// "001" for disk number 0, "002" for 1 ... "000" for 999.
std::string VolumeNumber(int32_t diskNumber);
// "PKBACK# 001" for disk number 0: the label of every volume on a removable disk.
std::string VolumeLabel(int32_t diskNumber);
// The number in characters 9 to 11 of a label of the form "PKBACK# nnn"
// ("PKBACK# 7" reads 7), or `fallback` for any other label.
int LabelNumber(const std::string& label, int fallback);
// backup.zip becomes backup001.zip for disk number 0: the file of one volume on a
// fixed or network drive.
std::string NumberedName(const std::string& setName, int32_t diskNumber);
// The number in the three characters before the extension (backup003.zip reads 3), or 0.
int NumberBeforeExtension(const std::string& name);

}  // namespace DiskSpan
