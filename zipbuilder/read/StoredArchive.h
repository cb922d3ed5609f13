// An archive's central directory read whole and kept as stored, and the pieces
// that rewriting an archive member by member needs: copying a member's stored
// record, placing a member at a new offset, writing the end records.
// Used by renaming members and by copying members between archives.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zipbuilder/read/ArchiveStreams.h"
#include "zipformat/ByteOrder.h"
#include "zipformat/Records.h"

// A stored name's length field holds 16 bits: a longer new name cannot be written.
constexpr size_t kMaxStoredNameLength = 0xFFFF;

// One for every member, kept small: the fixed part and the variable parts are
// read where they are stored, in the directory's bytes.
struct StoredMember {
  const uint8_t* record = nullptr;  // the central header as stored; name, extra field and comment follow
  uint64_t compressedSize = 0;      // true values: ZIP64 ones where the header saturates
  uint64_t uncompressedSize = 0;
  int64_t localHeaderAt = 0;  // file position of the local header
  uint32_t diskStart = 0;

  zip::CentralFileHeader header() const;
  std::string_view name() const { return Part(0, LengthAt(kNameLength)); }
  std::string_view extra() const { return Part(LengthAt(kNameLength), LengthAt(kExtraLength)); }
  std::string_view comment() const {
    return Part(size_t{LengthAt(kNameLength)} + LengthAt(kExtraLength), LengthAt(kCommentLength));
  }

 private:
  // Where the fixed part holds the lengths of the variable ones.
  static constexpr size_t kNameLength = 28, kExtraLength = 30, kCommentLength = 32;
  uint16_t LengthAt(size_t at) const { return zip::Load16(record + at); }
  std::string_view Part(size_t from, size_t length) const {
    return {reinterpret_cast<const char*>(record) + zip::kCentralHeaderSize + from, length};
  }
};

struct StoredArchive {
  zip::ZipEndOfCentral end{};                      // the end record as stored
  std::optional<zip::Zip64EndOfCentral> zip64End;  // present in front of it
  int64_t directoryAt = 0;                         // file position of the first central header
  int64_t prefixSize = 0;  // bytes in front of the first member (a stub and its header)
  std::vector<StoredMember> members;
  std::string comment;  // the archive comment's stored bytes
  // The central directory's bytes, which the members view (read straight in, never zero-filled).
  std::unique_ptr<char[]> directory;
};

// Reads the directory of the archive open on `in`, whose end record `end` lies at
// file position `endAt`. Raises 11013 (a header cut short), 11015 (a wrong
// signature), 11017 (a name cut short), 11019 (an
// extra field), 11022 (a file comment), 11023 (the archive comment), 11008 (seek).
// Offsets that do not count a stub in front are turned into file positions.
StoredArchive ReadStoredArchive(ArchiveReader& in, const zip::ZipEndOfCentral& end, int64_t endAt);

// Sets the modification time that extra-field blocks carry (the Unix timestamp
// block, the NTFS times block) to the MS-DOS local date-time given (0: nothing).
void StampExtraTimes(std::string& extra, uint32_t dosDateTime);

// How a member's local header changes on the way: a new name and a new MS-DOS
// date-time (0: unchanged).
struct LocalChange {
  std::optional<std::string_view> name;
  uint32_t dateTime = 0;
};

// Copies the member's stored record from `in` to `out`: local header, name,
// extra field (its times stamped with a new date), data and, with flag bit 3, the data descriptor
// at its real length. Raises 11008 (seek), 11012 and 11014 (local header), 11016 (local name),
// 11028 (header written), 11018 (extra field read), 11021 (data read), 11020 (descriptor),
// 11010 (extra field or data written: a full disk).
void CopyStoredMember(ArchiveReader& in, ArchiveWriter& out, const StoredMember& member,
                      const LocalChange& change);

// Points the central header of `member` at `offset` in the new file: the 32-bit
// field, or its ZIP64 value where the field saturates or the offset needs it;
// then the extra field `extra` changes too, and the new one is returned.
std::optional<std::string> PlaceLocalHeader(zip::CentralFileHeader& header, std::string_view extra,
                                            const StoredMember& member, uint64_t offset);

// Writes one central header with its name, extra field and comment
// (11029 header and name, 11010 extra field and comment).
void WriteCentralHeader(ArchiveWriter& out, const zip::CentralFileHeader& header,
                        std::string_view name, std::string_view extra, std::string_view comment);

// Writes the end of a rewritten archive: a ZIP64 end record and its locator when
// `zip64End` was present or the values need them, the end record (`end` with the
// counts, size and offset given; 11030) and `comment` (11010).
void WriteArchiveEnd(ArchiveWriter& out, zip::ZipEndOfCentral end,
                     const std::optional<zip::Zip64EndOfCentral>& zip64End, uint64_t entries,
                     uint64_t directorySize, uint64_t directoryAt, const std::string& comment);

// How one member travels when an archive is written anew. Kept small: there is
// one for every member, and few members get a new name.
struct MemberRewrite {
  std::unique_ptr<std::string> name;  // a new stored name
  uint32_t dateTime = 0;              // a new MS-DOS date-time (0: unchanged)
  bool keep = true;
};

// Copies the prefix of `archive` (read from `in`; 10140 when it cannot be read)
// and its members that `changes` keeps, with their changes, to `out`; tells
// `beforeMember` each kept member's index first. Returns the new local header
// offsets, one per member of `archive` (0 for one left out).
std::vector<uint64_t> CopyMembersAnew(ArchiveReader& in, ArchiveWriter& out,
                                      const StoredArchive& archive,
                                      const std::vector<MemberRewrite>& changes,
                                      const std::function<void(size_t)>& beforeMember);

// Writes the central directory of the kept members, at `offsets`, with their new
// names and dates, then the end records, and flushes `out`.
void WriteDirectoryAnew(ArchiveWriter& out, const StoredArchive& archive,
                        const std::vector<MemberRewrite>& changes,
                        const std::vector<uint64_t>& offsets);
