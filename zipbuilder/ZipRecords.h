// The fixed parts of the ZIP format's records, packed and little-endian on disk.
// Read and write them only through the Load/Store helpers so the host's byte
// order never matters.
#pragma once

#include <cstdint>
#include <cstring>

namespace zip {

constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr uint32_t kEndOfCentralSignature = 0x06054B50;
constexpr uint32_t kDataDescriptorSignature = 0x08074B50;  // also the spanned-set marker

inline uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void Store16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Store32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

#pragma pack(push, 1)
struct LocalFileHeader {
  uint32_t HeaderSig;
  uint16_t VersionNeed;
  uint16_t Flag;
  uint16_t ComprMethod;
  uint16_t ModifTime;
  uint16_t ModifDate;
  uint32_t CRC32;
  uint32_t ComprSize;
  uint32_t UnComprSize;
  uint16_t FileNameLen;
  uint16_t ExtraLen;
};

struct CentralFileHeader {
  uint32_t HeaderSig;
  uint8_t VersionMadeBy0;  // specification version
  uint8_t VersionMadeBy1;  // host system
  uint16_t VersionNeed;
  uint16_t Flag;
  uint16_t ComprMethod;
  uint16_t ModifTime;
  uint16_t ModifDate;
  uint32_t CRC32;
  uint32_t ComprSize;
  uint32_t UnComprSize;
  uint16_t FileNameLen;
  uint16_t ExtraLen;
  uint16_t FileComLen;
  uint16_t DiskStart;
  uint16_t IntFileAtt;
  uint32_t ExtFileAtt;
  uint32_t RelOffLocal;
};

struct ZipEndOfCentral {
  uint32_t HeaderSig;
  uint16_t ThisDiskNo;
  uint16_t CentralDiskNo;
  uint16_t CentralEntries;
  uint16_t TotalEntries;
  uint32_t CentralSize;
  uint32_t CentralOffSet;
  uint16_t ZipCommentLen;
};

struct DataDescriptor {
  uint32_t DataDescSig;
  uint32_t CRC32;
  uint32_t ComprSize;
  uint32_t UnComprSize;
};
#pragma pack(pop)

static_assert(sizeof(LocalFileHeader) == 30);
static_assert(sizeof(CentralFileHeader) == 46);
static_assert(sizeof(ZipEndOfCentral) == 22);
static_assert(sizeof(DataDescriptor) == 16);

// Conversions between the records and their on-disk bytes (exactly sizeof(record)).
void Decode(const uint8_t* in, LocalFileHeader& out);
void Decode(const uint8_t* in, CentralFileHeader& out);
void Decode(const uint8_t* in, ZipEndOfCentral& out);
void Decode(const uint8_t* in, DataDescriptor& out);
void Encode(const LocalFileHeader& in, uint8_t* out);
void Encode(const CentralFileHeader& in, uint8_t* out);
void Encode(const ZipEndOfCentral& in, uint8_t* out);
void Encode(const DataDescriptor& in, uint8_t* out);

}  // namespace zip
