#include "CentralDirectory.h"

#include <algorithm>
#include <cstring>

#include "EngineError.h"
#include "ZipEngineApi.h"
#include "platform/CodePage.h"
#include "zipformat/ExtraField.h"
#include "zipformat/Signatures.h"

namespace unz {
namespace {

constexpr uint32_t kEndSignature = 0x06054B50;
constexpr uint32_t kZip64EndSignature = 0x06064B50;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr size_t kEndSize = 22, kZip64LocatorSize = 20, kZip64EndSize = 56;
constexpr size_t kCentralSize = 46, kLocalSize = 30;
constexpr size_t kMaxEndSearch = kEndSize + 0xFFFF;  // fixed part plus the longest comment

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) { return Get16(p) | static_cast<uint32_t>(Get16(p + 2)) << 16; }
uint64_t Get64(const uint8_t* p) { return Get32(p) | static_cast<uint64_t>(Get32(p + 4)) << 32; }

[[noreturn]] void Damaged(const std::string& what) {
  throw EngineError(kEngineBadArchive, "Archive damaged or not a ZIP archive: " + what);
}

struct EndRecord {
  uint64_t position = 0;       // of the record (or of the zip64 record when present)
  uint64_t entries = 0;
  uint64_t centralSize = 0;
  uint64_t centralOffset = 0;  // as recorded
};

EndRecord FindEndRecord(ArchiveFile& file) {
  const uint64_t size = file.Size();
  if (size < kEndSize) Damaged("no end record");
  const size_t tailSize = static_cast<size_t>(std::min<uint64_t>(size, kMaxEndSearch));
  const uint64_t tailStart = size - tailSize;
  std::vector<uint8_t> tail(tailSize);
  if (!file.ReadAt(tailStart, tail.data(), tailSize)) throw EngineError(kEngineReadError, "Cannot read the archive");

  // Search back: the last signature whose comment fits inside the file.
  for (size_t i = tailSize - kEndSize + 1; i-- > 0;) {
    const uint8_t* p = tail.data() + i;
    if (Get32(p) != kEndSignature) continue;
    if (i + kEndSize + Get16(p + 20) > tailSize) continue;
    EndRecord end;
    end.position = tailStart + i;
    end.entries = Get16(p + 10);
    end.centralSize = Get32(p + 12);
    end.centralOffset = Get32(p + 16);
    // A zip64 locator right in front points at the zip64 end record.
    uint8_t locator[kZip64LocatorSize];
    if (end.position >= kZip64LocatorSize &&
        file.ReadAt(end.position - kZip64LocatorSize, locator, sizeof locator) &&
        Get32(locator) == kZip64LocatorSignature) {
      uint8_t record[kZip64EndSize];
      // The locator's offset may be stub-shifted like every other; the record lies
      // right in front of the locator in a well-formed file.
      uint64_t at = end.position - kZip64LocatorSize - kZip64EndSize;
      if (end.position < kZip64LocatorSize + kZip64EndSize || !file.ReadAt(at, record, sizeof record) ||
          Get32(record) != kZip64EndSignature)
        Damaged("zip64 end record missing");
      end.position = at;
      end.entries = Get64(record + 32);
      end.centralSize = Get64(record + 40);
      end.centralOffset = Get64(record + 48);
    }
    return end;
  }
  Damaged("no end record");
}

// Fills 0xFFFFFFFF fields from the zip64 extra field (0x0001), in its fixed order.
void ApplyZip64Extra(Member& m, const uint8_t* extra, size_t length, bool needUncompressed,
                     bool needCompressed, bool needOffset) {
  size_t pos = 0;
  while (pos + 4 <= length) {
    uint16_t id = Get16(extra + pos);
    uint16_t size = Get16(extra + pos + 2);
    pos += 4;
    if (size > length - pos) break;
    if (id == 0x0001) {
      const uint8_t* p = extra + pos;
      size_t left = size;
      auto take = [&](uint64_t& field) {
        if (left < 8) Damaged("zip64 extra field too short");
        field = Get64(p);
        p += 8;
        left -= 8;
      };
      if (needUncompressed) take(m.uncompressedSize);
      if (needCompressed) take(m.compressedSize);
      if (needOffset) take(m.localHeaderOffset);
      return;
    }
    pos += size;
  }
  Damaged("zip64 extra field missing");
}

// The AES parameters of an AES member, from its extra field.
void ApplyAesExtra(Member& m, const uint8_t* extra, size_t length) {
  auto block = zip::FindExtra(std::span<const uint8_t>(extra, length), zip::kExtraAes);
  if (!block) return;
  if (std::optional<zip::AesExtra> aes = zip::DecodeAesExtra(*block)) {
    m.aesVersion = aes->version;
    m.aesStrength = aes->strength;
    m.aesMethod = aes->method;
  }
}

}  // namespace

