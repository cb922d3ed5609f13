#include "zipbuilder/read/StoredArchive.h"

#include <algorithm>
#include <span>

#include "platform/Clock.h"
#include "zipbuilder/core/ZipErrors.h"
#include "zipbuilder/read/Zip64EndRecord.h"
#include "zipformat/DataDescriptor.h"
#include "zipformat/EndRecord.h"
#include "zipformat/ExtraField.h"
#include "zipformat/Headers.h"

namespace {

std::span<const uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// The message of a central entry that does not decode.
int CentralEntryError(zip::Status status, std::span<const uint8_t> rest) {
  switch (status) {
    case zip::Status::kBadSignature:
      return kMsgCentralSignatureWrong;
    case zip::Status::kVariableTruncated: {
      zip::CentralFileHeader h;
      zip::DecodeCentralHeader(rest, h);
      const size_t room = rest.size() - zip::kCentralHeaderSize;
      if (room < h.FileNameLen) return kMsgCentralNameReadError;
      if (room < size_t{h.FileNameLen} + h.ExtraLen) return kMsgCentralExtraReadError;
      return kMsgFileCommentReadError;
    }
    default:
      return kMsgCentralHeaderReadError;
  }
}

constexpr int64_t kFileTimeOf1970 = 11644473600;  // seconds from 1601 to 1970

// The extra-field blocks that carry a modification time of their own, changed
// in place to `unixTime`, so that readers that prefer them see the new date too.
void StampExtraTimes(std::string& extra, int64_t unixTime) {
  auto* base = reinterpret_cast<uint8_t*>(extra.data());
  zip::ExtraFieldReader reader(Bytes(extra));
  while (auto block = reader.Next()) {
    uint8_t* data = base + (block->data.data() - base);
    if (block->id == zip::kExtraTimestamp && zip::DecodeTimestampExtra(block->data)) {
      zip::Store32(data + 1, static_cast<uint32_t>(unixTime));
    } else if (block->id == zip::kExtraNtfs) {
      zip::NtfsTimes times;
      if (zip::DecodeNtfsExtra(block->data, times) == zip::Status::kOk)
        zip::Store64(data + times.at, static_cast<uint64_t>(unixTime + kFileTimeOf1970) * 10000000);
    }
  }
}

}  // namespace

zip::CentralFileHeader StoredMember::header() const {
  zip::CentralFileHeader fixed;
  zip::DecodeCentralHeader({record, zip::kCentralHeaderSize}, fixed);  // checked when the directory was read
  return fixed;
}

void StampExtraTimes(std::string& extra, uint32_t dosDateTime) {
  if (dosDateTime != 0) StampExtraTimes(extra, platform::DosDateTimeToUnix(dosDateTime));
}

