// The member list of the archive behind the settings header, and where each
// member's data lies.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sfx/InputFile.h"
#include "zipformat/Signatures.h"

namespace sfx {

struct Member {
  std::string rawName;
  std::wstring name;  // as stored, converted to UTF-16
  uint16_t flags = 0, method = 0;
  uint32_t crc = 0, dosTime = 0, externalAttributes = 0;
  uint64_t compressedSize = 0, size = 0, localHeader = 0;
  bool IsDirectory() const {
    return !rawName.empty() && (rawName.back() == '/' || rawName.back() == '\\');
  }
  bool Encrypted() const { return flags & zip::kFlagEncrypted; }
};

// Reads the member list of the archive that starts at `archiveStart`. Offsets in
// the archive are file positions when it was shifted; when they are not (an
// archive appended as it was), the difference between where the central directory
// lies and where the end record says it lies is applied to every offset.
bool ReadMembers(InputFile& file, uint64_t archiveStart, std::vector<Member>& members);

// The file position of a member's data (after its local header), which must lie
// inside the file with all its bytes.
bool DataPosition(InputFile& file, const Member& m, uint64_t& at);

}  // namespace sfx
