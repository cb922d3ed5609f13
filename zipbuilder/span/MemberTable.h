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

namespace span {

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

}  // namespace span
