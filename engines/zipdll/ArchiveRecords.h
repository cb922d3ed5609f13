// The archive as the compression engine sees it: the members of an existing
// archive with where their bytes lie, and the header bytes of the new one. The
// records themselves come from zipformat/; archives and members stay below 4 GiB.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engines/common/EngineMember.h"
#include "platform/FileSystem.h"
#include "zipformat/Signatures.h"

namespace zipdll {

using engine::Member;
using zip::kFlagEncrypted;
using zip::kFlagUtf8;
// What new members record: written on a Unix host by version 2.0, needing 2.0.
constexpr uint8_t kVersionMadeBy = 20;
constexpr uint16_t kVersionNeeded = 20;
constexpr uint64_t kZip32Limit = zip::kSaturated32;

// A member of an existing archive: its header (its local header offset the real
// position in the file) and where its local record, data and descriptor end, so
// it can be copied without recompression.
struct ExistingMember {
  Member member;
  uint64_t rawEnd = 0;  // one past the data (and descriptor)
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

std::string LocalHeaderBytes(const Member& m);
std::string CentralHeaderBytes(const Member& m);
std::string EndRecordBytes(uint64_t count, uint64_t centralSize, uint64_t centralOffset,
                           const std::string& comment);

}  // namespace zipdll