StoredArchive ReadStoredArchive(ArchiveReader& in, const zip::ZipEndOfCentral& end, int64_t endAt) {
  StoredArchive archive;
  archive.end = end;
  archive.zip64End = ReadZip64End(
      {[&](int64_t at) { return in.SeekTo(at); }, [&](void* out, size_t count) { return in.Read(out, count); }},
      endAt);
  const zip::DirectoryExtent extent =
      zip::ResolveExtent(end, archive.zip64End ? &*archive.zip64End : nullptr);
  const int64_t trailer =
      archive.zip64End ? int64_t{zip::kZip64LocatorSize + zip::kZip64EndSize} : 0;
  archive.directoryAt = endAt - trailer - static_cast<int64_t>(extent.size);
  if (extent.size > static_cast<uint64_t>(endAt) || archive.directoryAt < 0)
    throw EZipBuilder(kMsgCentralHeaderReadError);
  // Recorded offsets count from the archive's start; a stub in front moves them all.
  const int64_t shift = archive.directoryAt - static_cast<int64_t>(extent.offset);

  const auto directorySize = static_cast<size_t>(extent.size);
  archive.directory.reset(new char[directorySize]);
  if (!in.SeekTo(archive.directoryAt)) throw EZipBuilder(kMsgInputSeekError);
  if (!in.Read(archive.directory.get(), directorySize)) throw EZipBuilder(kMsgCentralHeaderReadError);
  archive.members.reserve(
      static_cast<size_t>(std::min<uint64_t>(extent.entries, extent.size / zip::kCentralHeaderSize)));
  std::span<const uint8_t> rest = Bytes({archive.directory.get(), directorySize});
  for (uint64_t i = 0; i < extent.entries; ++i) {
    zip::CentralEntry entry;
    if (zip::Status s = zip::DecodeCentralEntry(rest, entry); s != zip::Status::kOk)
      throw EZipBuilder(CentralEntryError(s, rest));
    StoredMember& m = archive.members.emplace_back();
    m.record = rest.data();
    m.compressedSize = entry.compressedSize;
    m.uncompressedSize = entry.uncompressedSize;
    m.diskStart = entry.diskStart;
    m.localHeaderAt = static_cast<int64_t>(entry.localHeaderOffset) + shift;
    rest = rest.subspan(entry.recordSize);
  }

  archive.prefixSize = archive.directoryAt;
  for (const StoredMember& m : archive.members)
    archive.prefixSize = std::min(archive.prefixSize, m.localHeaderAt);
  archive.prefixSize = std::max<int64_t>(archive.prefixSize, 0);

  archive.comment.resize(end.ZipCommentLen);
  if (!in.SeekTo(endAt + static_cast<int64_t>(zip::kEndRecordSize))) throw EZipBuilder(kMsgArchiveCommentReadError);
  const int64_t got = in.ReadSome(archive.comment.data(), archive.comment.size());
  if (got < 0) throw EZipBuilder(kMsgArchiveCommentReadError);
  archive.comment.resize(static_cast<size_t>(got));  // a cut archive keeps what is there
  return archive;
}

void CopyStoredMember(ArchiveReader& in, ArchiveWriter& out, const StoredMember& member,
                      const LocalChange& change) {
  // Every read positions itself: moving a pending range to `out` moves `in` too.
  // The record's size as the directory tells it (the local extra field may differ).
  const uint64_t recordSize = zip::kLocalHeaderSize + member.name().size() + member.extra().size() +
                              member.compressedSize + zip::kMaxDataDescriptorSize;
  if (!out.StartRecord(in, member.localHeaderAt, recordSize)) throw EZipBuilder(kMsgInputSeekError);
  uint8_t fixed[zip::kLocalHeaderSize];
  if (!in.Read(fixed, sizeof fixed)) throw EZipBuilder(kMsgLocalHeaderReadError);
  zip::LocalFileHeader local;
  if (zip::DecodeLocalHeader(fixed, local) != zip::Status::kOk) throw EZipBuilder(kMsgLocalSignatureWrong);
  const int64_t nameAt = member.localHeaderAt + int64_t{zip::kLocalHeaderSize};
  const int64_t extraAt = nameAt + local.FileNameLen;
  const int64_t dataAt = extraAt + local.ExtraLen;

  // Unchanged stored bytes are copied as ranges, which join into one for a
  // record that passes unchanged (and for a run of such records).
  if (!change.name && change.dateTime == 0) {
    out.Copy(in, member.localHeaderAt, sizeof fixed + local.FileNameLen, kMsgLocalNameReadError);
  } else {
    std::string storedName;
    if (!change.name) {
      storedName.resize(local.FileNameLen);
      if (!in.SeekTo(nameAt) || !in.Read(storedName.data(), storedName.size()))
        throw EZipBuilder(kMsgLocalNameReadError);
    }
    const std::string_view name = change.name ? *change.name : std::string_view(storedName);
    if (name.size() > kMaxStoredNameLength) throw EZipBuilder(kMsgLocalHeaderWriteError);
    local.FileNameLen = static_cast<uint16_t>(name.size());
    if (change.dateTime != 0) {
      local.ModifDate = static_cast<uint16_t>(change.dateTime >> 16);
      local.ModifTime = static_cast<uint16_t>(change.dateTime);
    }
    zip::Encode(local, fixed);
    out.Write(fixed, sizeof fixed, kMsgLocalHeaderWriteError);
    out.Write(name.data(), name.size(), kMsgLocalHeaderWriteError);
  }
  if (change.dateTime == 0) {
    out.Copy(in, extraAt, local.ExtraLen, kMsgLocalExtraReadError);
  } else {
    std::string extra(local.ExtraLen, '\0');
    if (!in.SeekTo(extraAt) || !in.Read(extra.data(), extra.size())) throw EZipBuilder(kMsgLocalExtraReadError);
    StampExtraTimes(extra, change.dateTime);
    // A write that fails (a full disk) is a write error, whatever was being copied.
    out.Write(extra.data(), extra.size(), kMsgOutputWriteError);
  }
  out.Copy(in, dataAt, member.compressedSize, kMsgDataReadError);
  if (!(local.Flag & zip::kFlagDataDescriptor)) return;
  const auto dataEnd = dataAt + static_cast<int64_t>(member.compressedSize);  // within the file: copied

  // The descriptor's form (signature or not, 4- or 8-byte sizes) shows in its
  // bytes compared with what the central header says.
  uint8_t tail[24];
  const int64_t got = in.SeekTo(dataEnd) ? in.ReadSome(tail, sizeof tail) : -1;
  if (got < 0) throw EZipBuilder(kMsgDescriptorError);
  const auto form = zip::MeasureDataDescriptor(
      std::span<const uint8_t>(tail, static_cast<size_t>(got)),
      {member.header().CRC32, member.compressedSize, member.uncompressedSize});
  if (!form) throw EZipBuilder(kMsgDescriptorError);
  out.Copy(in, dataEnd, form->length, kMsgDescriptorError);
}

