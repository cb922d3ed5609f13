// Where the listed archive's parts lie and what the listing found out about it
// (read/ZipListing.cpp, read/EndRecordSearch.cpp).
#pragma once

#include <cstdint>
#include <string>

struct ListedArchive {
  int32_t archiveStart = 0;
  int32_t centralDirOffset = 0;
  int32_t endOfCentralOffset = 0;
  int32_t archiveFileSize = 0;
  int32_t realFileSize = 0;
  std::string rawZipComment;  // exactly as stored (OEM code page)
  bool structureWarning = false;
  bool spanned = false;
  int32_t skippedDirCount = 0;
  uint16_t lastDiskNumber = 0;
};
