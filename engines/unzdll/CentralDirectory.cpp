#include "CentralDirectory.h"

#include <algorithm>

#include "ZipEngineApi.h"
#include "common/EngineError.h"
#include "platform/CodePage.h"
#include "zipformat/EndRecord.h"
#include "zipformat/ExtraField.h"
#include "zipformat/Headers.h"
#include "zipformat/NameCodePage.h"

namespace unz {
namespace {

[[noreturn]] void Damaged(const std::string& what) {
  throw engine::EngineError(kEngineBadArchive, "Archive damaged or not a ZIP archive: " + what);
}

void Read(ByteSource& file, uint64_t offset, std::vector<uint8_t>& bytes) {
  if (!file.ReadAt(offset, bytes.data(), bytes.size()))
    throw engine::EngineError(kEngineReadError, "Cannot read the archive");
}

struct EndRecord {
  uint64_t position = 0;  // of the end record, or of the ZIP64 end record when there is one
  zip::DirectoryExtent extent;
};

// The end record in the last bytes of the file. A comment cut short by the end
// of the file does not hide a directory that is whole.
EndRecord FindEndRecord(ByteSource& file) {
  const uint64_t size = file.Size();
  std::vector<uint8_t> tail(static_cast<size_t>(std::min<uint64_t>(size, zip::kEndSearchWindow)));
  const uint64_t tailStart = size - tail.size();
  Read(file, tailStart, tail);
  std::optional<zip::EndRecordMatch> match =
      zip::FindEndRecord(tail, tailStart, [&file](uint64_t offset, std::span<uint8_t> out) {
        return file.ReadAt(offset, out.data(), out.size());
      });
  if (!match) Damaged("no end record");
  EndRecord end;
  end.position = tailStart + match->at;
  end.extent = zip::ResolveExtent(match->record);
  // A ZIP64 locator right in front points at the ZIP64 end record, which lies
  // right in front of the locator in a well-formed file (its recorded offset may
  // be shifted by a stub like every other).
  if (end.position < zip::kZip64LocatorSize) return end;
  std::vector<uint8_t> locatorBytes(zip::kZip64LocatorSize);
  zip::Zip64Locator locator;
  if (!file.ReadAt(end.position - locatorBytes.size(), locatorBytes.data(), locatorBytes.size()) ||
      zip::DecodeZip64Locator(locatorBytes, locator) != zip::Status::kOk)
    return end;
  std::vector<uint8_t> recordBytes(zip::kZip64EndSize);
  zip::Zip64EndOfCentral record;
  const uint64_t behind = zip::kZip64LocatorSize + zip::kZip64EndSize;
  if (end.position < behind ||
      !file.ReadAt(end.position - behind, recordBytes.data(), recordBytes.size()) ||
      zip::DecodeZip64End(recordBytes, record) != zip::Status::kOk)
    Damaged("zip64 end record missing");
  end.position -= behind;
  end.extent = zip::ResolveExtent(match->record, &record);
  return end;
}

// The AES parameters of an AES member, from its extra field.
void ApplyAesExtra(Member& m, std::span<const uint8_t> extra) {
  auto block = zip::FindExtra(extra, zip::kExtraAes);
  if (!block) return;
  if (std::optional<zip::AesExtra> aes = zip::DecodeAesExtra(*block)) {
    m.aesVersion = aes->version;
    m.aesStrength = aes->strength;
    m.aesMethod = aes->method;
  }
}

// In the order of their local records, a member whose record starts before the
// previous one's fixed header, name and data have ended overlaps it. The local
// name and extra field are not read here, so each extent is its smallest.
void MarkOverlaps(std::vector<Member>& members) {
  std::vector<Member*> byOffset;
  for (Member& m : members) byOffset.push_back(&m);
  std::stable_sort(byOffset.begin(), byOffset.end(),
                   [](const Member* a, const Member* b) { return a->localHeaderOffset < b->localHeaderOffset; });
  uint64_t end = 0;
  for (Member* m : byOffset) {
    if (m != byOffset.front() && m->localHeaderOffset < end) m->overlaps = true;
    end = std::max(end, m->localHeaderOffset + zip::kLocalHeaderSize + m->compressedSize);
  }
}

}  // namespace

std::string ConvertMemberName(const std::string& raw, uint8_t host, uint8_t version, uint16_t flags,
                              uint16_t wantedCodePage) {
  std::string name = raw;
  if (zip::TextIsOem(host, version, flags, static_cast<zip::NameCodePage>(wantedCodePage)))
    name = platform::OemToChar(name);
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

ArchiveDirectory ReadCentralDirectory(ByteSource& file, uint16_t wantedCodePage) {
  const EndRecord end = FindEndRecord(file);
  if (end.extent.size > end.position) Damaged("central directory larger than the archive");
  // Where the directory really is, and how far every recorded offset is shifted
  // (a stub in front of an archive whose offsets count from its own start).
  const uint64_t centralStart = end.position - end.extent.size;
  if (end.extent.offset > centralStart) Damaged("central directory offset beyond the file");
  const uint64_t shift = centralStart - end.extent.offset;

  std::vector<uint8_t> central(static_cast<size_t>(end.extent.size));
  if (!file.ReadAt(centralStart, central.data(), central.size()))
    throw engine::EngineError(kEngineReadError, "Cannot read the central directory");

  ArchiveDirectory dir;
  dir.centralStart = centralStart;
  // Never reserve from the recorded count: it is only a claim.
  std::span<const uint8_t> rest(central);
  while (rest.size() >= 4 && zip::Load32(rest.data()) == zip::kCentralHeaderSignature) {
    zip::CentralEntry e;
    if (zip::Status status = zip::DecodeCentralEntry(rest, e); status != zip::Status::kOk)
      Damaged(zip::Describe(status));
    Member m = engine::MemberOf(e);
    const std::string raw(e.name.begin(), e.name.end());
    if (raw.find('\0') != std::string::npos) Damaged("member name with a zero byte");
    m.name = ConvertMemberName(raw, m.host, m.versionMadeBy, m.flags, wantedCodePage);
    if (m.localHeaderOffset > centralStart - shift) Damaged("local header offset beyond the data of " + m.name);
    m.localHeaderOffset += shift;
    if (m.compressedSize > centralStart) Damaged("compressed size larger than the archive for " + m.name);
    if (m.method == zip::kMethodAes) ApplyAesExtra(m, e.extra);
    dir.members.push_back(std::move(m));
    rest = rest.subspan(e.recordSize);
  }
  // Without ZIP64 the recorded count keeps only its low 16 bits.
  if (dir.members.size() != end.extent.entries &&
      (dir.members.size() & 0xFFFF) != end.extent.entries)
    Damaged("member count does not match the end record");
  MarkOverlaps(dir.members);
  return dir;
}

uint64_t LocateMemberData(ByteSource& file, const Member& member, uint64_t dataLimit) {
  uint8_t local[zip::kLocalHeaderSize];
  if (!file.ReadAt(member.localHeaderOffset, local, sizeof local)) Damaged("bad local header for " + member.name);
  return MemberDataStart(local, member, dataLimit);
}

uint64_t MemberDataStart(const uint8_t* localBytes, const Member& member, uint64_t dataLimit) {
  zip::LocalFileHeader local;
  if (zip::DecodeLocalHeader({localBytes, zip::kLocalHeaderSize}, local) != zip::Status::kOk)
    Damaged("bad local header for " + member.name);
  uint64_t start = 0;
  if (!zip::MemberDataFits(member.localHeaderOffset, local, member.compressedSize, dataLimit,
                           start))
    Damaged("member data runs past its end for " + member.name);
  return start;
}

}  // namespace unz
