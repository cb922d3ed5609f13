// The archive as the compression engine sees it: the members of an existing
// archive with where their bytes lie, and the header bytes of the new one. The
// records themselves come from zipformat/; a size, offset or count that the
// classic fields cannot hold goes to the ZIP64 records, where it is needed only.
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
// What new members record: written by version 2.0, needing 2.0, on the host the
// engine was built for. The Windows build records NTFS (host 11: the attribute
// byte alone; unlike a FAT host, readers take its names as they are, not as
// OEM text), the POSIX build Unix (host 3: mode bits above the attribute byte).
constexpr uint8_t kVersionMadeBy = 20;
#ifdef _WIN32
constexpr uint8_t kHostSystem = zip::kHostNtfs;
constexpr bool kRecordsUnixMode = false;
#else
constexpr uint8_t kHostSystem = zip::kHostUnix;
constexpr bool kRecordsUnixMode = true;
#endif
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

// Reads the central directory of an open archive, ZIP64 records included;
// throws EngineError on damage.
ExistingArchive ReadArchive(platform::FileSystem& fs, platform::FileHandle h);

// When a new member's local header carries a ZIP64 block. The header is written
// before the data, so the choice is made from the size known up front (a file's
// size when it was collected, a memory stream's length): the block is written
// when that size, grown by more than deflate and encryption can add (1/1024 of
// it and 64 KiB), reaches 0xFFFFFFFF. Such a header then holds 0xFFFFFFFF in
// both size fields and the true sizes in the block, however small they turn
// out, and needs version 45. A member written without the block whose data
// reaches 0xFFFFFFFF after all (a file that grew while it was read) is refused
// with a message, and the archive stays as it was.
bool ReservesZip64(uint64_t sizeKnownUpFront);

// The local header with its name, and a ZIP64 block when `zip64` or when the
// sizes need one. Its length depends only on the name and that choice, so a
// header rewritten with the final sizes fits the place of the first.
std::string LocalHeaderBytes(const Member& m, bool zip64 = false);
// The central header with name, extra field and comment; the sizes and the
// offset that reach 0xFFFFFFFF move to a ZIP64 block in front of the other
// extra blocks, and the version needed becomes 45. Throws EngineError when the
// extra field would pass 65,535 bytes.
std::string CentralHeaderBytes(const Member& m);
// The end of the archive: the ZIP64 end record and its locator when the count,
// size or offset needs them, then the classic end record and the comment.
std::string EndRecordBytes(uint64_t count, uint64_t centralSize, uint64_t centralOffset,
                           const std::string& comment);

}  // namespace zipdll
