// Builds small PE files (a 32-bit Windows program image) carrying a version
// resource, so that tests and the demo have an "installed program" whose version
// can be read without Windows or a resource compiler.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace fixtures {

struct Translation {
  uint16_t language = 0;
  uint16_t codePage = 0;
};

inline std::vector<Translation> UsEnglishWindowsLatin1() { return {Translation{0x0409, 0x04E4}}; }

struct PeVersionSpec {
  bool withVersionResource = true;
  // Entries of the translation table (language, code page); empty: no VarFileInfo.
  std::vector<Translation> translations = UsEnglishWindowsLatin1();
  // The string table's key, e.g. "040904E4"; empty: derived from the first translation.
  std::string stringTableKey;
  // Name and value pairs of the string table, in UTF-8.
  std::vector<std::pair<std::string, std::string>> strings;
  // wType of the strings: 1 (text) as resource compilers write, or 0 (binary) as
  // some do, whose wValueLength then counts bytes when `stringLengthInBytes`.
  uint16_t stringType = 1;
  bool stringLengthInBytes = false;
};

// The bytes of a PE image with one ".rsrc" section holding the version resource.
std::vector<uint8_t> BuildPeWithVersion(const PeVersionSpec& spec);

// Writes BuildPeWithVersion(spec) to `path`; false when the file cannot be written.
bool WritePeWithVersion(const std::string& path, const PeVersionSpec& spec);

}  // namespace fixtures
