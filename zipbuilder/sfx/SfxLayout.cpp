#include "zipbuilder/sfx/SfxLayout.h"

#include <algorithm>
#include <cstring>

namespace sfx {
namespace {

uint16_t Get16(const std::vector<uint8_t>& b, uint64_t at) {
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}
uint32_t Get32(const std::vector<uint8_t>& b, uint64_t at) {
  return Get16(b, at) | static_cast<uint32_t>(Get16(b, at + 2)) << 16;
}
void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

// Walks a stub's resource directory for the replaceable icon image. Offsets are
// kept as positions in the image; each read is checked against the image, and the
// walk stops at the third level of subdirectories, so that directories pointing
// back at themselves end the search.
class ResourceWalk {
 public:
  explicit ResourceWalk(const std::vector<uint8_t>& image) : image_(image) {}

  // The icon image's relative virtual address, or 0. `rawStart` is the section's
  // raw data position, `resourceRva` the data directory's resource address.
  uint32_t LookForDirs(uint64_t rawStart, uint32_t virtualAddress, uint32_t rawSize,
                       uint32_t resourceRva) {
    if (resourceRva == 0 || resourceRva < virtualAddress ||
        resourceRva >= uint64_t{virtualAddress} + rawSize)
      return 0;
    root_ = rawStart + (resourceRva - virtualAddress);
    end_ = rawStart + rawSize;
    if (end_ > image_.size()) end_ = image_.size();
    return BrowseResDir(root_, 0);
  }

 private:
  bool Inside(uint64_t at, uint64_t length) const { return at <= end_ && length <= end_ - at; }

  uint32_t BrowseResDir(uint64_t directory, int level) {
    if (level > 3 || !Inside(directory, 16)) return 0;
    uint32_t count = uint32_t{Get16(image_, directory + 12)} + Get16(image_, directory + 14);
    for (uint32_t i = 0; i < count; ++i) {
      uint64_t entry = directory + 16 + 8ull * i;
      if (!Inside(entry, 8)) return 0;
      if (uint32_t found = SearchResDirEntry(entry, level)) return found;
    }
    return 0;
  }

  uint32_t SearchResDirEntry(uint64_t entry, int level) {
    uint32_t name = Get32(image_, entry);
    uint32_t offset = Get32(image_, entry + 4);
    if (name & 0x80000000u) return 0;  // named entries are never the icon
    if ((level == 0 && name != 3) || (level == 1 && name != 1)) return 0;
    if (offset & 0x80000000u) return BrowseResDir(root_ + (offset & 0x7FFFFFFFu), level + 1);
    uint64_t data = root_ + offset;
    if (!Inside(data, 8) || Get32(image_, data + 4) != kIconImageSize) return 0;
    return Get32(image_, data);
  }

  const std::vector<uint8_t>& image_;
  uint64_t root_ = 0, end_ = 0;
};

}  // namespace

std::vector<uint8_t> BuildHeader(const Settings& settings) {
  const std::string* strings[] = {&settings.caption, &settings.defaultDir, &settings.commandLine,
                                  &settings.message};
  size_t total = 0;
  for (const std::string* s : strings) total += s->size();
  size_t size = (12 + total + 3) / 4 * 4;
  std::vector<uint8_t> header(size, 0);
  std::memcpy(header.data(), "MPV", 3);
  header[3] = settings.flags;
  header[5] = 1;
  Put16(header, 6, static_cast<uint16_t>(size));
  size_t at = 8;
  for (const std::string* s : strings) {
    header[at++] = static_cast<uint8_t>(s->size());
    std::memcpy(header.data() + at, s->data(), s->size());
    at += s->size();
  }
  return header;
}

std::optional<FoundHeader> FindHeader(const std::vector<uint8_t>& window) {
  // A current header whose size field ends it exactly at the window's end is the
  // one written there; stub bytes that happen to read "MPV" before it are not.
  size_t first = window.size();
  for (size_t p = 0; p + 3 <= window.size(); ++p) {
    if (window[p] != 'M' || window[p + 1] != 'P' || (window[p + 2] != 'U' && window[p + 2] != 'V'))
      continue;
    if (first == window.size()) first = p;
    if (window[p + 2] == 'V' && p + 8 <= window.size() &&
        p + Get16(window, p + 6) == window.size()) {
      first = p;
      break;
    }
  }
  if (first == window.size()) return std::nullopt;
  const size_t p = first;
  FoundHeader found;
  found.position = p;
  found.oldForm = window[p + 2] == 'U';
  auto byteAt = [&](size_t at) -> size_t { return at < window.size() ? window[at] : 0; };
  auto text = [&](size_t at, size_t length) {
    if (at >= window.size()) return std::string();
    size_t n = std::min(length, window.size() - at);
    return std::string(reinterpret_cast<const char*>(window.data() + at), n);
  };
  Settings& s = found.settings;
  s.flags = static_cast<uint8_t>(byteAt(p + 3));
  if (found.oldForm) {
    size_t lc = byteAt(p + 4), ld = byteAt(p + 5), lk = byteAt(p + 6);
    s.caption = text(p + 7, lc);
    s.defaultDir = text(p + 7 + lc, ld);
    s.commandLine = text(p + 7 + lc + ld, lk);
  } else {
    size_t at = p + 8;
    for (std::string* field : {&s.caption, &s.defaultDir, &s.commandLine, &s.message}) {
      size_t length = byteAt(at);
      *field = text(at + 1, length);
      at += 1 + length;
    }
  }
  return found;
}

std::optional<uint64_t> FindIconImage(const std::vector<uint8_t>& image) {
  if (image.size() < 64 || Get16(image, 0) != 0x5A4D) return std::nullopt;
  const uint64_t pe = Get32(image, 60);
  if (pe + 24 + 2 > image.size() || Get32(image, pe) != 0x00004550) return std::nullopt;
  const bool wide = Get16(image, pe + 24) == 0x20B;
  const uint64_t resourceEntry = pe + (wide ? 152 : 136);
  const uint64_t sectionTable = pe + (wide ? 264 : 248);
  if (resourceEntry + 4 > image.size()) return std::nullopt;
  const uint32_t resourceRva = Get32(image, resourceEntry);
  const uint16_t sections = Get16(image, pe + 6);
  for (uint16_t i = 0; i < sections; ++i) {
    uint64_t entry = sectionTable + 40ull * i;
    if (entry + 40 > image.size()) return std::nullopt;
    char name[9] = {};
    std::memcpy(name, image.data() + entry, 8);
    if (std::strcmp(name, ".rsrc") != 0) continue;
    uint32_t virtualAddress = Get32(image, entry + 12);
    uint32_t rawSize = Get32(image, entry + 16);
    uint32_t rawStart = Get32(image, entry + 20);
    uint32_t rva = ResourceWalk(image).LookForDirs(rawStart, virtualAddress, rawSize, resourceRva);
    if (rva == 0 || rva < virtualAddress) return std::nullopt;
    uint64_t at = uint64_t{rva} - virtualAddress + rawStart;
    if (at + kIconImageSize > image.size()) return std::nullopt;
    return at;
  }
  return std::nullopt;
}

}  // namespace sfx
