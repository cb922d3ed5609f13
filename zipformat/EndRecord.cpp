#include "zipformat/EndRecord.h"

#include <algorithm>

namespace zip {

namespace {

// Reads from `tail` where it holds the bytes, else through `read`.
class FileBytes {
 public:
  FileBytes(std::span<const uint8_t> tail, uint64_t tailStart, const ReadAtFunction& read)
      : tail_(tail), tailStart_(tailStart), read_(read) {}
  bool Read(uint64_t offset, std::span<uint8_t> out) const {
    if (offset >= tailStart_ && offset - tailStart_ <= tail_.size() &&
        out.size() <= tail_.size() - (offset - tailStart_)) {
      std::copy_n(tail_.begin() + static_cast<ptrdiff_t>(offset - tailStart_), out.size(), out.begin());
      return true;
    }
    return read_ && read_(offset, out);
  }
  bool StartsCentralHeader(uint64_t offset) const {
    uint8_t signature[4];
    return Read(offset, signature) && Load32(signature) == kCentralHeaderSignature;
  }

 private:
  std::span<const uint8_t> tail_;
  uint64_t tailStart_;
  const ReadAtFunction& read_;
};

// True when the directory of the end record at `at` begins with a central header
// at its recorded offset or right in front of where it ends (in front of the
// ZIP64 end record when one lies before the end record). An empty directory or
// one on another volume cannot be checked here and does not count.
bool DirectoryWhereItSays(const ZipEndOfCentral& record, uint64_t at, const FileBytes& file) {
  DirectoryExtent extent = ResolveExtent(record);
  uint64_t directoryEnd = at;
  constexpr uint64_t kTrailer = kZip64EndSize + kZip64LocatorSize;
  uint8_t trailer[kTrailer];
  Zip64EndOfCentral zip64;
  if (at >= kTrailer && file.Read(at - kTrailer, trailer) &&
      DecodeZip64Trailer(trailer, zip64) == Status::kOk) {
    extent = ResolveExtent(record, &zip64);
    directoryEnd = at - kTrailer;
  }
  if (extent.thisDisk != extent.centralDisk || extent.entries == 0 ||
      extent.size < kCentralHeaderSize || extent.size > directoryEnd)
    return false;
  return file.StartsCentralHeader(directoryEnd - extent.size) ||
         (extent.offset <= directoryEnd - extent.size && file.StartsCentralHeader(extent.offset));
}

}  // namespace

std::optional<EndRecordMatch> FindEndRecord(std::span<const uint8_t> tail, uint64_t tailStart,
                                            const ReadAtFunction& read) {
  if (tail.size() < kEndRecordSize) return std::nullopt;
  const FileBytes file(tail, tailStart, read);
  std::optional<EndRecordMatch> last;
  for (size_t i = tail.size() - kEndRecordSize + 1; i-- > 0;) {
    const uint8_t* p = tail.data() + i;
    // Cheap first-byte test before the full load: this loop runs over up to 64 KiB.
    if (p[0] != 0x50 || Load32(p) != kEndOfCentralSignature) continue;
    EndRecordMatch match;
    match.at = i;
    Decode(p, match.record);
    const size_t end = i + kEndRecordSize + match.record.ZipCommentLen;
    if (end <= tail.size())
      match.trailing = tail.size() - end;
    else
      match.commentPastEnd = true;
    if (DirectoryWhereItSays(match.record, tailStart + i, file)) return match;
    if (!last) last = match;
  }
  return last;
}

std::optional<EndRecordMatch> FindEndRecord(std::span<const uint8_t> file) {
  return FindEndRecord(file, 0, nullptr);
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

bool NeedsZip64End(uint64_t entries, uint64_t size, uint64_t offset) {
  return entries >= kSaturated16 || size >= kSaturated32 || offset >= kSaturated32;
}

void SetDirectoryFields(ZipEndOfCentral& r, uint64_t entries, uint64_t size, uint64_t offset) {
  r.CentralEntries = r.TotalEntries = static_cast<uint16_t>(std::min<uint64_t>(entries, kSaturated16));
  r.CentralSize = static_cast<uint32_t>(std::min<uint64_t>(size, kSaturated32));
  r.CentralOffSet = static_cast<uint32_t>(std::min<uint64_t>(offset, kSaturated32));
}

void SetDirectoryFields(Zip64EndOfCentral& r, uint64_t entries, uint64_t size, uint64_t offset) {
  r.RecordSize = kZip64EndSize - 12;  // counted behind the signature and this field
  r.CentralEntries = r.TotalEntries = entries;
  r.CentralSize = size;
  r.CentralOffSet = offset;
}

Zip64EndOfCentral NewZip64End(uint16_t versionMadeBy, uint64_t entries, uint64_t size,
                              uint64_t offset) {
  Zip64EndOfCentral r{};
  r.HeaderSig = kZip64EndSignature;
  r.VersionMadeBy = versionMadeBy;
  r.VersionNeed = kZip64VersionNeeded;
  SetDirectoryFields(r, entries, size, offset);
  return r;
}

Zip64Locator Zip64LocatorFor(uint64_t recordAt) {
  return Zip64Locator{kZip64LocatorSignature, 0, recordAt, 1};
}

PlaceFault LocateCentralDirectory(uint64_t fileSize, const ReadAtFunction& read,
                                  DirectoryPlace& out) {
  std::vector<uint8_t> tail(static_cast<size_t>(std::min<uint64_t>(fileSize, kEndSearchWindow)));
  const uint64_t tailStart = fileSize - tail.size();
  if (!read(tailStart, tail)) return PlaceFault::kReadFailed;
  const std::optional<EndRecordMatch> match = FindEndRecord(tail, tailStart, read);
  if (!match) return PlaceFault::kNoEndRecord;
  out.record = match->record;
  out.endAt = tailStart + match->at;
  const size_t commentStart = match->at + kEndRecordSize;
  out.comment.assign(tail.begin() + static_cast<ptrdiff_t>(commentStart),
                     tail.begin() + static_cast<ptrdiff_t>(std::min(
                                        tail.size(), commentStart + match->record.ZipCommentLen)));
  out.extent = ResolveExtent(match->record);
  out.directoryEnd = out.endAt;
  // A locator right in front of the end record promises the ZIP64 end record
  // right in front of the locator (its own recorded offset may be shifted by a
  // prefix like every other).
  uint8_t locatorBytes[kZip64LocatorSize];
  Zip64Locator locator;
  if (out.endAt >= kZip64LocatorSize) {
    if (!read(out.endAt - kZip64LocatorSize, locatorBytes)) return PlaceFault::kReadFailed;
    if (DecodeZip64Locator(locatorBytes, locator) == Status::kOk) {
      constexpr uint64_t kBehind = kZip64LocatorSize + kZip64EndSize;
      uint8_t recordBytes[kZip64EndSize];
      Zip64EndOfCentral zip64;
      if (out.endAt < kBehind || !read(out.endAt - kBehind, recordBytes) ||
          DecodeZip64End(recordBytes, zip64) != Status::kOk)
        return PlaceFault::kZip64Missing;
      out.extent = ResolveExtent(match->record, &zip64);
      out.directoryEnd = out.endAt - kBehind;
    }
  }
  if (out.extent.size > out.directoryEnd) return PlaceFault::kDirectoryTooLarge;
  out.directoryAt = out.directoryEnd - out.extent.size;
  if (out.extent.offset > out.directoryAt) return PlaceFault::kOffsetBeyond;
  out.shift = out.directoryAt - out.extent.offset;
  return PlaceFault::kNone;
}

}  // namespace zip
