#include "zipbuilder/read/ZipDirEntry.h"

#include "zipformat/ExtraField.h"
#include "zipformat/Signatures.h"

namespace {

zip::Zip64Values TrueValues(const ZipDirEntry& e) {
  zip::Zip64Values values{e.UncompressedSize, e.CompressedSize, e.LocalHeaderOffset, e.DiskStart};
  zip::Zip64Fields saturated;
  saturated.uncompressed = e.UncompressedSize == zip::kSaturated32;
  saturated.compressed = e.CompressedSize == zip::kSaturated32;
  saturated.offset = e.LocalHeaderOffset == zip::kSaturated32;
  if (!saturated.Any()) return values;
  const auto block = zip::FindExtra(e.ExtraData, zip::kExtraZip64);
  zip::Zip64Values found;
  if (!block || zip::DecodeZip64Extra(*block, saturated, found) != zip::Status::kOk) return values;
  if (saturated.uncompressed) values.uncompressed = found.uncompressed;
  if (saturated.compressed) values.compressed = found.compressed;
  if (saturated.offset) values.offset = found.offset;
  return values;
}

}  // namespace

uint64_t ZipDirEntry::UncompressedSize64() const { return TrueValues(*this).uncompressed; }
uint64_t ZipDirEntry::CompressedSize64() const { return TrueValues(*this).compressed; }
uint64_t ZipDirEntry::LocalHeaderOffset64() const { return TrueValues(*this).offset; }
