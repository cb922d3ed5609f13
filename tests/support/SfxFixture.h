// Self-extractor fixtures: small stand-in stubs (PE images with an icon
// resource, shaped or damaged as a test needs), icon files, and where the real
// stubs built with MinGW lie.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct StubSpec {
  bool wide = false;          // a 64-bit image (optional header 0x20B)
  bool withResources = true;  // a ".rsrc" section (else the section is ".data")
  uint32_t iconType = 3;      // the type, name and size of the one resource
  uint32_t iconName = 1;
  uint32_t iconSize = 744;
  // Damage: an offset that replaces the type entry's (bit 31: subdirectory), a
  // language entry pointing back at its own directory, a huge entry count, a
  // PE header position, a section count.
  uint32_t typeEntryOffset = 0;
  bool languageLoop = false;
  uint16_t rootEntryCount = 1;
  uint32_t peOffset = 0x80;
  uint16_t sectionCount = 1;
};

// The stub's bytes; its icon image is filled with 0xA5.
std::string BuildStub(const StubSpec& spec = {});

struct IconImageSpec {
  uint8_t width = 32, height = 32;
  uint16_t bitsPerPixel = 4;
  uint8_t fill = 0x3C;
};
// An .ico file of the given images (a 32x32 4-bit image is 744 bytes).
std::string BuildIcon(const std::vector<IconImageSpec>& images);

// The real stubs beside the programs, or "" when they were not built.
std::string RealStub32();
std::string RealStub64();

}  // namespace testsupport
