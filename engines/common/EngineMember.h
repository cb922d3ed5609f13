// A member as both engines see it: the facts of its central header, decoded
// once through zipformat/, plus what each engine adds while reading (the AES
// parameters, the overlap mark). The extraction engine holds one per member of
// archives with 100,000 members and more, so the fields stay plain and packed;
// `extra` and `comment` are filled only where the compression engine copies
// them into a new directory, and stay empty otherwise.
#pragma once

#include <cstdint>
#include <string>

#include "zipformat/Headers.h"
#include "zipformat/Methods.h"
#include "zipformat/Signatures.h"

namespace engine {

struct Member {
  std::string name;             // "/" separators; code page as the reading engine decided
  std::string extra;            // central extra field, where kept
  std::string comment;          // member comment, where kept
  uint64_t compressedSize = 0;  // including an encryption header
  uint64_t uncompressedSize = 0;
  uint64_t localHeaderOffset = 0;  // real position in the file (a stub's shift applied)
  uint32_t dosDateTime = 0;        // date high, time low
  uint32_t crc = 0;
  uint32_t externalAttributes = 0;
  uint16_t versionNeeded = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t internalAttributes = 0;
  // AES encryption (method 99, extra field 0x9901): 1 or 2 (AE-1, AE-2), 0 when absent.
  uint16_t aesVersion = 0;
  uint16_t aesMethod = 0;     // the compression method under the encryption
  uint8_t aesStrength = 0;    // 1, 2, 3: 128, 192, 256-bit keys
  uint8_t versionMadeBy = 0;  // low byte of "version made by": the writer's version
  uint8_t host = 0;           // high byte: the writer's system
  // Its local record lies inside another member's local record or data (several
  // entries sharing one header, a zip bomb's trick): refused as damaged.
  bool overlaps = false;

  bool IsAes() const { return method == zip::kMethodAes && aesVersion != 0; }
  // The compression method of the data once decrypted.
  uint16_t DataMethod() const { return IsAes() ? aesMethod : method; }
  // AE-2 members leave the CRC out (0): their authentication code stands for it.
  bool CrcRecorded() const { return !(IsAes() && aesVersion == 2); }
  bool IsEncrypted() const { return flags & zip::kFlagEncrypted; }
  bool HasDataDescriptor() const { return flags & zip::kFlagDataDescriptor; }
  bool IsDirectory() const;
  bool IsSymlink() const;
  // POSIX mode recorded by a Unix writer, or 0.
  uint32_t UnixMode() const { return host == zip::kHostUnix ? externalAttributes >> 16 : 0; }
};

// The fixed facts of a decoded central entry, ZIP64 values resolved; the name,
// extra field and comment are left to the caller, who decides their form, and
// the local header offset is the recorded one (no shift applied).
Member MemberOf(const zip::CentralEntry& entry);

}  // namespace engine