std::optional<std::string> PlaceLocalHeader(zip::CentralFileHeader& header, std::string_view extra,
                                            const StoredMember& member, uint64_t offset) {
  const bool offsetInBlock = header.RelOffLocal == zip::kSaturated32;
  if (!offsetInBlock && offset < zip::kSaturated32) {
    header.RelOffLocal = static_cast<uint32_t>(offset);
    return std::nullopt;
  }
  const bool hadBlock = zip::FindExtra(Bytes(extra), zip::kExtraZip64).has_value();
  zip::Zip64Fields present;
  present.uncompressed = header.UnComprSize == zip::kSaturated32;
  present.compressed = header.ComprSize == zip::kSaturated32;
  present.offset = true;
  present.disk = hadBlock && header.DiskStart == zip::kSaturated16;
  zip::Zip64Values values;
  values.uncompressed = member.uncompressedSize;
  values.compressed = member.compressedSize;
  values.offset = offset;
  values.disk = member.diskStart;
  std::vector<uint8_t> area = zip::EncodeZip64Extra(present, values);
  const std::vector<uint8_t> others = zip::WithoutExtra(Bytes(extra), zip::kExtraZip64);
  area.insert(area.end(), others.begin(), others.end());
  if (area.size() > zip::kSaturated16) throw EZipBuilder(kMsgCentralExtraReadError);
  header.ExtraLen = static_cast<uint16_t>(area.size());
  header.RelOffLocal = zip::kSaturated32;
  header.VersionNeed = std::max(header.VersionNeed, zip::kZip64VersionNeeded);
  return std::string(area.begin(), area.end());
}

void WriteCentralHeader(ArchiveWriter& out, const zip::CentralFileHeader& header,
                        std::string_view name, std::string_view extra, std::string_view comment) {
  uint8_t fixed[zip::kCentralHeaderSize];
  zip::Encode(header, fixed);
  out.Write(fixed, sizeof fixed, kMsgCentralHeaderWriteError);
  out.Write(name.data(), name.size(), kMsgCentralHeaderWriteError);
  out.Write(extra.data(), extra.size(), kMsgOutputWriteError);
  out.Write(comment.data(), comment.size(), kMsgOutputWriteError);
}

