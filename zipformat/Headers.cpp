#include "zipformat/Headers.h"

#include "zipformat/ExtraField.h"

namespace zip {

Status DecodeCentralHeader(std::span<const uint8_t> bytes, CentralFileHeader& out) {
  if (bytes.size() < kCentralHeaderSize) return Status::kTruncated;
  if (Load32(bytes.data()) != kCentralHeaderSignature) return Status::kBadSignature;
  Decode(bytes.data(), out);
  return Status::kOk;
}

Status DecodeCentralEntry(std::span<const uint8_t> bytes, CentralEntry& e) {
  if (Status s = DecodeCentralHeader(bytes, e.header); s != Status::kOk) return s;
  const CentralFileHeader& h = e.header;
  const size_t variable = size_t{h.FileNameLen} + h.ExtraLen + h.FileComLen;
  if (bytes.size() - kCentralHeaderSize < variable) return Status::kVariableTruncated;
  e.name = bytes.subspan(kCentralHeaderSize, h.FileNameLen);
  e.extra = bytes.subspan(kCentralHeaderSize + h.FileNameLen, h.ExtraLen);
  e.comment = bytes.subspan(kCentralHeaderSize + h.FileNameLen + h.ExtraLen, h.FileComLen);
  e.recordSize = kCentralHeaderSize + variable;
  return ResolveCentralValues(e);
}

Status ResolveCentralValues(CentralEntry& e) {
  const CentralFileHeader& h = e.header;
  e.compressedSize = h.ComprSize;
  e.uncompressedSize = h.UnComprSize;
  e.localHeaderOffset = h.RelOffLocal;
  e.diskStart = h.DiskStart;
  e.zip64 = false;
  Zip64Fields wanted;
  wanted.uncompressed = h.UnComprSize == kSaturated32;
  wanted.compressed = h.ComprSize == kSaturated32;
  wanted.offset = h.RelOffLocal == kSaturated32;
  wanted.disk = h.DiskStart == kSaturated16;
  if (!wanted.uncompressed && !wanted.compressed && !wanted.offset && !wanted.disk)
    return Status::kOk;
  auto block = FindExtra(e.extra, kExtraZip64);
  // A saturated disk number alone is an old writer's real value, not a ZIP64 claim.
  if (!block)
    return wanted.uncompressed || wanted.compressed || wanted.offset ? Status::kBadZip64
                                                                     : Status::kOk;
  Zip64Values values;
  if (Status s = DecodeZip64Extra(*block, wanted, values); s != Status::kOk) return s;
  if (wanted.uncompressed) e.uncompressedSize = values.uncompressed;
  if (wanted.compressed) e.compressedSize = values.compressed;
  if (wanted.offset) e.localHeaderOffset = values.offset;
  if (wanted.disk) e.diskStart = values.disk;
  e.zip64 = true;
  return Status::kOk;
}

Status DecodeLocalHeader(std::span<const uint8_t> bytes, LocalFileHeader& out) {
  if (bytes.size() < kLocalHeaderSize) return Status::kTruncated;
  if (Load32(bytes.data()) != kLocalHeaderSignature) return Status::kBadSignature;
  Decode(bytes.data(), out);
  return Status::kOk;
}

Status DecodeLocalEntry(std::span<const uint8_t> bytes, LocalEntry& e) {
  if (Status s = DecodeLocalHeader(bytes, e.header); s != Status::kOk) return s;
  e.headerSize = LocalHeaderTotalSize(e.header);
  if (bytes.size() < e.headerSize) return Status::kVariableTruncated;
  e.name = bytes.subspan(kLocalHeaderSize, e.header.FileNameLen);
  e.extra = bytes.subspan(kLocalHeaderSize + e.header.FileNameLen, e.header.ExtraLen);
  return Status::kOk;
}

bool MemberDataFits(uint64_t localOffset, const LocalFileHeader& local, uint64_t compressedSize,
                    uint64_t limit, uint64_t& dataStart) {
  const uint64_t headerSize = LocalHeaderTotalSize(local);
  if (localOffset > limit || headerSize > limit - localOffset) return false;
  dataStart = localOffset + headerSize;
  return compressedSize <= limit - dataStart;
}

}  // namespace zip
