#include "zipformat/EndRecord.h"

namespace zip {

std::optional<EndRecordMatch> FindEndRecord(std::span<const uint8_t> tail) {
  if (tail.size() < kEndRecordSize) return std::nullopt;
  std::optional<EndRecordMatch> cut;
  for (size_t i = tail.size() - kEndRecordSize + 1; i-- > 0;) {
    const uint8_t* p = tail.data() + i;
    // Cheap first-byte test before the full load: this loop runs over up to 64 KiB.
    if (p[0] != 0x50 || Load32(p) != kEndOfCentralSignature) continue;
    EndRecordMatch match;
    match.at = i;
    Decode(p, match.record);
    const size_t end = i + kEndRecordSize + match.record.ZipCommentLen;
    if (end <= tail.size()) {
      match.trailing = tail.size() - end;
      return match;
    }
    if (!cut) {
      match.commentPastEnd = true;
      cut = match;
    }
  }
  return cut;
}

bool IsSaturated(const ZipEndOfCentral& r) {
  return r.ThisDiskNo == kSaturated16 || r.CentralDiskNo == kSaturated16 ||
         r.CentralEntries == kSaturated16 || r.TotalEntries == kSaturated16 ||
         r.CentralSize == kSaturated32 || r.CentralOffSet == kSaturated32;
}

Status DecodeZip64Locator(std::span<const uint8_t> bytes, Zip64Locator& out) {
  if (bytes.size() < kZip64LocatorSize) return Status::kTruncated;
  if (Load32(bytes.data()) != kZip64LocatorSignature) return Status::kBadSignature;
  Decode(bytes.data(), out);
  return Status::kOk;
}

Status DecodeZip64End(std::span<const uint8_t> bytes, Zip64EndOfCentral& out) {
  if (bytes.size() < kZip64EndSize) return Status::kTruncated;
  if (Load32(bytes.data()) != kZip64EndSignature) return Status::kBadSignature;
  Decode(bytes.data(), out);
  if (out.RecordSize < kZip64EndSize - 12) return Status::kTruncated;
  return Status::kOk;
}

Status DecodeZip64Trailer(std::span<const uint8_t> bytes, Zip64EndOfCentral& out) {
  if (bytes.size() < kZip64EndSize + kZip64LocatorSize) return Status::kTruncated;
  Zip64Locator locator;
  if (DecodeZip64Locator(bytes.subspan(kZip64EndSize), locator) != Status::kOk)
    return Status::kNotFound;
  return DecodeZip64End(bytes.first(kZip64EndSize), out);
}

DirectoryExtent ResolveExtent(const ZipEndOfCentral& r, const Zip64EndOfCentral* z) {
  DirectoryExtent e;
  e.entries = r.TotalEntries;
  e.diskEntries = r.CentralEntries;
  e.size = r.CentralSize;
  e.offset = r.CentralOffSet;
  e.thisDisk = r.ThisDiskNo;
  e.centralDisk = r.CentralDiskNo;
  if (!z) return e;
  // Only saturated fields defer to the ZIP64 record: a writer that adds the
  // record to a small archive keeps the classic values true.
  if (r.TotalEntries == kSaturated16) e.entries = z->TotalEntries;
  if (r.CentralEntries == kSaturated16) e.diskEntries = z->CentralEntries;
  if (r.CentralSize == kSaturated32) e.size = z->CentralSize;
  if (r.CentralOffSet == kSaturated32) e.offset = z->CentralOffSet;
  if (r.ThisDiskNo == kSaturated16) e.thisDisk = z->ThisDiskNo;
  if (r.CentralDiskNo == kSaturated16) e.centralDisk = z->CentralDiskNo;
  e.zip64 = true;
  return e;
}

}  // namespace zip
