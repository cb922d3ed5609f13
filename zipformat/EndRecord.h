// Finding the end-of-central-directory record and its ZIP64 companions in the
// last bytes of an archive, and where they place the central directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "zipformat/Records.h"
#include "zipformat/Status.h"

namespace zip {

struct EndRecordMatch {
  size_t at = 0;  // offset of the record in the searched bytes
  ZipEndOfCentral record{};
  // The comment runs past the searched bytes (a cut archive).
  bool commentPastEnd = false;
  size_t trailing = 0;  // bytes behind the comment (0 when it runs past the end)
};

// Reads exactly out.size() bytes at `offset` of the file; false when they are
// not all there.
using ReadAtFunction = std::function<bool(uint64_t offset, std::span<uint8_t> out)>;

// Searches `tail`, the last bytes of a file (kEndSearchWindow is enough), which
// begin at `tailStart` in the file, backwards for the end record. A candidate
// counts when the central directory it describes starts with a central header
// where the record places it: at its recorded offset, or right in front of the
// record (an archive behind a prefix whose offsets count from its own start).
// So neither a signature inside a comment nor the end record of an archive
// stored as a member passes for the archive's own, also when the archive's
// comment is cut short by the end of the file. When no candidate counts, the
// last signature is the record. `read` fetches what lies outside `tail`.
std::optional<EndRecordMatch> FindEndRecord(std::span<const uint8_t> tail, uint64_t tailStart,
                                            const ReadAtFunction& read);
// The same search when `file` holds the whole file.
std::optional<EndRecordMatch> FindEndRecord(std::span<const uint8_t> file);

// True when a field of the classic end record says "see the ZIP64 end record".
bool IsSaturated(const ZipEndOfCentral& record);

// Decodes the ZIP64 locator from exactly the kZip64LocatorSize bytes in front
// of the classic end record.
Status DecodeZip64Locator(std::span<const uint8_t> bytes, Zip64Locator& out);
// Decodes a ZIP64 end record from its first kZip64EndSize bytes.
Status DecodeZip64End(std::span<const uint8_t> bytes, Zip64EndOfCentral& out);

// The ZIP64 end record and its locator where they lie together, right in front
// of the classic end record: `bytes` holds the kZip64EndSize + kZip64LocatorSize
// bytes there. kNotFound without a locator (the archive has no ZIP64 records);
// otherwise what decoding the end record gives.
Status DecodeZip64Trailer(std::span<const uint8_t> bytes, Zip64EndOfCentral& out);

// Where the central directory is, as the end records say. Offsets are relative
// to the start of the archive (a stub in front shifts them all).
struct DirectoryExtent {
  uint64_t entries = 0;      // total entries
  uint64_t diskEntries = 0;  // entries on the last disk
  uint64_t size = 0;
  uint64_t offset = 0;
  uint32_t thisDisk = 0;
  uint32_t centralDisk = 0;
  bool zip64 = false;  // the values came from a ZIP64 end record
};

// The extent from the classic record alone, or with the ZIP64 record's values
// for every field the classic record saturates.
DirectoryExtent ResolveExtent(const ZipEndOfCentral& record,
                              const Zip64EndOfCentral* zip64 = nullptr);

// Writing the end of an archive whose directory of `entries` entries and `size`
// bytes begins at `offset`, all on one disk.
// True when a value does not fit the classic end record (a field at its
// maximum means "see the ZIP64 end record", so that value needs it too).
bool NeedsZip64End(uint64_t entries, uint64_t size, uint64_t offset);
// Sets the classic record's counts, size and offset: the values, or saturated
// where they do not fit.
void SetDirectoryFields(ZipEndOfCentral& record, uint64_t entries, uint64_t size, uint64_t offset);
// Sets the ZIP64 end record's counts, size and offset, and its record size
// (the fixed part only: an extensible data sector is not written).
void SetDirectoryFields(Zip64EndOfCentral& record, uint64_t entries, uint64_t size, uint64_t offset);
// A new ZIP64 end record for these values (version needed 45, made by
// `versionMadeBy`), and the locator of one at `recordAt` in a one-disk archive.
Zip64EndOfCentral NewZip64End(uint16_t versionMadeBy, uint64_t entries, uint64_t size,
                              uint64_t offset);
Zip64Locator Zip64LocatorFor(uint64_t recordAt);

// Why LocateCentralDirectory could not place the directory.
enum class PlaceFault {
  kNone,
  kReadFailed,         // the file could not be read where the records lie
  kNoEndRecord,
  kZip64Missing,       // a ZIP64 locator without a ZIP64 end record in front of it
  kDirectoryTooLarge,  // the directory would begin before the file does
  kOffsetBeyond,       // its recorded offset lies behind where it really begins
};

// Where an archive's central directory really lies in a file that may hold a
// prefix (a self-extractor stub) in front of the archive.
struct DirectoryPlace {
  ZipEndOfCentral record{};       // the classic end record
  uint64_t endAt = 0;             // its position in the file
  std::vector<uint8_t> comment;   // the archive comment, cut where the file ends
  DirectoryExtent extent;         // as the end records say
  uint64_t directoryEnd = 0;      // the ZIP64 end record when there is one, else endAt
  uint64_t directoryAt = 0;       // where the directory begins in the file
  uint64_t shift = 0;             // added to every recorded offset: the prefix's size

  // The real position of a local header recorded at `recorded`; nullopt when it
  // would lie behind the start of the directory.
  std::optional<uint64_t> LocalHeaderAt(uint64_t recorded) const {
    if (recorded > directoryAt - shift) return std::nullopt;
    return recorded + shift;
  }
};

// Finds the end record in the last bytes of a file of `fileSize` bytes (see
// FindEndRecord), the ZIP64 end record when a locator right in front of it
// promises one, and from both where the directory begins and how far every
// recorded offset is shifted. `out.extent` is set also on kDirectoryTooLarge
// and kOffsetBeyond, for callers that refuse other volumes first.
PlaceFault LocateCentralDirectory(uint64_t fileSize, const ReadAtFunction& read,
                                  DirectoryPlace& out);

}  // namespace zip
