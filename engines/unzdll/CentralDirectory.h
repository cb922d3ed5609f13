// The archive's member table, read from its end record and central directory.
// Every offset and size is checked against the file, never trusted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ArchiveFile.h"
#include "zipformat/Signatures.h"

namespace unz {

// Host systems of the version-made-by byte that matter here.
constexpr uint8_t kHostDos = 0, kHostUnix = 3, kHostOs2 = 6, kHostNtfs = 11;

struct Member {
  std::string name;        // system code page, "/" separators
  uint8_t versionMadeBy = 0;
  uint8_t host = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t dosDateTime = 0;  // date high, time low
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  uint64_t localHeaderOffset = 0;  // real position in the file (stub shift applied)
  uint32_t externalAttributes = 0;
  // AES encryption (method 99, extra field 0x9901): 1 or 2 (AE-1, AE-2), 0 when absent.
  uint16_t aesVersion = 0;
  uint8_t aesStrength = 0;  // 1, 2, 3: 128, 192, 256-bit keys
  uint16_t aesMethod = 0;   // the compression method under the encryption
  // Its local record lies inside another member's local record or data (several
  // entries sharing one header, a zip bomb's trick): refused as damaged.
  bool overlaps = false;

  bool IsAes() const { return method == zip::kMethodAes && aesVersion != 0; }
  // The compression method of the data once decrypted.
  uint16_t DataMethod() const { return IsAes() ? aesMethod : method; }
  // AE-2 members leave the CRC out (0): their authentication code stands for it.
  bool CrcRecorded() const { return !(IsAes() && aesVersion == 2); }
  bool IsEncrypted() const { return flags & 0x0001; }
  bool HasDataDescriptor() const { return flags & 0x0008; }
  bool IsDirectory() const;
  bool IsSymlink() const;
  // POSIX mode recorded by a Unix writer, or 0.
  uint32_t UnixMode() const { return host == kHostUnix ? externalAttributes >> 16 : 0; }
};

struct ArchiveDirectory {
  std::vector<Member> members;
  uint64_t centralStart = 0;  // real position of the central directory: member data lies before it
};

// Code page of names as the record asks: 0 automatic, 1 none, 2 always OEM.
ArchiveDirectory ReadCentralDirectory(ArchiveFile& file, uint16_t wantedCodePage);  // throws EngineError

// The name as the component shows it: CP850 converted to UTF-8 where the writer's
// host (or the wanted code page) says so, unless flag bit 11 marks it UTF-8.
std::string ConvertMemberName(const std::string& raw, uint8_t host, uint8_t version, uint16_t flags,
                              uint16_t wantedCodePage);

// Start of a member's data behind its local header; throws EngineError when the
// local header is damaged or the data would run past `dataLimit`.
uint64_t LocateMemberData(ArchiveFile& file, const Member& member, uint64_t dataLimit);
// The same from the local header's fixed part, already read.
constexpr size_t kLocalHeaderSize = 30;
uint64_t MemberDataStart(const uint8_t* localHeader, const Member& member, uint64_t dataLimit);

}  // namespace unz
