#include "zipformat/PeImage.h"

#include <algorithm>

#include "zipformat/ByteOrder.h"

namespace zip {
namespace {

// The DOS header, the PE header after its signature, the optional header.
constexpr size_t kDosHeaderSize = 64;
constexpr size_t kPeOffsetAt = 0x3C;
constexpr size_t kFileHeaderSize = 24;  // "PE\0\0" and the file header
constexpr size_t kSectionCountAt = 6;
constexpr size_t kOptionalSizeAt = 20;
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr size_t kDirectoryCountAtPe32 = 92;  // in the optional header
constexpr size_t kDirectoryCountAtPe32Plus = 108;
constexpr size_t kDataDirectorySize = 8;
constexpr size_t kResourceDirectoryIndex = 2;
// A section table entry.
constexpr size_t kSectionEntrySize = 40;
constexpr size_t kSectionNameSize = 8;
constexpr size_t kSectionVirtualSizeAt = 8;
constexpr size_t kSectionVirtualAddressAt = 12;
constexpr size_t kSectionRawSizeAt = 16;
constexpr size_t kSectionRawOffsetAt = 20;
// The resource tree: a directory of 8-byte entries, leaves of 16-byte data entries.
constexpr size_t kResourceDirectorySize = 16;
constexpr size_t kResourceNamedCountAt = 12;
constexpr size_t kResourceIdCountAt = 14;
constexpr size_t kResourceEntrySize = 8;
constexpr size_t kResourceDataEntrySize = 16;
constexpr uint32_t kHighBit = 0x80000000u;  // named entry; subdirectory

constexpr size_t kMaxResourceSize = 64u << 20;  // far above any real version resource or icon
constexpr uint16_t kMaxSections = 96;           // the loader's own limit

// An icon group: a 6-byte header whose count is at 4, then 14-byte entries
// ending in the image's id; the .ico file gives each a 16-byte entry ending in
// the image's size and file position.
constexpr size_t kIconHeaderSize = 6;
constexpr size_t kIconCountAt = 4;
constexpr size_t kGroupEntrySize = 14;
constexpr size_t kGroupEntryIdAt = 12;
constexpr size_t kIcoEntrySize = 16;
constexpr size_t kIconEntryCommonSize = 8;

}  // namespace

ByteSource MemorySource(std::span<const uint8_t> bytes) {
  return [bytes](uint64_t offset, void* buffer, size_t count) {
    if (offset > bytes.size() || count > bytes.size() - offset) return false;
    std::copy_n(bytes.data() + offset, count, static_cast<uint8_t*>(buffer));
    return true;
  };
}

bool PeImage::Load() {
  uint8_t dos[kDosHeaderSize];
  if (!source_(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
  const uint32_t peOffset = Load32(dos + kPeOffsetAt);
  uint8_t head[kFileHeaderSize];
  if (!source_(peOffset, head, sizeof head) || head[0] != 'P' || head[1] != 'E' || head[2] || head[3])
    return false;
  const uint16_t sectionCount = Load16(head + kSectionCountAt);
  const uint16_t optionalSize = Load16(head + kOptionalSizeAt);
  if (sectionCount > kMaxSections) return false;
  std::vector<uint8_t> optional(optionalSize);
  if (optionalSize < 2 || !source_(uint64_t{peOffset} + kFileHeaderSize, optional.data(), optionalSize))
    return false;
  const uint16_t magic = Load16(optional.data());
  const size_t countAt = magic == kMagicPe32Plus ? kDirectoryCountAtPe32Plus
                         : magic == kMagicPe32   ? kDirectoryCountAtPe32
                                                 : 0;
  if (countAt == 0 || optionalSize < countAt + 4) return false;
  dataDirectoryCount_ = Load32(optional.data() + countAt);
  const size_t resourceAt = countAt + 4 + kResourceDirectoryIndex * kDataDirectorySize;
  if (optionalSize >= resourceAt + kDataDirectorySize) resourceRva_ = Load32(optional.data() + resourceAt);

  const uint64_t sectionTable = uint64_t{peOffset} + kFileHeaderSize + optionalSize;
  for (uint16_t i = 0; i < sectionCount; ++i) {
    uint8_t raw[kSectionEntrySize];
    if (!source_(sectionTable + kSectionEntrySize * i, raw, sizeof raw)) return false;
    PeSection s;
    const char* name = reinterpret_cast<const char*>(raw);
    s.name.assign(name, std::find(name, name + kSectionNameSize, '\0'));
    s.virtualSize = Load32(raw + kSectionVirtualSizeAt);
    s.virtualAddress = Load32(raw + kSectionVirtualAddressAt);
    s.rawSize = Load32(raw + kSectionRawSizeAt);
    s.rawOffset = Load32(raw + kSectionRawOffsetAt);
    sections_.push_back(std::move(s));
  }
  return true;
}

uint64_t PeImage::ImageEnd() const {
  uint64_t end = 0;
  for (const PeSection& s : sections_)
    if (s.rawSize != 0) end = std::max(end, uint64_t{s.rawOffset} + s.rawSize);
  return end;
}

std::optional<uint64_t> PeImage::FilePosition(uint32_t rva, size_t count) const {
  for (const PeSection& s : sections_) {
    const uint32_t extent = std::max(s.virtualSize, s.rawSize);
    if (rva < s.virtualAddress || rva - s.virtualAddress >= extent) continue;
    const uint64_t inSection = rva - s.virtualAddress;
    if (inSection + count > s.rawSize) return std::nullopt;
    return uint64_t{s.rawOffset} + inSection;
  }
  return std::nullopt;
}

bool PeImage::ReadRva(uint32_t rva, void* buffer, size_t count) const {
  auto at = FilePosition(rva, count);
  return at && source_(*at, buffer, count);
}

// The entry (its offset from the resource root) of the first item of a
// directory that matches `id` (any id when nullopt); kHighBit marks a subdirectory.
std::optional<uint32_t> PeImage::FindEntry(uint32_t directoryOffset, std::optional<uint32_t> id) const {
  uint8_t dir[kResourceDirectorySize];
  if (!ReadRva(resourceRva_ + directoryOffset, dir, sizeof dir)) return std::nullopt;
  const uint32_t count = uint32_t{Load16(dir + kResourceNamedCountAt)} + Load16(dir + kResourceIdCountAt);
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t entry[kResourceEntrySize];
    const uint32_t at = resourceRva_ + directoryOffset + static_cast<uint32_t>(kResourceDirectorySize) +
                        static_cast<uint32_t>(kResourceEntrySize) * i;
    if (!ReadRva(at, entry, sizeof entry)) return std::nullopt;
    const uint32_t name = Load32(entry);
    const bool named = (name & kHighBit) != 0;
    if (!id || (!named && name == *id)) return Load32(entry + 4);
  }
  return std::nullopt;
}

std::optional<ResourceData> PeImage::FindResource(uint32_t type, std::optional<uint32_t> name) const {
  if (resourceRva_ == 0) return std::nullopt;
  auto typeDir = FindEntry(0, type);
  if (!typeDir || !(*typeDir & kHighBit)) return std::nullopt;
  auto nameDir = FindEntry(*typeDir & ~kHighBit, name);
  if (!nameDir || !(*nameDir & kHighBit)) return std::nullopt;
  auto leaf = FindEntry(*nameDir & ~kHighBit, std::nullopt);
  if (!leaf || (*leaf & kHighBit)) return std::nullopt;
  uint8_t data[kResourceDataEntrySize];
  if (!ReadRva(resourceRva_ + *leaf, data, sizeof data)) return std::nullopt;
  return ResourceData{Load32(data), Load32(data + 4)};
}

std::optional<std::vector<uint8_t>> PeImage::ReadResource(uint32_t type, std::optional<uint32_t> name) const {
  auto data = FindResource(type, name);
  if (!data || data->size > kMaxResourceSize) return std::nullopt;
  std::vector<uint8_t> bytes(data->size);
  if (!ReadRva(data->rva, bytes.data(), bytes.size())) return std::nullopt;
  return bytes;
}

std::optional<std::vector<uint8_t>> FirstIconFile(const PeImage& image) {
  auto group = image.ReadResource(kResourceTypeGroupIcon);
  if (!group || group->size() < kIconHeaderSize) return std::nullopt;
  const size_t count = Load16(group->data() + kIconCountAt);
  if (count == 0 || group->size() < kIconHeaderSize + kGroupEntrySize * count) return std::nullopt;
  std::vector<std::vector<uint8_t>> images;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* entry = group->data() + kIconHeaderSize + kGroupEntrySize * i;
    auto icon = image.ReadResource(kResourceTypeIcon, Load16(entry + kGroupEntryIdAt));
    if (!icon) return std::nullopt;
    images.push_back(std::move(*icon));
  }
  std::vector<uint8_t> ico(group->begin(), group->begin() + kIconHeaderSize);
  size_t at = kIconHeaderSize + kIcoEntrySize * count;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* entry = group->data() + kIconHeaderSize + kGroupEntrySize * i;
    ico.insert(ico.end(), entry, entry + kIconEntryCommonSize);
    Append32(ico, static_cast<uint32_t>(images[i].size()));
    Append32(ico, static_cast<uint32_t>(at));
    at += images[i].size();
  }
  for (const auto& icon : images) ico.insert(ico.end(), icon.begin(), icon.end());
  return ico;
}

}  // namespace zip
