#include "engines/unzdll/CentralDirectory.h"

#include <algorithm>

#include "engines/ZipEngineApi.h"
#include "engines/common/EngineError.h"
#include "platform/CodePage.h"
#include "zipformat/EndRecord.h"
#include "zipformat/ExtraField.h"
#include "zipformat/Headers.h"
#include "zipformat/NameCodePage.h"

namespace unzdll {
namespace {

[[noreturn]] void Damaged(const std::string& what) {
  throw engine::EngineError(kEngineBadArchive, "Archive damaged or not a ZIP archive: " + what);
}

// The directory's place in the file, every fault turned into this engine's error.
zip::DirectoryPlace PlaceDirectory(ByteSource& file) {
  zip::DirectoryPlace place;
  const zip::PlaceFault fault = zip::LocateCentralDirectory(
      file.Size(),
      [&file](uint64_t offset, std::span<uint8_t> out) { return file.ReadAt(offset, out.data(), out.size()); },
      place);
  switch (fault) {
    case zip::PlaceFault::kNone:
      break;
    case zip::PlaceFault::kReadFailed:
      throw engine::EngineError(kEngineReadError, "Cannot read the archive");
    case zip::PlaceFault::kNoEndRecord:
      Damaged("no end record");
    case zip::PlaceFault::kZip64Missing:
      Damaged("zip64 end record missing");
    case zip::PlaceFault::kDirectoryTooLarge:
      Damaged("central directory larger than the archive");
    case zip::PlaceFault::kOffsetBeyond:
      Damaged("central directory offset beyond the file");
  }
  return place;
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
  const zip::DirectoryPlace place = PlaceDirectory(file);
  std::vector<uint8_t> central(static_cast<size_t>(place.extent.size));
  if (!file.ReadAt(place.directoryAt, central.data(), central.size()))
    throw engine::EngineError(kEngineReadError, "Cannot read the central directory");

  ArchiveDirectory dir;
  dir.centralStart = place.directoryAt;
  // Never reserve from the recorded count: it is only a claim.
  zip::CentralDirectoryWalk walk(central);
  while (walk.AtEntry()) {
    zip::CentralEntry e;
    if (zip::Status status = walk.Next(e); status != zip::Status::kOk) Damaged(zip::Describe(status));
    Member m = engine::MemberOf(e);
    const std::string raw(e.name.begin(), e.name.end());
    if (raw.find('\0') != std::string::npos) Damaged("member name with a zero byte");
    m.name = ConvertMemberName(raw, m.host, m.versionMadeBy, m.flags, wantedCodePage);
    const std::optional<uint64_t> local = place.LocalHeaderAt(m.localHeaderOffset);
    if (!local) Damaged("local header offset beyond the data of " + m.name);
    m.localHeaderOffset = *local;
    if (m.compressedSize > place.directoryAt) Damaged("compressed size larger than the archive for " + m.name);
    if (m.method == zip::kMethodAes) ApplyAesExtra(m, e.extra);
    dir.members.push_back(std::move(m));
  }
  // Without ZIP64 the recorded count keeps only its low 16 bits.
  if (dir.members.size() != place.extent.entries &&
      (dir.members.size() & zip::kSaturated16) != place.extent.entries)
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

}  // namespace unzdll
