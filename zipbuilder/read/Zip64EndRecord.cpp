#include "zipbuilder/read/Zip64EndRecord.h"

#include "zipbuilder/core/ZipErrors.h"
#include "zipformat/EndRecord.h"

std::optional<zip::Zip64EndOfCentral> ReadZip64End(const Zip64Source& in, int64_t endRecordOffset) {
  uint8_t bytes[zip::kZip64EndSize + zip::kZip64LocatorSize];
  const int64_t recordAt = endRecordOffset - static_cast<int64_t>(sizeof bytes);
  if (recordAt < 0) return std::nullopt;
  if (!in.seekTo(recordAt)) throw EZipBuilder(kMsgInputSeekError);
  if (!in.read(bytes, sizeof bytes)) throw EZipBuilder(kMsgCentralHeaderReadError);
  zip::Zip64EndOfCentral record;
  // A record with an extensible data sector is not one this component writes or reads.
  if (zip::DecodeZip64Trailer(bytes, record) != zip::Status::kOk ||
      record.RecordSize != zip::kZip64EndSize - 12)
    return std::nullopt;
  return record;
}

std::optional<zip::Zip64EndOfCentral> ReadZip64End(platform::FileSystem& files,
                                                   platform::FileHandle h, int64_t endRecordOffset) {
  return ReadZip64End(
      {[&](int64_t at) { return files.Seek(h, at, platform::SeekFrom::Begin) == at; },
       [&](void* out, size_t count) { return files.Read(h, out, count) == static_cast<int64_t>(count); }},
      endRecordOffset);
}