bool Member::IsDirectory() const {
  if (!name.empty() && name.back() == '/') return true;
  return (externalAttributes & 0x10) && uncompressedSize == 0;
}

bool Member::IsSymlink() const { return (UnixMode() & 0170000) == 0120000; }

std::string ConvertMemberName(const std::string& raw, uint8_t host, uint8_t version, uint16_t flags,
                              uint16_t wantedCodePage) {
  std::string name = raw;
  bool convert = false;
  if (!(flags & 0x0800)) {
    if (wantedCodePage == 2) convert = true;
    else if (wantedCodePage == 0)
      convert = host == kHostDos || host == kHostOs2 || (host == kHostNtfs && version == 50);
  }
  if (convert) name = platform::OemToChar(name);
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

namespace {

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
    end = std::max(end, m->localHeaderOffset + 30 + m->compressedSize);
  }
}

}  // namespace

ArchiveDirectory ReadCentralDirectory(ArchiveFile& file, uint16_t wantedCodePage) {
  EndRecord end = FindEndRecord(file);
  if (end.centralSize > end.position) Damaged("central directory larger than the archive");
  // Where the directory really is, and how far every recorded offset is shifted
  // (a stub in front of an archive whose offsets count from its own start).
  const uint64_t centralStart = end.position - end.centralSize;
  if (end.centralOffset > centralStart) Damaged("central directory offset beyond the file");
  const uint64_t shift = centralStart - end.centralOffset;

  std::vector<uint8_t> central(static_cast<size_t>(end.centralSize));
  if (!file.ReadAt(centralStart, central.data(), central.size()))
    throw EngineError(kEngineReadError, "Cannot read the central directory");

  ArchiveDirectory dir;
  dir.centralStart = centralStart;
  // Never reserve from the recorded count: it is only a claim.
  size_t pos = 0;
  while (pos + 4 <= central.size() && Get32(central.data() + pos) == kCentralSignature) {
    if (central.size() - pos < kCentralSize) Damaged("central header cut short");
    const uint8_t* h = central.data() + pos;
    const size_t nameLen = Get16(h + 28), extraLen = Get16(h + 30), commentLen = Get16(h + 32);
    if (central.size() - pos - kCentralSize < nameLen + extraLen + commentLen)
      Damaged("central header runs past the directory");
    Member m;
    m.versionMadeBy = h[4];
    m.host = h[5];
    m.flags = Get16(h + 8);
    m.method = Get16(h + 10);
    m.dosDateTime = static_cast<uint32_t>(Get16(h + 14)) << 16 | Get16(h + 12);
    m.crc = Get32(h + 16);
    m.compressedSize = Get32(h + 20);
    m.uncompressedSize = Get32(h + 24);
    m.externalAttributes = Get32(h + 38);
    m.localHeaderOffset = Get32(h + 42);
    const std::string raw(reinterpret_cast<const char*>(h + kCentralSize), nameLen);
    if (raw.find('\0') != std::string::npos) Damaged("member name with a zero byte");
    m.name = ConvertMemberName(raw, m.host, m.versionMadeBy, m.flags, wantedCodePage);
    const bool u = m.uncompressedSize == 0xFFFFFFFF, c = m.compressedSize == 0xFFFFFFFF,
               o = m.localHeaderOffset == 0xFFFFFFFF;
    if (u || c || o) ApplyZip64Extra(m, h + kCentralSize + nameLen, extraLen, u, c, o);
    if (m.localHeaderOffset > centralStart - shift) Damaged("local header offset beyond the data of " + m.name);
    m.localHeaderOffset += shift;
    if (m.compressedSize > centralStart) Damaged("compressed size larger than the archive for " + m.name);
    if (m.method == zip::kMethodAes) ApplyAesExtra(m, h + kCentralSize + nameLen, extraLen);
    dir.members.push_back(std::move(m));
    pos += kCentralSize + nameLen + extraLen + commentLen;
  }
  // Without zip64 the recorded count keeps only its low 16 bits.
  if (dir.members.size() != end.entries && (dir.members.size() & 0xFFFF) != end.entries)
    Damaged("member count does not match the end record");
  MarkOverlaps(dir.members);
  return dir;
}

uint64_t LocateMemberData(ArchiveFile& file, const Member& member, uint64_t dataLimit) {
  uint8_t local[kLocalHeaderSize];
  if (!file.ReadAt(member.localHeaderOffset, local, sizeof local)) Damaged("bad local header for " + member.name);
  return MemberDataStart(local, member, dataLimit);
}

uint64_t MemberDataStart(const uint8_t* local, const Member& member, uint64_t dataLimit) {
  if (Get32(local) != kLocalSignature) Damaged("bad local header for " + member.name);
  const uint64_t start = member.localHeaderOffset + kLocalSize + Get16(local + 26) + Get16(local + 28);
  if (start > dataLimit || member.compressedSize > dataLimit - start)
    Damaged("member data runs past its end for " + member.name);
  return start;
}

}  // namespace unz
