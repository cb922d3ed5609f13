#include "tests/support/SfxFixture.h"

#include <filesystem>

namespace testsupport {
namespace {

void Put16(std::string& b, size_t at, uint32_t v) {
  b[at] = static_cast<char>(v);
  b[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

constexpr uint32_t kSectionRva = 0x1000;
constexpr uint32_t kSectionRaw = 0x200;

std::string Existing(const std::string& path) {
  return std::filesystem::exists(path) ? path : "";
}

}  // namespace

std::string BuildStub(const StubSpec& spec) {
  // Resource tree: root (16) + entry (8) at 0, name directory at 0x18, language
  // directory at 0x30, data entry at 0x48, the data at 0x58.
  std::string rsrc(0x58 + spec.iconSize, '\0');
  Put16(rsrc, 14, spec.rootEntryCount);
  Put32(rsrc, 16, spec.iconType);
  Put32(rsrc, 20, spec.typeEntryOffset ? spec.typeEntryOffset : 0x80000000u | 0x18);
  Put16(rsrc, 0x18 + 14, 1);
  Put32(rsrc, 0x28, spec.iconName);
  Put32(rsrc, 0x2C, 0x80000000u | 0x30);
  Put16(rsrc, 0x30 + 14, 1);
  Put32(rsrc, 0x40, 0x409);
  Put32(rsrc, 0x44, spec.languageLoop ? (0x80000000u | 0x30) : 0x48);
  Put32(rsrc, 0x48, kSectionRva + 0x58);
  Put32(rsrc, 0x4C, spec.iconSize);
  for (size_t i = 0x58; i < rsrc.size(); ++i) rsrc[i] = static_cast<char>(0xA5);
  rsrc.resize((rsrc.size() + 0x1FF) / 0x200 * 0x200, '\0');

  std::string image(kSectionRaw, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  Put32(image, 60, spec.peOffset);
  const uint32_t pe = 0x80;
  image.replace(pe, 4, std::string("PE\0\0", 4));
  Put16(image, pe + 4, spec.wide ? 0x8664 : 0x14C);
  Put16(image, pe + 6, spec.sectionCount);
  Put16(image, pe + 20, spec.wide ? 240 : 224);
  Put16(image, pe + 24, spec.wide ? 0x20B : 0x10B);
  const uint32_t dataDirectories = pe + 24 + (spec.wide ? 112 : 96);
  Put32(image, dataDirectories + 2 * 8, kSectionRva);
  Put32(image, dataDirectories + 2 * 8 + 4, static_cast<uint32_t>(rsrc.size()));
  const uint32_t section = pe + 24 + (spec.wide ? 240 : 224);
  image.replace(section, 8, std::string(spec.withResources ? ".rsrc\0\0\0" : ".data\0\0\0", 8));
  Put32(image, section + 8, static_cast<uint32_t>(rsrc.size()));
  Put32(image, section + 12, kSectionRva);
  Put32(image, section + 16, static_cast<uint32_t>(rsrc.size()));
  Put32(image, section + 20, kSectionRaw);
  return image + rsrc;
}

std::string BuildIcon(const std::vector<IconImageSpec>& images) {
  std::string header(6 + 16 * images.size(), '\0');
  Put16(header, 2, 1);
  Put16(header, 4, static_cast<uint32_t>(images.size()));
  std::string data;
  for (size_t i = 0; i < images.size(); ++i) {
    const IconImageSpec& s = images[i];
    uint32_t colours = s.bitsPerPixel <= 8 ? 1u << s.bitsPerPixel : 0;
    uint32_t rowBytes = (s.width * s.bitsPerPixel + 31) / 32 * 4;
    uint32_t maskBytes = (s.width + 31) / 32 * 4;
    uint32_t size = 40 + 4 * colours + (rowBytes + maskBytes) * s.height;
    std::string image(size, static_cast<char>(s.fill));
    Put32(image, 0, 40);
    Put32(image, 4, s.width);
    Put32(image, 8, 2u * s.height);
    Put16(image, 12, 1);
    Put16(image, 14, s.bitsPerPixel);
    size_t entry = 6 + 16 * i;
    header[entry] = static_cast<char>(s.width);
    header[entry + 1] = static_cast<char>(s.height);
    header[entry + 2] = static_cast<char>(colours < 256 ? colours : 0);
    Put16(header, entry + 4, 1);
    Put16(header, entry + 6, s.bitsPerPixel);
    Put32(header, entry + 8, size);
    Put32(header, entry + 12, static_cast<uint32_t>(6 + 16 * images.size() + data.size()));
    data += image;
  }
  return header + data;
}

std::string RealStub32() {
  return Existing(std::string(ZB_BINARY_DIR) + "/ZipSFX.bin");
}
std::string RealStub64() {
  return Existing(std::string(ZB_BINARY_DIR) + "/ZipSFX64.bin");
}

}  // namespace testsupport