void WriteArchiveEnd(ArchiveWriter& out, zip::ZipEndOfCentral end,
                     const std::optional<zip::Zip64EndOfCentral>& zip64End, uint64_t entries,
                     uint64_t directorySize, uint64_t directoryAt, const std::string& comment) {
  if (zip64End || zip::NeedsZip64End(entries, directorySize, directoryAt)) {
    zip::Zip64EndOfCentral record = zip::NewZip64End(zip::kZip64VersionNeeded, entries,
                                                     directorySize, directoryAt);
    if (zip64End) {
      record = *zip64End;
      zip::SetDirectoryFields(record, entries, directorySize, directoryAt);
    } else {
      record.ThisDiskNo = end.ThisDiskNo;
      record.CentralDiskNo = end.CentralDiskNo;
    }
    const zip::Zip64Locator locator = zip::Zip64LocatorFor(static_cast<uint64_t>(out.Position()));
    uint8_t recordBytes[zip::kZip64EndSize], locatorBytes[zip::kZip64LocatorSize];
    zip::Encode(record, recordBytes);
    zip::Encode(locator, locatorBytes);
    out.Write(recordBytes, sizeof recordBytes, kMsgEndRecordWriteError);
    out.Write(locatorBytes, sizeof locatorBytes, kMsgEndRecordWriteError);
  }
  zip::SetDirectoryFields(end, entries, directorySize, directoryAt);
  end.ZipCommentLen = static_cast<uint16_t>(comment.size());
  uint8_t endBytes[zip::kEndRecordSize];
  zip::Encode(end, endBytes);
  out.Write(endBytes, sizeof endBytes, kMsgEndRecordWriteError);
  out.Write(comment.data(), comment.size(), kMsgOutputWriteError);
}

std::vector<uint64_t> CopyMembersAnew(ArchiveReader& in, ArchiveWriter& out,
                                      const StoredArchive& archive,
                                      const std::vector<MemberRewrite>& changes,
                                      const std::function<void(size_t)>& beforeMember) {
  out.Copy(in, 0, static_cast<uint64_t>(archive.prefixSize), kMsgSfxHeaderCopyError);
  std::vector<uint64_t> offsets(archive.members.size(), 0);
  for (size_t i = 0; i < archive.members.size(); ++i) {
    const MemberRewrite& change = changes[i];
    if (!change.keep) continue;
    if (beforeMember) beforeMember(i);
    offsets[i] = static_cast<uint64_t>(out.Position());
    LocalChange local;
    if (change.name) local.name = *change.name;
    local.dateTime = change.dateTime;
    CopyStoredMember(in, out, archive.members[i], local);
  }
  return offsets;
}

void WriteDirectoryAnew(ArchiveWriter& out, const StoredArchive& archive,
                        const std::vector<MemberRewrite>& changes,
                        const std::vector<uint64_t>& offsets) {
  const uint64_t directoryAt = static_cast<uint64_t>(out.Position());
  uint64_t entries = 0;
  for (size_t i = 0; i < archive.members.size(); ++i) {
    const StoredMember& m = archive.members[i];
    const MemberRewrite& change = changes[i];
    if (!change.keep) continue;
    ++entries;
    zip::CentralFileHeader header = m.header();
    const std::string_view name = change.name ? std::string_view(*change.name) : m.name();
    header.FileNameLen = static_cast<uint16_t>(name.size());
    std::optional<std::string> extra = PlaceLocalHeader(header, m.extra(), m, offsets[i]);
    if (change.dateTime != 0) {
      header.ModifDate = static_cast<uint16_t>(change.dateTime >> 16);
      header.ModifTime = static_cast<uint16_t>(change.dateTime);
      if (!extra) extra = std::string(m.extra());
      StampExtraTimes(*extra, change.dateTime);
    }
    WriteCentralHeader(out, header, name, extra ? std::string_view(*extra) : m.extra(), m.comment());
  }
  const uint64_t directorySize = static_cast<uint64_t>(out.Position()) - directoryAt;
  WriteArchiveEnd(out, archive.end, archive.zip64End, entries, directorySize, directoryAt,
                  archive.comment);
  out.Flush(kMsgOutputWriteError);
}
