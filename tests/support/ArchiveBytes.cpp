#include "tests/support/ArchiveBytes.h"

#include <array>

#include "tests/support/CraftedZip.h"

namespace testsupport {

uint32_t Crc32Of(const std::string& data) {
  // A byte at a time through a table: archives of many megabytes stay quick to craft.
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
      t[n] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : data) crc = (crc >> 8) ^ table[(crc ^ c) & 0xFF];
  return ~crc;
}

BuiltArchive BuildArchive(const std::vector<TestMember>& members, const ArchiveLayout& layout) {
  std::vector<CraftedMember> crafted;
  for (const TestMember& m : members) {
    CraftedMember c(m.name, m.data);
    c.host = m.hostSystem;
    c.version = m.version;
    c.flags = m.flags;
    c.dosDateTime = 0x59216000;  // 2024-09-01 12:00:00
    c.unixMode = 0;
    c.dosAttributes = 0x20;      // archive bit
    c.extra = m.extra;
    c.comment = m.comment;
    crafted.push_back(std::move(c));
  }
  return CraftArchive(crafted, layout);
}

BuiltArchive CutArchiveHoldingAnArchive(const std::string& stub) {
  const std::string inner = BuildArchive({{"inner-a.txt", "a"}, {"inner-b.txt", "b"}}).bytes;
  ArchiveLayout layout;
  layout.stub = stub;
  layout.comment = std::string(300, 'c');
  BuiltArchive built = BuildArchive({{"inner.zip", inner}, {"own.txt", "own"}}, layout);
  built.bytes.resize(built.bytes.size() - 200);
  return built;
}

}  // namespace testsupport
