// The archive's member table, read from its end record and central directory.
// Every offset and size is checked against the file, never trusted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engines/unzdll/ArchiveFile.h"
#include "engines/common/EngineMember.h"
#include "zipformat/Signatures.h"

namespace unzdll {

using engine::Member;

struct ArchiveDirectory {
  std::vector<Member> members;
  uint64_t centralStart = 0;  // real position of the central directory: member data lies before it
};

// Code page of names as the record asks: 0 automatic, 1 none, 2 always OEM.
ArchiveDirectory ReadCentralDirectory(ByteSource& file,
                                      uint16_t wantedCodePage);  // throws EngineError

// The name as the component shows it: CP850 converted to UTF-8 where the writer's
// host (or the wanted code page) says so, unless flag bit 11 marks it UTF-8.
std::string ConvertMemberName(const std::string& raw, uint8_t host, uint8_t version, uint16_t flags,
                              uint16_t wantedCodePage);

// Start of a member's data behind its local header; throws EngineError when the
// local header is damaged or the data would run past `dataLimit`.
uint64_t LocateMemberData(ByteSource& file, const Member& member, uint64_t dataLimit);
// The same from the local header's fixed part, already read.
using zip::kLocalHeaderSize;
uint64_t MemberDataStart(const uint8_t* localHeader, const Member& member, uint64_t dataLimit);

}  // namespace unzdll
