// The ZIP records the engine reads and writes: local and central headers and the
// end record (no Zip64: archives and members stay below 4 GiB).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace zipdll {

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kDescriptorSignature = 0x08074b50;
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDescriptor = 0x0008;
constexpr uint16_t kFlagUtf8 = 0x0800;
constexpr uint16_t kMadeByUnix = (3 << 8) | 20;
constexpr uint16_t kVersionNeeded = 20;
constexpr uint64_t kZip32Limit = 0xFFFFFFFFull;

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
ExistingArchive ReadArchive(platform::FileSystem& fs, platform::FileHandle h);

std::string LocalHeaderBytes(const MemberHeader& m);
std::string CentralHeaderBytes(const MemberHeader& m);
std::string EndRecordBytes(uint64_t count, uint64_t centralSize, uint64_t centralOffset,
                           const std::string& comment);

void PutLe16(std::string& out, uint16_t v);
void PutLe32(std::string& out, uint32_t v);

}  // namespace zipdll
