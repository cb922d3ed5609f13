#include "engines/zipdll/ArchiveRecords.h"

#include <algorithm>

#include "engines/zipdll/EngineSession.h"
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

// The directory's place in the file; this engine reads neither other volumes
// nor archives beyond 4 GiB.
zip::DirectoryPlace PlaceDirectory(platform::FileSystem& fs, platform::FileHandle h, uint64_t fileSize) {
  zip::DirectoryPlace place;
  const zip::PlaceFault fault = zip::LocateCentralDirectory(
      fileSize,
      [&fs, h](uint64_t offset, std::span<uint8_t> out) {
        return fs.Seek(h, static_cast<int64_t>(offset), platform::SeekFrom::Begin) >= 0 &&
               fs.Read(h, out.data(), out.size()) == static_cast<int64_t>(out.size());
      },
      place);
  if (fault == zip::PlaceFault::kReadFailed)
    throw EngineError(kEngineReadError, platform::WithReason("Cannot read the archive", fs.LastError()));
  if (fault == zip::PlaceFault::kNoEndRecord) Damaged("no end of central directory");
  if (fault == zip::PlaceFault::kZip64Missing) Damaged("zip64 end record missing");
  if (place.extent.thisDisk != 0 || place.extent.centralDisk != 0)
    throw EngineError(kEngineUnsupported, "Spanned archives cannot be updated");
  if (fault == zip::PlaceFault::kDirectoryTooLarge) Damaged("central directory size");
  if (fault == zip::PlaceFault::kOffsetBeyond) Damaged("central directory offset");
  return place;
}

// One past a member's data and its data descriptor, if it has one.
uint64_t MemberEnd(platform::FileSystem& fs, platform::FileHandle h, const Member& hd,
                   uint64_t dataEnd, uint64_t limit) {
  if (!(hd.flags & zip::kFlagDataDescriptor)) return dataEnd;
  uint8_t bytes[zip::kMaxDataDescriptorSize] = {};
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
  archive.fileDosTime = fs.GetFileDosTime(h).value_or(0);

  const zip::DirectoryPlace place = PlaceDirectory(fs, h, static_cast<uint64_t>(fileSize));
  archive.comment.assign(place.comment.begin(), place.comment.end());
  const uint64_t centralPos = place.directoryAt;
  std::vector<uint8_t> central(static_cast<size_t>(place.extent.size));
  if (!central.empty()) ReadAt(fs, h, centralPos, central.data(), central.size());
  zip::CentralDirectoryWalk walk(central);
  archive.prefixSize = centralPos;
  for (uint64_t i = 0; i < place.extent.entries; ++i) {
    zip::CentralEntry e;
    if (zip::Status status = walk.Next(e); status != zip::Status::kOk)
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

    uint8_t localBytes[zip::kLocalHeaderSize];
    const std::optional<uint64_t> localAt = place.LocalHeaderAt(hd.localHeaderOffset);
    if (!localAt || centralPos - *localAt < sizeof localBytes) Damaged("local header offset of " + hd.name);
    hd.localHeaderOffset = *localAt;
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
  h.ExtraLen = static_cast<uint16_t>(m.extra.size());
  return h;
}

std::string Bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

}  // namespace

bool ReservesZip64(uint64_t size) {
  constexpr uint64_t kMostGrowth = 64 << 10;
  return size + size / 1024 + kMostGrowth >= kZip32Limit;
}

std::string LocalHeaderBytes(const Member& m, bool zip64) {
  zip::LocalFileHeader h = LocalFields(m);
  std::string extra;
  zip64 = zip64 || m.compressedSize >= kZip32Limit || m.uncompressedSize >= kZip32Limit;
  if (zip64) {
    extra = Bytes(zip::EncodeZip64Extra(zip::kLocalZip64Fields,
                                        {m.uncompressedSize, m.compressedSize, 0, 0}));
    h.ComprSize = h.UnComprSize = zip::kSaturated32;
    h.VersionNeed = std::max(h.VersionNeed, zip::kZip64VersionNeeded);
  }
  std::string out(zip::kLocalHeaderSize, '\0');
  // New members only: their extra field is what both headers carry, behind
  // the local ZIP64 block.
  extra += m.extra;
  h.ExtraLen = static_cast<uint16_t>(extra.size());
  zip::Encode(h, reinterpret_cast<uint8_t*>(out.data()));
  return out + m.name + extra;
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
  h.FileComLen = static_cast<uint16_t>(m.comment.size());
  h.DiskStart = 0;
  h.IntFileAtt = m.internalAttributes;
  h.ExtFileAtt = m.externalAttributes;
  h.RelOffLocal = static_cast<uint32_t>(m.localHeaderOffset);
  std::string extra = m.extra;
  const zip::Zip64Values values{m.uncompressedSize, m.compressedSize, m.localHeaderOffset, 0};
  const zip::Zip64Fields zip64 = zip::CentralZip64Fields(values);
  if (zip64.Any()) {
    const auto* area = reinterpret_cast<const uint8_t*>(m.extra.data());
    extra = Bytes(zip::EncodeZip64Extra(zip64, values)) +
            Bytes(zip::WithoutExtra({area, m.extra.size()}, zip::kExtraZip64));
    if (extra.size() > zip::kSaturated16)
      throw EngineError(kEngineUnsupported,
                        "The extra field of " + m.name + " would pass 65535 bytes with its ZIP64 values");
    if (zip64.uncompressed) h.UnComprSize = zip::kSaturated32;
    if (zip64.compressed) h.ComprSize = zip::kSaturated32;
    if (zip64.offset) h.RelOffLocal = zip::kSaturated32;
    h.VersionNeed = std::max(h.VersionNeed, zip::kZip64VersionNeeded);
  }
  h.ExtraLen = static_cast<uint16_t>(extra.size());
  std::string out(zip::kCentralHeaderSize, '\0');
  zip::Encode(h, reinterpret_cast<uint8_t*>(out.data()));
  return out + m.name + extra + m.comment;
}

std::string EndRecordBytes(uint64_t count, uint64_t centralSize, uint64_t centralOffset,
                           const std::string& comment) {
  std::string out;
  if (zip::NeedsZip64End(count, centralSize, centralOffset)) {
    const uint64_t recordAt = centralOffset + centralSize;
    uint8_t record[zip::kZip64EndSize], locator[zip::kZip64LocatorSize];
    zip::Encode(zip::NewZip64End(kHostSystem << 8 | zip::kZip64VersionNeeded, count,
                                 centralSize, centralOffset),
                record);
    zip::Encode(zip::Zip64LocatorFor(recordAt), locator);
    out.append(reinterpret_cast<const char*>(record), sizeof record);
    out.append(reinterpret_cast<const char*>(locator), sizeof locator);
  }
  const std::string text = comment.substr(0, zip::kMaxCommentSize);
  zip::ZipEndOfCentral e{};
  e.HeaderSig = zip::kEndOfCentralSignature;
  zip::SetDirectoryFields(e, count, centralSize, centralOffset);
  e.ZipCommentLen = static_cast<uint16_t>(text.size());
  std::string end(zip::kEndRecordSize, '\0');
  zip::Encode(e, reinterpret_cast<uint8_t*>(end.data()));
  return out + end + text;
}

}  // namespace zipdll
