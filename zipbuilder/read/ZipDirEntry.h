// One listed archive member, as the central directory describes it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#pragma pack(push, 1)
// Byte for byte, bytes 4 to 45 of the member's central header.
struct ZipDirEntryFixed {
  uint8_t VersionMadeBy = 0;
  uint8_t HostSystem = 0;
  uint16_t VersionNeeded = 0;
  uint16_t GeneralFlags = 0;
  uint16_t Method = 0;
  uint16_t ModTime = 0;
  uint16_t ModDate = 0;
  uint32_t Crc32 = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t NameLength = 0;
  uint16_t ExtraLength = 0;
  uint16_t CommentLength = 0;
  uint16_t DiskStart = 0;
  uint16_t InternalAttributes = 0;
  uint32_t ExternalAttributes = 0;
  uint32_t LocalHeaderOffset = 0;
};
#pragma pack(pop)
static_assert(sizeof(ZipDirEntryFixed) == 42);

struct ZipDirEntry : ZipDirEntryFixed {
  std::string FileName;     // system code page, "/" replaced by "\"
  std::string FileComment;  // system code page; empty when there is none
  bool Encrypted = false;   // bit 0 of GeneralFlags
  std::vector<uint8_t> ExtraData;  // copy of the central extra field; empty for none

  // The true sizes and local header offset: the 32-bit field's value, or where
  // the field holds 0xFFFFFFFF, the value of the ZIP64 block in ExtraData (the
  // field's own value when the block is missing or damaged).
  uint64_t UncompressedSize64() const;
  uint64_t CompressedSize64() const;
  uint64_t LocalHeaderOffset64() const;
};
