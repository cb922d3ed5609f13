#include "ZipFormat.h"

#include <algorithm>

#include "EngineSession.h"
#include "zipformat/DataDescriptor.h"
#include "zipformat/EndRecord.h"
#include "zipformat/ExtraField.h"
#include "zipformat/Headers.h"

namespace zipdll {
namespace {

[[noreturn]] void Damaged(const std::string& what) {
  throw EngineError(kEngineBadArchive, "Archive damaged or not a ZIP file: " + what);
}

void ReadAt(platform::FileSystem& fs, platform::FileHandle h, uint64_t offset, void* buffer, size_t size) {
  if (fs.Seek(h, static_cast<int64_t>(offset), platform::SeekFrom::Begin) < 0 ||
      fs.Read(h, buffer, size) != static_cast<int64_t>(size)) {
    throw EngineError(kEngineReadError,
                      platform::WithReason("Cannot read the archive", fs.LastError()));
  }
}

// Where the end records place the central directory; `position` is where the
// directory must end: at the ZIP64 end record when there is one (writers that
// stream their input add it to small archives too), else at the end record.
struct EndRecords {
  zip::DirectoryExtent extent;
  uint64_t position = 0;
  std::string comment;
};

EndRecords ReadEndRecords(platform::FileSystem& fs, platform::FileHandle h, uint64_t fileSize) {
  std::vector<uint8_t> tail(
      static_cast<size_t>(std::min<uint64_t>(fileSize, zip::kEndSearchWindow)));
  const uint64_t tailStart = fileSize - tail.size();
  ReadAt(fs, h, tailStart, tail.data(), tail.size());
  std::optional<zip::EndRecordMatch> match =
      zip::FindEndRecord(tail, tailStart, [&fs, h](uint64_t offset, std::span<uint8_t> out) {
        return fs.Seek(h, static_cast<int64_t>(offset), platform::SeekFrom::Begin) >= 0 &&
               fs.Read(h, out.data(), out.size()) == static_cast<int64_t>(out.size());
      });
  if (!match) Damaged("no end of central directory");
  EndRecords end;
  end.position = tailStart + match->at;
  // A comment cut short by the end of the file keeps what is there.
  const size_t commentStart = match->at + zip::kEndRecordSize;
  end.comment.assign(
      tail.begin() + commentStart,
      tail.begin() + std::min(tail.size(), commentStart + match->record.ZipCommentLen));
  end.extent = zip::ResolveExtent(match->record);
  const uint64_t behind = zip::kZip64LocatorSize + zip::kZip64EndSize;
  if (end.position >= behind) {
    uint8_t bytes[zip::kZip64LocatorSize + zip::kZip64EndSize];
    ReadAt(fs, h, end.position - behind, bytes, sizeof bytes);
    zip::Zip64EndOfCentral record;
    const zip::Status trailer = zip::DecodeZip64Trailer(bytes, record);
    if (trailer != zip::Status::kNotFound) {
      if (trailer != zip::Status::kOk) Damaged("zip64 end record missing");
      end.extent = zip::ResolveExtent(match->record, &record);
      end.position -= behind;
    }
  }
  if (end.extent.thisDisk != 0 || end.extent.centralDisk != 0)
    throw EngineError(kEngineUnsupported, "Spanned archives cannot be updated");
  return end;
}

// One past a member's data and its data descriptor, if it has one.
uint64_t MemberEnd(platform::FileSystem& fs, platform::FileHandle h, const Member& hd,
                   uint64_t dataEnd, uint64_t limit) {
  if (!(hd.flags & zip::kFlagDataDescriptor)) return dataEnd;
  uint8_t bytes[24] = {};
  const size_t available =
      static_cast<size_t>(std::min<uint64_t>(sizeof bytes, limit - std::min(limit, dataEnd)));
  if (available) ReadAt(fs, h, dataEnd, bytes, available);
  std::optional<zip::DescriptorForm> form = zip::MeasureDataDescriptor(
      {bytes, available}, {hd.crc, hd.compressedSize, hd.uncompressedSize});
  if (!form) Damaged("data descriptor of " + hd.name);
  return dataEnd + form->length;
}

}  // namespace

ExistingArchive ReadArchive(platform::FileSystem& fs, platform::FileHandle h) {
  ExistingArchive archive;
  int64_t fileSize = fs.Size(h);
  if (fileSize < static_cast<int64_t>(zip::kEndRecordSize)) Damaged("too short");
  if (static_cast<uint64_t>(fileSize) > kZip32Limit) {
    throw EngineError(kEngineUnsupported, "Archives of 4 GiB or more are not supported");
  }
  archive.fileDosTime = fs.GetFileDosTime(h).value_or(0);

  const EndRecords end = ReadEndRecords(fs, h, static_cast<uint64_t>(fileSize));
  archive.comment = end.comment;
  if (end.extent.size > end.position) Damaged("central directory size");
  // A stub in front of the archive shifts every stored offset by the same amount.
  const uint64_t centralPos = end.position - end.extent.size;
  if (centralPos < end.extent.offset) Damaged("central directory offset");
  const uint64_t shift = centralPos - end.extent.offset;

  std::vector<uint8_t> central(static_cast<size_t>(end.extent.size));
  if (!central.empty()) ReadAt(fs, h, centralPos, central.data(), central.size());
  std::span<const uint8_t> rest(central);
  archive.prefixSize = centralPos;
  for (uint64_t i = 0; i < end.extent.entries; ++i) {
    zip::CentralEntry e;
    if (zip::Status status = zip::DecodeCentralEntry(rest, e); status != zip::Status::kOk)
      Damaged(std::string("central header: ") + zip::Describe(status));
    ExistingMember m;
    Member& hd = m.member;
    hd = engine::MemberOf(e);
    hd.name.assign(e.name.begin(), e.name.end());
    // Values that fit the header's own fields are written there again, so the
    // ZIP64 block that carried them goes; the local header keeps its own.
    const std::vector<uint8_t> extra = e.zip64
                                           ? zip::WithoutExtra(e.extra, zip::kExtraZip64)
                                           : std::vector<uint8_t>(e.extra.begin(), e.extra.end());
    hd.extra.assign(extra.begin(), extra.end());
    hd.comment.assign(e.comment.begin(), e.comment.end());
    if (hd.compressedSize >= kZip32Limit || hd.uncompressedSize >= kZip32Limit ||
        hd.localHeaderOffset >= kZip32Limit)
      throw EngineError(kEngineUnsupported,
                        "Members of 4 GiB or more are not supported: " + hd.name);
    rest = rest.subspan(e.recordSize);

    uint8_t localBytes[zip::kLocalHeaderSize];
    hd.localHeaderOffset += shift;
    if (hd.localHeaderOffset > centralPos || centralPos - hd.localHeaderOffset < sizeof localBytes)
      Damaged("local header offset of " + hd.name);
    ReadAt(fs, h, hd.localHeaderOffset, localBytes, sizeof localBytes);
    zip::LocalFileHeader local;
    if (zip::DecodeLocalHeader({localBytes, sizeof localBytes}, local) != zip::Status::kOk)
      Damaged("local header of " + hd.name);
    uint64_t dataStart = 0;
    if (!zip::MemberDataFits(hd.localHeaderOffset, local, hd.compressedSize, centralPos, dataStart))
      Damaged("member data of " + hd.name);
    m.rawEnd = MemberEnd(fs, h, hd, dataStart + hd.compressedSize, centralPos);
    if (m.rawEnd > centralPos) Damaged("member data of " + hd.name);
    archive.prefixSize = std::min(archive.prefixSize, hd.localHeaderOffset);
    archive.members.push_back(std::move(m));
  }
  return archive;
}

namespace {

zip::LocalFileHeader LocalFields(const Member& m) {
  zip::LocalFileHeader h{};
  h.HeaderSig = zip::kLocalHeaderSignature;
  h.VersionNeed = m.versionNeeded;
  h.Flag = m.flags;
  h.ComprMethod = m.method;
  h.ModifTime = static_cast<uint16_t>(m.dosDateTime);
  h.ModifDate = static_cast<uint16_t>(m.dosDateTime >> 16);
  h.CRC32 = m.crc;
  h.ComprSize = static_cast<uint32_t>(m.compressedSize);
  h.UnComprSize = static_cast<uint32_t>(m.uncompressedSize);
  h.FileNameLen = static_cast<uint16_t>(m.name.size());
  h.ExtraLen = 0;
  return h;
}

}  // namespace

std::string LocalHeaderBytes(const Member& m) {
  std::string out(zip::kLocalHeaderSize, '\0');
  zip::Encode(LocalFields(m), reinterpret_cast<uint8_t*>(out.data()));
  return out + m.name;
}

std::string CentralHeaderBytes(const Member& m) {
  const zip::LocalFileHeader shared = LocalFields(m);
  zip::CentralFileHeader h{};
  h.HeaderSig = zip::kCentralHeaderSignature;
  h.VersionMadeBy0 = m.versionMadeBy;
  h.VersionMadeBy1 = m.host;
  h.VersionNeed = shared.VersionNeed;
  h.Flag = shared.Flag;
  h.ComprMethod = shared.ComprMethod;
  h.ModifTime = shared.ModifTime;
  h.ModifDate = shared.ModifDate;
  h.CRC32 = shared.CRC32;
  h.ComprSize = shared.ComprSize;
  h.UnComprSize = shared.UnComprSize;
  h.FileNameLen = shared.FileNameLen;
  h.ExtraLen = static_cast<uint16_t>(m.extra.size());
  h.FileComLen = static_cast<uint16_t>(m.comment.size());
  h.DiskStart = 0;
  h.IntFileAtt = m.internalAttributes;
  h.ExtFileAtt = m.externalAttributes;
  h.RelOffLocal = static_cast<uint32_t>(m.localHeaderOffset);
  std::string out(zip::kCentralHeaderSize, '\0');
  zip::Encode(h, reinterpret_cast<uint8_t*>(out.data()));
  return out + m.name + m.extra + m.comment;
}

std::string EndRecordBytes(uint64_t count, uint64_t centralSize, uint64_t centralOffset,
                           const std::string& comment) {
  if (count > zip::kSaturated16)
    throw EngineError(kEngineUnsupported, "More than 65535 members are not supported");
  if (centralOffset + centralSize > kZip32Limit) {
    throw EngineError(kEngineUnsupported, "The archive would reach 4 GiB, which is not supported");
  }
  const std::string text = comment.substr(0, zip::kMaxCommentSize);
  zip::ZipEndOfCentral e{};
  e.HeaderSig = zip::kEndOfCentralSignature;
  e.CentralEntries = e.TotalEntries = static_cast<uint16_t>(count);
  e.CentralSize = static_cast<uint32_t>(centralSize);
  e.CentralOffSet = static_cast<uint32_t>(centralOffset);
  e.ZipCommentLen = static_cast<uint16_t>(text.size());
  std::string out(zip::kEndRecordSize, '\0');
  zip::Encode(e, reinterpret_cast<uint8_t*>(out.data()));
  return out + text;
}

}  // namespace zipdll
