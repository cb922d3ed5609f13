// The Windows calls on PE resources, with the loader's rules; the walking itself
// is zipformat's.
#include "platform/PeResources.h"

#include <algorithm>
#include <cctype>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "zipformat/PeVersion.h"

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
  return Utf16ToUtf8(zip::Utf16LeUnits(begin, end));
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
  auto node = zip::ParseVersionNode(block, 0, block.size());
  if (!node) return std::nullopt;
  for (const std::string& part : SplitSubBlock(subBlock)) {
    std::optional<zip::VersionNode> found;
    for (size_t at = node->childrenAt; at < node->end;) {
      auto child = zip::ParseVersionNode(block, at, node->end);
      if (!child) break;
      if (SameKey(Utf16ToUtf8(child->key), part)) {
        found = child;
        break;
      }
      at = zip::NextVersionNode(*child);
    }
    if (!found) return std::nullopt;
    node = found;
  }
  VersionValue value;
  value.isText = node->IsText();
  value.length = node->valueLength;
  std::vector<std::string> parts = SplitSubBlock(subBlock);
  if (!value.isText && parts.size() == 3 && SameKey(parts[0], "StringFileInfo")) {
    // A string of the string table marked binary is still text, as Windows reads
    // it; its length may count bytes or characters, so read up to the terminator
    // within the node.
    const uint8_t* begin = &block[0] + std::min(node->valueAt, node->end);
    const uint8_t* end = &block[0] + node->end;
    const std::u16string units = zip::Utf16LeUnits(begin, end);
    value.isText = true;
    value.text = Utf16ToUtf8(units);
    value.length = units.empty() ? 0 : static_cast<uint32_t>(units.size()) + 1;
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
