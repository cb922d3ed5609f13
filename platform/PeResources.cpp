// The Windows calls on PE resources, with the loader's rules; the walking itself
// is zipformat's.
#include "PeResources.h"

#include <algorithm>
#include <cctype>

#include "CodePage.h"
#include "FileSystem.h"
#include "zipformat/ByteOrder.h"

namespace platform {
namespace {

// Images the loader would refuse resources from: no resource directory among
// the data directories it declares.
bool HasResources(const zip::PeImage& pe) {
  return pe.DataDirectoryCount() > 2 && pe.ResourceRva() != 0;
}

zip::ByteSource FileSource(FileSystem& files, FileHandle h) {
  return [&files, h](uint64_t offset, void* buffer, size_t count) {
    return files.Seek(h, static_cast<int64_t>(offset), SeekFrom::Begin) == static_cast<int64_t>(offset) &&
           files.Read(h, buffer, count) == static_cast<int64_t>(count);
  };
}

std::optional<std::vector<uint8_t>> ReadVersionResource(FileSystem& files, const std::string& path) {
  FileHandle h = files.Open(path, Access::Read, Share::Read, Disposition::OpenExisting);
  if (h == kInvalidHandle) return std::nullopt;
  auto bytes = ReadFirstResource(FileSource(files, h), zip::kResourceTypeVersion);
  files.Close(h);
  return bytes;
}

// ---- the VS_VERSIONINFO tree ----

// UTF-16LE code units [begin, end) to UTF-8, stopping at a zero unit.
std::string Utf16LeToUtf8(const uint8_t* begin, const uint8_t* end) {
  std::u16string units;
  for (const uint8_t* p = begin; p + 1 < end; p += 2) {
    uint16_t unit = zip::Load16(p);
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
  uint16_t length = zip::Load16(&block[at]);
  if (length < 6 || at + length > limit) return std::nullopt;
  n.end = at + length;
  n.valueLength = zip::Load16(&block[at + 2]);
  n.type = zip::Load16(&block[at + 4]);
  size_t p = at + 6;
  while (p + 1 < n.end && zip::Load16(&block[p]) != 0) p += 2;
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

std::optional<std::vector<uint8_t>> ReadFirstResource(const zip::ByteSource& image, uint32_t type) {
  zip::PeImage pe(image);
  if (!pe.Load() || !HasResources(pe)) return std::nullopt;
  return pe.ReadResource(type);
}

IconLookup ExtractIconA(FileSystem& files, const std::string& path) {
  IconLookup result;
  FileHandle h = files.Open(path, Access::Read, Share::Read, Disposition::OpenExisting);
  if (h == kInvalidHandle) return result;
  const zip::ByteSource source = FileSource(files, h);
  zip::PeImage pe(source);
  if (pe.Load() && HasResources(pe)) {
    result.isImage = true;
    result.icon = zip::FirstIconFile(pe);
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
    for (const uint8_t* p = begin; p + 1 < end && zip::Load16(p) != 0; p += 2) ++units;
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
