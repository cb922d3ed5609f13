// A minimal PE32 image: DOS header, PE headers, one ".rsrc" section. The version
// resource is laid out as Windows' resource compiler writes it: UTF-16 keys and
// strings, every node aligned to 4 bytes.
#include "tests/support/PeFixture.h"

#include <algorithm>
#include <cstdio>

namespace fixtures {
namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}
void Append16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Pad4(Bytes& b) {
  while (b.size() % 4) b.push_back(0);
}

// UTF-8 to UTF-16LE code units, with a terminating zero unit.
Bytes Utf16z(const std::string& text, size_t* units) {
  Bytes out;
  size_t count = 0;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    uint32_t cp = c;
    size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra) cp = c & (0x3F >> extra);
    for (size_t k = 1; k <= extra && i + k < text.size(); ++k) cp = (cp << 6) | (text[i + k] & 0x3F);
    i += extra + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      Append16(out, 0xD800 + (cp >> 10));
      Append16(out, 0xDC00 + (cp & 0x3FF));
      count += 2;
    } else {
      Append16(out, cp);
      ++count;
    }
  }
  Append16(out, 0);
  if (units) *units = count + 1;
  return out;
}

// One version-information node: wLength, wValueLength, wType, key, value, children.
Bytes VersionNode(const std::string& key, const Bytes& value, uint16_t valueLength, uint16_t type,
                  const std::vector<Bytes>& children) {
  Bytes b(6, 0);
  Bytes k = Utf16z(key, nullptr);
  b.insert(b.end(), k.begin(), k.end());
  Pad4(b);
  b.insert(b.end(), value.begin(), value.end());
  for (const Bytes& child : children) {
    Pad4(b);
    b.insert(b.end(), child.begin(), child.end());
  }
  Put16(b, 0, static_cast<uint32_t>(b.size()));
  Put16(b, 2, valueLength);
  Put16(b, 4, type);
  return b;
}

Bytes VersionInfo(const PeVersionSpec& spec) {
  Bytes fixed(52, 0);
  Put32(fixed, 0, 0xFEEF04BD);
  Put32(fixed, 4, 0x00010000);

  std::vector<Bytes> strings;
  for (const auto& [name, value] : spec.strings) {
    size_t units = 0;
    Bytes text = Utf16z(value, &units);
    size_t length = spec.stringLengthInBytes ? units * 2 : units;
    strings.push_back(VersionNode(name, text, static_cast<uint16_t>(length), spec.stringType, {}));
  }
  std::string tableKey = spec.stringTableKey;
  if (tableKey.empty() && !spec.translations.empty()) {
    char key[9];
    std::snprintf(key, sizeof key, "%04X%04X", spec.translations[0].language, spec.translations[0].codePage);
    tableKey = key;
  }
  std::vector<Bytes> children;
  if (!tableKey.empty())
    children.push_back(VersionNode("StringFileInfo", {}, 0, 1, {VersionNode(tableKey, {}, 0, 1, strings)}));
  if (!spec.translations.empty()) {
    Bytes table;
    for (const Translation& t : spec.translations) {
      Append16(table, t.language);
      Append16(table, t.codePage);
    }
    Bytes var = VersionNode("Translation", table, static_cast<uint16_t>(table.size()), 0, {});
    children.push_back(VersionNode("VarFileInfo", {}, 0, 1, {var}));
  }
  return VersionNode("VS_VERSION_INFO", fixed, static_cast<uint16_t>(fixed.size()), 0, children);
}

constexpr uint32_t kPeOffset = 0x80;
constexpr uint32_t kOptionalSize = 224;
constexpr uint32_t kFileAlign = 0x200;
constexpr uint32_t kSectionRva = 0x1000;

uint32_t AlignUp(uint32_t v, uint32_t a) { return (v + a - 1) / a * a; }

// The resource section: root -> type 16 -> name 1 -> language -> data entry -> data.
Bytes ResourceSection(const PeVersionSpec& spec) {
  Bytes s(16, 0);  // root directory, no entries yet
  if (!spec.withVersionResource) return s;
  Bytes info = VersionInfo(spec);
  uint16_t language = spec.translations.empty() ? 0 : spec.translations[0].language;
  s.assign(88, 0);
  Put16(s, 14, 1);  // root: one id entry
  Put32(s, 16, 16);
  Put32(s, 20, 0x80000000u | 24);
  Put16(s, 24 + 14, 1);  // type directory
  Put32(s, 40, 1);
  Put32(s, 44, 0x80000000u | 48);
  Put16(s, 48 + 14, 1);  // name directory
  Put32(s, 64, language);
  Put32(s, 68, 72);
  Put32(s, 72, kSectionRva + 88);  // data entry
  Put32(s, 76, static_cast<uint32_t>(info.size()));
  s.insert(s.end(), info.begin(), info.end());
  return s;
}

}  // namespace

std::vector<uint8_t> BuildPeWithVersion(const PeVersionSpec& spec) {
  Bytes section = ResourceSection(spec);
  uint32_t rawSize = AlignUp(static_cast<uint32_t>(section.size()), kFileAlign);
  Bytes image(kFileAlign + rawSize, 0);
  image[0] = 'M';
  image[1] = 'Z';
  Put32(image, 0x3C, kPeOffset);

  size_t pe = kPeOffset;
  image[pe] = 'P';
  image[pe + 1] = 'E';
  Put16(image, pe + 4, 0x14C);  // i386
  Put16(image, pe + 6, 1);      // one section
  Put16(image, pe + 20, kOptionalSize);
  Put16(image, pe + 22, 0x0102);  // executable image, 32-bit machine

  size_t opt = pe + 24;
  Put16(image, opt + 0, 0x10B);  // PE32
  Put32(image, opt + 8, rawSize);
  Put32(image, opt + 28, 0x400000);  // image base
  Put32(image, opt + 32, 0x1000);    // section alignment
  Put32(image, opt + 36, kFileAlign);
  Put16(image, opt + 40, 4);
  Put16(image, opt + 48, 4);
  Put32(image, opt + 56, kSectionRva + AlignUp(rawSize, 0x1000));  // size of image
  Put32(image, opt + 60, kFileAlign);                               // size of headers
  Put16(image, opt + 68, 2);                                        // GUI subsystem
  Put32(image, opt + 72, 0x100000);
  Put32(image, opt + 76, 0x1000);
  Put32(image, opt + 80, 0x100000);
  Put32(image, opt + 84, 0x1000);
  Put32(image, opt + 92, 16);  // data directories
  Put32(image, opt + 96 + 2 * 8, kSectionRva);
  Put32(image, opt + 96 + 2 * 8 + 4, static_cast<uint32_t>(section.size()));

  size_t sec = opt + kOptionalSize;
  const char name[] = ".rsrc";
  for (size_t i = 0; i < 5; ++i) image[sec + i] = static_cast<uint8_t>(name[i]);
  Put32(image, sec + 8, static_cast<uint32_t>(section.size()));
  Put32(image, sec + 12, kSectionRva);
  Put32(image, sec + 16, rawSize);
  Put32(image, sec + 20, kFileAlign);
  Put32(image, sec + 36, 0x40000040);  // initialised data, readable

  std::copy(section.begin(), section.end(), image.begin() + kFileAlign);
  return image;
}

bool WritePeWithVersion(const std::string& path, const PeVersionSpec& spec) {
  Bytes image = BuildPeWithVersion(spec);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(image.data(), 1, image.size(), f) == image.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace fixtures
