// Copying the input archive's central directory and end record with every
// offset shifted: a self-extractor's stub moves the archive behind it. An
// archive with a ZIP64 end record keeps it, its offsets shifted too.
#include <string>

#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipbuilder/read/StoredArchive.h"
#include "zipformat/EndRecord.h"
#include "zipformat/Headers.h"

using platform::FileHandle;
using platform::SeekFrom;

namespace {

// The name, extra field and comment of `header`, read whole, with the local
// header's true offset (the ZIP64 block's where the field is saturated) moved
// by `shift`, in the block where it needs one.
std::string ShiftedVariableParts(platform::FileSystem& files, FileHandle in,
                                 zip::CentralFileHeader& header, int32_t shift) {
  std::string parts(size_t{header.FileNameLen} + header.ExtraLen + header.FileComLen, '\0');
  if (files.Read(in, parts.data(), parts.size()) != static_cast<int64_t>(parts.size()))
    throw EZipBuilder(kMsgCentralNameCopyError);
  zip::CentralEntry entry;
  entry.header = header;
  const auto* bytes = reinterpret_cast<const uint8_t*>(parts.data());
  entry.extra = {bytes + header.FileNameLen, header.ExtraLen};
  if (zip::ResolveCentralValues(entry) != zip::Status::kOk) throw EZipBuilder(kMsgCentralNameCopyError);
  StoredMember member;
  member.compressedSize = entry.compressedSize;
  member.uncompressedSize = entry.uncompressedSize;
  member.diskStart = entry.diskStart;
  const std::string_view extra(parts.data() + header.FileNameLen, header.ExtraLen);
  const uint64_t offset = entry.localHeaderOffset + static_cast<uint64_t>(int64_t{shift});
  const std::optional<std::string> placed = PlaceLocalHeader(header, extra, member, offset);
  if (!placed) return parts;
  return parts.substr(0, header.FileNameLen) + *placed +
         parts.substr(size_t{header.FileNameLen} + extra.size());
}

}  // namespace

int TZipBuilder::RWCentralDir(FileHandle& outFile, zip::ZipEndOfCentral endOfCentral,
                              int32_t shift, const zip::Zip64EndOfCentral* zip64End) {
  auto& files = *env_->files;
  try {
    const zip::DirectoryExtent extent = zip::ResolveExtent(endOfCentral, zip64End);
    uint8_t bytes[zip::kCentralHeaderSize];
    for (uint64_t i = 0; i < extent.entries; ++i) {
      if (files.Read(inFileHandle_, bytes, sizeof bytes) != sizeof bytes)
        throw EZipBuilder(kMsgCentralHeaderReadError);
      zip::CentralFileHeader header;
      if (zip::DecodeCentralHeader(bytes, header) != zip::Status::kOk)
        throw EZipBuilder(kMsgCentralSignatureWrong);
      // An offset in the ZIP64 block, or one that the shift takes there, is
      // placed with the variable parts read whole; any other only grows.
      const bool offsetInBlock = header.RelOffLocal == zip::kSaturated32 ||
                                 int64_t{header.RelOffLocal} + shift >= int64_t{zip::kSaturated32};
      std::string parts;
      if (offsetInBlock)
        parts = ShiftedVariableParts(files, inFileHandle_, header, shift);
      else
        header.RelOffLocal += static_cast<uint32_t>(shift);
      zip::Encode(header, bytes);
      if (files.Write(outFile, bytes, sizeof bytes) != sizeof bytes)
        throw EZipBuilder(kMsgCentralHeaderWriteError);
      const int64_t variable = int64_t{header.FileNameLen} + header.ExtraLen + header.FileComLen;
      if (offsetInBlock) {
        if (files.Write(outFile, parts.data(), parts.size()) != static_cast<int64_t>(parts.size()))
          throw EZipBuilder(kMsgCentralNameCopyError);
      } else if (variable > 0 && CopyBuffer(inFileHandle_, outFile, variable) != 0) {
        throw EZipBuilder(kMsgCentralNameCopyError);
      }
    }
    const int64_t skipped = zip64End ? zip::kZip64EndSize + zip::kZip64LocatorSize + zip::kEndRecordSize
                                     : zip::kEndRecordSize;
    if (files.Seek(inFileHandle_, skipped, SeekFrom::Current) < 0)
      throw EZipBuilder(kMsgEndRecordSkipError);
    if (zip64End) {
      const int64_t recordAt = files.Seek(outFile, 0, SeekFrom::Current);
      zip::Zip64EndOfCentral record = *zip64End;
      const uint64_t offset = extent.offset + static_cast<uint64_t>(int64_t{shift});
      zip::SetDirectoryFields(record, extent.entries, extent.size, offset);
      zip::SetDirectoryFields(endOfCentral, extent.entries, extent.size, offset);
      uint8_t trailer[zip::kZip64EndSize + zip::kZip64LocatorSize];
      zip::Encode(record, trailer);
      zip::Encode(zip::Zip64LocatorFor(static_cast<uint64_t>(recordAt)), trailer + zip::kZip64EndSize);
      if (recordAt < 0 || files.Write(outFile, trailer, sizeof trailer) != sizeof trailer)
        throw EZipBuilder(kMsgEndRecordWriteError);
    } else {
      endOfCentral.CentralOffSet += static_cast<uint32_t>(shift);
    }
    uint8_t record[zip::kEndRecordSize];
    zip::Encode(endOfCentral, record);
    if (files.Write(outFile, record, sizeof record) != sizeof record)
      throw EZipBuilder(kMsgEndRecordWriteError);
    if (endOfCentral.ZipCommentLen > 0 &&
        CopyBuffer(inFileHandle_, outFile, endOfCentral.ZipCommentLen) != 0)
      throw EZipBuilder(kMsgCommentCopyError);
  } catch (...) {
    return kCopyFailed;
  }
  return kResultOk;
}
