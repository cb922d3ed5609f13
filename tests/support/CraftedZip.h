// Archives crafted byte by byte for cases no ordinary tool writes: deflated and
// encrypted members, Unix modes and links, members that lie about their sizes
// or CRCs, foreign host systems, odd flags, stubs and disk numbers. The one
// archive writer of the tests (BuildArchive in ArchiveBytes.h sits on it).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/ArchiveBytes.h"

namespace testsupport {

struct CraftedMember {
  CraftedMember(std::string n, std::string d, bool deflated = false)
      : name(std::move(n)), data(std::move(d)), deflate(deflated) {}
  std::string name;
  std::string data;  // the member's uncompressed bytes
  bool deflate = false;
  std::optional<std::string> payload;   // the compressed bytes as written (with `method`)
  std::optional<std::string> password;  // traditional encryption
  bool dataDescriptor = false;          // flag bit 3 and a descriptor behind the data
  bool descriptorSignature = true;      // the descriptor starts with its signature
  bool descriptorZip64 = false;         // with 8-byte sizes
  uint8_t host = 3;                     // 3 Unix, 0 MS-DOS, 11 NTFS
  uint8_t version = 30;                 // the "made by" version byte
  uint32_t unixMode = 0100644;
  uint32_t dosAttributes = 0;
  uint16_t flags = 0;                   // more flag bits (e.g. 0x800 UTF-8 name)
  uint16_t method = 0xFFFF;             // overrides the method field when set
  uint32_t dosDateTime = 0x5A8C6000;    // 2025-04-12 12:00:00
  std::optional<uint32_t> declaredSize;  // lie about the uncompressed size
  std::optional<uint32_t> declaredCrc;   // lie about the CRC
  std::string extra;                     // central header extra field
  std::string localExtra;                // local header extra field
  std::string comment;                   // member comment
  std::string gapBefore;                 // bytes in front of its local header that no entry covers
};

std::string RawDeflate(const std::string& data);

// The archive, laid out as `layout` says, with where its directory and end record lie.
BuiltArchive CraftArchive(const std::vector<CraftedMember>& members, const ArchiveLayout& layout);

// The archive's bytes, with `stub` in front (offsets count from the archive's own start).
std::string CraftZip(const std::vector<CraftedMember>& members, const std::string& stub = "");

// Input for extraction from memory: CRC-32 and method, then the (deflated) data.
std::string CraftStream(const std::string& data, bool deflate);

// True when `password` decrypts the member's encryption header to the right
// check byte (true for the right password and for about one wrong one in 256).
bool PassesPasswordCheck(const CraftedMember& member, const std::string& password);

// DOS date and time (date high, time low) of a calendar time.
uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second);

}  // namespace testsupport
