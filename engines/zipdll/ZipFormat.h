// The archive as the compression engine sees it: the members of an existing
// archive with where their bytes lie, and the header bytes of the new one. The
// records themselves come from zipformat/; archives and members stay below 4 GiB.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "zipformat/Signatures.h"

namespace zipdll {

using zip::kFlagEncrypted;
using zip::kFlagUtf8;
constexpr uint16_t kMadeByUnix = (zip::kHostUnix << 8) | 20;
constexpr uint16_t kVersionNeeded = 20;
constexpr uint64_t kZip32Limit = zip::kSaturated32;

// A member as its central header describes it.
struct MemberHeader {
  std::string name;  // as stored, "/" separators
  uint16_t madeBy = kMadeByUnix;
  uint16_t versionNeeded = kVersionNeeded;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t dosDateTime = 0;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;  // including the encryption header
  uint64_t size = 0;
  uint32_t externalAttributes = 0;
  uint16_t internalAttributes = 0;
  std::string extra;    // central extra field
  std::string comment;  // member comment
  uint64_t localOffset = 0;
};

// A member of an existing archive: its header and where its local record,
// data and descriptor lie, so it can be copied without recompression.
struct ExistingMember {
  MemberHeader header;
  uint64_t rawStart = 0;  // absolute offset of the local header
  uint64_t rawEnd = 0;    // one past the data (and descriptor)
};

struct ExistingArchive {
  std::vector<ExistingMember> members;
  uint64_t prefixSize = 0;  // bytes in front of the first member (a self-extractor stub)
  std::string comment;
  uint32_t fileDosTime = 0;
};

// Reads the central directory of an open archive; throws EngineError on damage.
// ZIP64 records are read; their values must stay below 4 GiB.
ExistingArchive ReadArchive(platform::FileSystem& fs, platform::FileHandle h);

std::string LocalHeaderBytes(const MemberHeader& m);
std::string CentralHeaderBytes(const MemberHeader& m);
std::string EndRecordBytes(uint64_t count, uint64_t centralSize, uint64_t centralOffset,
                           const std::string& comment);

}  // namespace zipdll
