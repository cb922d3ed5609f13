// The fixed parts of the ZIP format's records, packed and little-endian on disk.
// Read and write them only through Decode/Encode so the host's byte order never
// matters. The variable parts (names, extra fields, comments) follow each record.
#pragma once

#include <cstdint>

#include "zipformat/ByteOrder.h"
#include "zipformat/Signatures.h"

namespace zip {

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

// The ZIP64 end record (fixed part; an extensible data sector may follow) and
// its locator, which lies directly in front of the classic end record.
struct Zip64EndOfCentral {
  uint32_t HeaderSig;
  uint64_t RecordSize;  // of what follows this field: 44 without a data sector
  uint16_t VersionMadeBy;
  uint16_t VersionNeed;
  uint32_t ThisDiskNo;
  uint32_t CentralDiskNo;
  uint64_t CentralEntries;
  uint64_t TotalEntries;
  uint64_t CentralSize;
  uint64_t CentralOffSet;
};

struct Zip64Locator {
  uint32_t HeaderSig;
  uint32_t EndRecordDiskNo;
  uint64_t EndRecordOffSet;
  uint32_t TotalDisks;
};
#pragma pack(pop)

static_assert(sizeof(LocalFileHeader) == 30);
static_assert(sizeof(CentralFileHeader) == 46);
static_assert(sizeof(ZipEndOfCentral) == 22);
static_assert(sizeof(DataDescriptor) == 16);
static_assert(sizeof(Zip64EndOfCentral) == kZip64EndSize);
static_assert(sizeof(Zip64Locator) == kZip64LocatorSize);

// Conversions between the records and their on-disk bytes (exactly sizeof(record)).
void Decode(const uint8_t* in, LocalFileHeader& out);
void Decode(const uint8_t* in, CentralFileHeader& out);
void Decode(const uint8_t* in, ZipEndOfCentral& out);
void Decode(const uint8_t* in, DataDescriptor& out);
void Decode(const uint8_t* in, Zip64EndOfCentral& out);
void Decode(const uint8_t* in, Zip64Locator& out);
void Encode(const LocalFileHeader& in, uint8_t* out);
void Encode(const CentralFileHeader& in, uint8_t* out);
void Encode(const ZipEndOfCentral& in, uint8_t* out);
void Encode(const DataDescriptor& in, uint8_t* out);
void Encode(const Zip64EndOfCentral& in, uint8_t* out);
void Encode(const Zip64Locator& in, uint8_t* out);

}  // namespace zip
