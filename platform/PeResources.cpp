// PE resource reading. Every offset read from the file is checked before use, so a
// damaged or hostile file yields "not found", never a crash.
#include "PeResources.h"

#include <algorithm>
#include <cctype>

#include "CodePage.h"
#include "FileSystem.h"

namespace platform {
namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

struct Section {
  uint32_t virtualAddress = 0;
  uint32_t virtualSize = 0;
  uint32_t rawSize = 0;
  uint32_t rawOffset = 0;
};

constexpr size_t kMaxResourceSize = 64u << 20;  // far above any real version resource or icon
constexpr uint16_t kMaxSections = 96;           // the loader's own limit

class PeImage {
 public:
  explicit PeImage(const ByteSource& source) : source_(source) {}

  bool Load() {
    uint8_t dos[64];
    if (!source_(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    uint32_t peOffset = Le32(dos + 0x3C);
    uint8_t head[24];
    if (!source_(peOffset, head, sizeof head) || head[0] != 'P' || head[1] != 'E' || head[2] || head[3])
      return false;
    uint16_t sectionCount = Le16(head + 6);
    uint16_t optionalSize = Le16(head + 20);
    if (sectionCount > kMaxSections) return false;
    std::vector<uint8_t> optional(optionalSize);
    if (optionalSize < 2 || !source_(peOffset + 24, optional.data(), optionalSize)) return false;
    uint16_t magic = Le16(optional.data());
    size_t dirCountAt = magic == 0x20B ? 108 : magic == 0x10B ? 92 : 0;
    if (dirCountAt == 0 || optionalSize < dirCountAt + 4) return false;
    uint32_t dirCount = Le32(optional.data() + dirCountAt);
    size_t resourceDirAt = dirCountAt + 4 + 2 * 8;  // data directory 2: resources
    if (dirCount < 3 || optionalSize < resourceDirAt + 8) return false;
    resourceRva_ = Le32(optional.data() + resourceDirAt);
    if (resourceRva_ == 0) return false;

    uint64_t sectionTable = static_cast<uint64_t>(peOffset) + 24 + optionalSize;
    for (uint16_t i = 0; i < sectionCount; ++i) {
      uint8_t raw[40];
      if (!source_(sectionTable + 40u * i, raw, sizeof raw)) return false;
      sections_.push_back({Le32(raw + 12), Le32(raw + 8), Le32(raw + 16), Le32(raw + 20)});
    }
    return true;
  }

  // Reads `count` bytes at relative virtual address `rva`.
  bool ReadRva(uint32_t rva, void* buffer, size_t count) const {
    for (const Section& s : sections_) {
      uint32_t extent = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
      if (rva < s.virtualAddress || rva - s.virtualAddress >= extent) continue;
      uint64_t inSection = rva - s.virtualAddress;
      if (inSection + count > s.rawSize) return false;
      return source_(static_cast<uint64_t>(s.rawOffset) + inSection, buffer, count);
    }
    return false;
  }

  // The offset (from the resource root) of the first entry of a directory that
  // matches `id` (any id when nullopt); bit 31 set marks a subdirectory.
  std::optional<uint32_t> FindEntry(uint32_t directoryOffset, std::optional<uint32_t> id) const {
    uint8_t dir[16];
    if (!ReadRva(resourceRva_ + directoryOffset, dir, sizeof dir)) return std::nullopt;
    uint32_t count = static_cast<uint32_t>(Le16(dir + 12)) + Le16(dir + 14);
    for (uint32_t i = 0; i < count; ++i) {
      uint8_t entry[8];
      if (!ReadRva(resourceRva_ + directoryOffset + 16 + 8 * i, entry, sizeof entry)) return std::nullopt;
      uint32_t name = Le32(entry);
      bool named = (name & 0x80000000u) != 0;
      if (!id || (!named && name == *id)) return Le32(entry + 4);
    }
    return std::nullopt;
  }

  // The first resource of `type` named `name` (the first name when nullopt), first language.
  std::optional<std::vector<uint8_t>> FirstResource(uint32_t type, std::optional<uint32_t> name = std::nullopt) const {
    auto typeDir = FindEntry(0, type);
    if (!typeDir || !(*typeDir & 0x80000000u)) return std::nullopt;
    auto nameDir = FindEntry(*typeDir & 0x7FFFFFFFu, name);
    if (!nameDir || !(*nameDir & 0x80000000u)) return std::nullopt;
    auto leaf = FindEntry(*nameDir & 0x7FFFFFFFu, std::nullopt);
    if (!leaf || (*leaf & 0x80000000u)) return std::nullopt;
    uint8_t data[16];
    if (!ReadRva(resourceRva_ + *leaf, data, sizeof data)) return std::nullopt;
    uint32_t dataRva = Le32(data);
    uint32_t size = Le32(data + 4);
    if (size > kMaxResourceSize) return std::nullopt;
    std::vector<uint8_t> bytes(size);
    if (!ReadRva(dataRva, bytes.data(), size)) return std::nullopt;
    return bytes;
  }

 private:
  const ByteSource& source_;
  uint32_t resourceRva_ = 0;
  std::vector<Section> sections_;
};

std::optional<std::vector<uint8_t>> ReadVersionResource(FileSystem& files, const std::string& path) {
  FileHandle h = files.Open(path, Access::Read, Share::Read, Disposition::OpenExisting);
  if (h == kInvalidHandle) return std::nullopt;
  ByteSource source = [&](uint64_t offset, void* buffer, size_t count) {
    return files.Seek(h, static_cast<int64_t>(offset), SeekFrom::Begin) == static_cast<int64_t>(offset) &&
           files.Read(h, buffer, count) == static_cast<int64_t>(count);
  };
  auto bytes = ReadFirstResource(source, kResourceTypeVersion);
  files.Close(h);
  return bytes;
}

// ---- the VS_VERSIONINFO tree ----

// UTF-16LE code units [begin, end) to UTF-8, stopping at a zero unit.
std::string Utf16LeToUtf8(const uint8_t* begin, const uint8_t* end) {
  std::u16string units;
  for (const uint8_t* p = begin; p + 1 < end; p += 2) {
    uint16_t unit = Le16(p);
    if (unit == 0) break;
    units += static_cast<char16_t>(unit);
  }
  return Utf16ToUtf8(units);
}

size_t Align4(size_t n) { return (n + 3) & ~size_t{3}; }

// One node of the tree: wLength, wValueLength, wType, key, value, children.
struct Node {
  size_t begin = 0;
  size_t end = 0;  // begin + wLength
  uint16_t valueLength = 0;
  uint16_t type = 0;
  std::string key;
  size_t valueAt = 0;
  size_t childrenAt = 0;
};

std::optional<Node> ParseNode(const std::vector<uint8_t>& block, size_t at, size_t limit) {
  if (at + 6 > limit) return std::nullopt;
  Node n;
  n.begin = at;
  uint16_t length = Le16(&block[at]);
  if (length < 6 || at + length > limit) return std::nullopt;
  n.end = at + length;
  n.valueLength = Le16(&block[at + 2]);
  n.type = Le16(&block[at + 4]);
  size_t p = at + 6;
  while (p + 1 < n.end && Le16(&block[p]) != 0) p += 2;
  if (p + 1 >= n.end) return std::nullopt;  // key without terminator
  n.key = Utf16LeToUtf8(&block[at + 6], &block[p]);
  n.valueAt = Align4(p + 2);
  size_t valueBytes = n.type == 1 ? size_t{n.valueLength} * 2 : n.valueLength;
  if (n.valueAt > n.end) n.valueAt = n.end;
  if (n.valueAt + valueBytes > n.end) return std::nullopt;
  n.childrenAt = Align4(n.valueAt + valueBytes);
  return n;
}

bool SameKey(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::vector<std::string> SplitSubBlock(const std::string& subBlock) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : subBlock) {
    if (c == '\\') {
      if (!current.empty()) parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

}  // namespace

std::optional<std::vector<uint8_t>> ReadFirstResource(const ByteSource& image, uint32_t type) {
  PeImage pe(image);
  if (!pe.Load()) return std::nullopt;
  return pe.FirstResource(type);
}

IconLookup ExtractIconA(FileSystem& files, const std::string& path) {
  IconLookup result;
  FileHandle h = files.Open(path, Access::Read, Share::Read, Disposition::OpenExisting);
  if (h == kInvalidHandle) return result;
  ByteSource source = [&](uint64_t offset, void* buffer, size_t count) {
    return files.Seek(h, static_cast<int64_t>(offset), SeekFrom::Begin) == static_cast<int64_t>(offset) &&
           files.Read(h, buffer, count) == static_cast<int64_t>(count);
  };
  PeImage pe(source);
  if (pe.Load()) {
    result.isImage = true;
    // The group lists its images: 14-byte entries after a 6-byte header; the .ico
    // format gives each a 16-byte entry holding the image's file position instead of its ID.
    auto group = pe.FirstResource(kResourceTypeGroupIcon);
    if (group && group->size() >= 6) {
      size_t count = Le16(group->data() + 4);
      if (group->size() >= 6 + 14 * count && count > 0) {
        std::vector<std::vector<uint8_t>> images;
        for (size_t i = 0; i < count; ++i) {
          auto image = pe.FirstResource(kResourceTypeIcon, Le16(group->data() + 6 + 14 * i + 12));
          if (!image) break;
          images.push_back(std::move(*image));
        }
        if (images.size() == count) {
          std::vector<uint8_t> ico(group->begin(), group->begin() + 6);
          size_t at = 6 + 16 * count;
          for (size_t i = 0; i < count; ++i) {
            const uint8_t* entry = group->data() + 6 + 14 * i;
            ico.insert(ico.end(), entry, entry + 8);
            uint32_t size = static_cast<uint32_t>(images[i].size());
            for (uint32_t v : {size, static_cast<uint32_t>(at)})
              for (int k = 0; k < 4; ++k) ico.push_back(static_cast<uint8_t>(v >> (8 * k)));
            at += size;
          }
          for (const auto& image : images) ico.insert(ico.end(), image.begin(), image.end());
          result.icon = std::move(ico);
        }
      }
    }
  }
  files.Close(h);
  return result;
}

uint32_t GetFileVersionInfoSizeA(FileSystem& files, const std::string& path) {
  auto bytes = ReadVersionResource(files, path);
  return bytes ? static_cast<uint32_t>(bytes->size()) : 0;
}

std::optional<std::vector<uint8_t>> GetFileVersionInfoA(FileSystem& files, const std::string& path,
                                                        uint32_t size) {
  auto bytes = ReadVersionResource(files, path);
  if (!bytes) return std::nullopt;
  if (bytes->size() > size) bytes->resize(size);
  return bytes;
}

std::optional<VersionValue> VerQueryValueA(const std::vector<uint8_t>& block, const std::string& subBlock) {
  auto node = ParseNode(block, 0, block.size());
  if (!node) return std::nullopt;
  for (const std::string& part : SplitSubBlock(subBlock)) {
    std::optional<Node> found;
    for (size_t at = node->childrenAt; at < node->end;) {
      auto child = ParseNode(block, at, node->end);
      if (!child) break;
      if (SameKey(child->key, part)) {
        found = child;
        break;
      }
      at = Align4(child->end);
    }
    if (!found) return std::nullopt;
    node = found;
  }
  VersionValue value;
  value.isText = node->type == 1;
  value.length = node->valueLength;
  std::vector<std::string> parts = SplitSubBlock(subBlock);
  if (!value.isText && parts.size() == 3 && SameKey(parts[0], "StringFileInfo")) {
    // A string of the string table marked binary is still text, as Windows reads
    // it; its length may count bytes or characters, so read up to the terminator
    // within the node.
    const uint8_t* begin = &block[0] + std::min(node->valueAt, node->end);
    const uint8_t* end = &block[0] + node->end;
    uint32_t units = 0;
    for (const uint8_t* p = begin; p + 1 < end && Le16(p) != 0; p += 2) ++units;
    value.isText = true;
    value.text = Utf16LeToUtf8(begin, end);
    value.length = units ? units + 1 : 0;
    return value;
  }
  if (value.isText) {
    value.text = Utf16LeToUtf8(&block[0] + node->valueAt, &block[0] + node->valueAt + 2 * size_t{node->valueLength});
  } else {
    value.bytes.assign(block.begin() + node->valueAt, block.begin() + node->valueAt + node->valueLength);
  }
  return value;
}

}  // namespace platform
