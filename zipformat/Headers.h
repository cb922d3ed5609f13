// Decoding central and local headers with their variable parts, every length
// checked against the bytes the caller gives, and ZIP64 values resolved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "zipformat/Records.h"
#include "zipformat/Status.h"

namespace zip {

// One central directory entry. The spans point into the caller's bytes.
struct CentralEntry {
  CentralFileHeader header{};
  std::span<const uint8_t> name, extra, comment;
  size_t recordSize = 0;  // fixed part plus name, extra field and comment
  // The true values: the header's, or the ZIP64 block's where the header saturates.
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  uint64_t localHeaderOffset = 0;
  uint32_t diskStart = 0;
  bool zip64 = false;  // some value came from a ZIP64 block
};

// Decodes the entry at the start of `bytes`. kTruncated when the fixed part
// does not fit, kBadSignature, kVariableTruncated when the variable parts run
// past `bytes`, kBadZip64 when a saturated field has no ZIP64 value.
Status DecodeCentralEntry(std::span<const uint8_t> bytes, CentralEntry& out);

// The true values of an entry whose `header` and `extra` are set, for callers
// that read the variable parts apart; what DecodeCentralEntry does last.
Status ResolveCentralValues(CentralEntry& entry);

// The entries of a central directory held whole in memory, one after another.
class CentralDirectoryWalk {
 public:
  explicit CentralDirectoryWalk(std::span<const uint8_t> directory) : rest_(directory) {}
  // True when the bytes left begin with a central header's signature.
  bool AtEntry() const {
    return rest_.size() >= 4 && Load32(rest_.data()) == kCentralHeaderSignature;
  }
  // Decodes the next entry and steps past it; stays where it is on failure.
  Status Next(CentralEntry& out) {
    const Status status = DecodeCentralEntry(rest_, out);
    if (status == Status::kOk) rest_ = rest_.subspan(out.recordSize);
    return status;
  }
  std::span<const uint8_t> Rest() const { return rest_; }

 private:
  std::span<const uint8_t> rest_;
};

// The fixed part alone, for callers that read it before its variable parts.
Status DecodeCentralHeader(std::span<const uint8_t> bytes, CentralFileHeader& out);

// One local header with its name and extra field.
struct LocalEntry {
  LocalFileHeader header{};
  std::span<const uint8_t> name, extra;
  size_t headerSize = 0;  // fixed part plus name and extra field: the data starts here
};

Status DecodeLocalHeader(std::span<const uint8_t> bytes, LocalFileHeader& out);
Status DecodeLocalEntry(std::span<const uint8_t> bytes, LocalEntry& out);
// Bytes from a local header to its data, from the fixed part alone.
inline size_t LocalHeaderTotalSize(const LocalFileHeader& h) {
  return kLocalHeaderSize + size_t{h.FileNameLen} + h.ExtraLen;
}

// Where a member's data lies: `localOffset` plus the local header's size, with
// `compressedSize` bytes that must end at or before `limit`. False when it
// does not (a damaged or hostile archive).
bool MemberDataFits(uint64_t localOffset, const LocalFileHeader& local, uint64_t compressedSize,
                    uint64_t limit, uint64_t& dataStart);

}  // namespace zip
