#include "sfx/Archive.h"

#include <zlib.h>

#include <algorithm>
#include <span>

#include "sfx/Text.h"
#include "zipformat/EndRecord.h"
#include "zipformat/ExtraField.h"
#include "zipformat/Headers.h"
#include "zipformat/NameCodePage.h"

namespace sfx {
namespace {

// Names flagged as UTF-8 are UTF-8; names the format library calls OEM text are
// in the OEM code page; others (Unix writers) are UTF-8 when they read as such.
UINT NameCodePage(const std::string& name, const zip::CentralFileHeader& h) {
  if (h.Flag & zip::kFlagUtf8) return CP_UTF8;
  if (zip::TextIsOem(h.VersionMadeBy1, h.VersionMadeBy0, h.Flag, zip::NameCodePage::kAutomatic))
    return CP_OEMCP;
  return IsUtf8(name) ? CP_UTF8 : CP_ACP;
}

// The UTF-8 name some writers add beside the stored one, used while the stored
// name is the one it was made for.
void TakeUnicodeName(std::span<const uint8_t> extra, Member& m) {
  auto block = zip::FindExtra(extra, zip::kExtraUnicodePath);
  auto unicode = block ? zip::DecodeUnicodePathExtra(*block) : std::nullopt;
  if (!unicode) return;
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(m.rawName.data()),
                    static_cast<uInt>(m.rawName.size()));
  if (unicode->nameCrc != crc) return;
  m.name = Widen(std::string(unicode->name.begin(), unicode->name.end()), CP_UTF8);
}

}  // namespace

bool ReadMembers(InputFile& file, uint64_t archiveStart, std::vector<Member>& members) {
  if (file.Size() < archiveStart + zip::kEndRecordSize) return false;
  const uint64_t window = std::min<uint64_t>(file.Size() - archiveStart, zip::kEndSearchWindow);
  std::vector<uint8_t> tail(static_cast<size_t>(window));
  const uint64_t tailStart = file.Size() - window;
  if (!file.ReadAt(tailStart, tail.data(), tail.size())) return false;
  auto match = zip::FindEndRecord(tail, tailStart, [&file](uint64_t offset, std::span<uint8_t> out) {
    return file.ReadAt(offset, out.data(), out.size());
  });
  if (!match || match->commentPastEnd) return false;
  uint64_t directoryEnd = tailStart + match->at;
  zip::DirectoryExtent extent = zip::ResolveExtent(match->record);
  if (zip::IsSaturated(match->record)) {
    // The ZIP64 end record and its locator lie in front of the classic one.
    uint8_t records[zip::kZip64EndSize + zip::kZip64LocatorSize];
    zip::Zip64EndOfCentral end64{};
    if (directoryEnd < archiveStart + sizeof records ||
        !file.ReadAt(directoryEnd - sizeof records, records, sizeof records) ||
        zip::DecodeZip64Trailer(records, end64) != zip::Status::kOk)
      return false;
    extent = zip::ResolveExtent(match->record, &end64);
    directoryEnd -= sizeof records;
  }
  if (extent.size > directoryEnd - archiveStart ||
      extent.entries > extent.size / zip::kCentralHeaderSize)
    return false;
  const uint64_t directoryAt = directoryEnd - extent.size;
  const int64_t shift = static_cast<int64_t>(directoryAt - extent.offset);
  std::vector<uint8_t> directory(static_cast<size_t>(extent.size));
  if (!file.ReadAt(directoryAt, directory.data(), directory.size())) return false;
  size_t pos = 0;
  for (uint64_t k = 0; k < extent.entries; ++k) {
    zip::CentralEntry e;
    if (zip::DecodeCentralEntry(std::span(directory).subspan(pos), e) != zip::Status::kOk)
      return false;
    Member m;
    m.flags = e.header.Flag;
    m.method = e.header.ComprMethod;
    m.dosTime = static_cast<uint32_t>(e.header.ModifDate) << 16 | e.header.ModifTime;
    m.crc = e.header.CRC32;
    m.compressedSize = e.compressedSize;
    m.size = e.uncompressedSize;
    m.externalAttributes = e.header.ExtFileAtt;
    const int64_t local = static_cast<int64_t>(e.localHeaderOffset) + shift;
    if (local < static_cast<int64_t>(archiveStart)) return false;
    m.localHeader = static_cast<uint64_t>(local);
    m.rawName.assign(e.name.begin(), e.name.end());
    m.name = Widen(m.rawName, NameCodePage(m.rawName, e.header));
    TakeUnicodeName(e.extra, m);
    members.push_back(std::move(m));
    pos += e.recordSize;
  }
  return true;
}

bool DataPosition(InputFile& file, const Member& m, uint64_t& at) {
  uint8_t bytes[zip::kLocalHeaderSize];
  zip::LocalFileHeader local{};
  return file.ReadAt(m.localHeader, bytes, sizeof bytes) &&
         zip::DecodeLocalHeader(bytes, local) == zip::Status::kOk &&
         zip::MemberDataFits(m.localHeader, local, m.compressedSize, file.Size(), at);
}

}  // namespace sfx
