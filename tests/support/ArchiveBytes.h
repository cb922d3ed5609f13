// Plain stored archives for the listing and record tests, written by the
// crafted-archive writer (CraftedZip.h) with the fixed date, time and
// attributes these tests expect.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct TestMember {
  TestMember(std::string n, std::string d, std::string c = "", std::string e = "")
      : name(std::move(n)), data(std::move(d)), comment(std::move(c)), extra(std::move(e)) {}
  std::string name;  // stored bytes
  std::string data;  // stored uncompressed (method 0)
  std::string comment;
  std::string extra;
  uint8_t hostSystem = 0;  // 0 MS-DOS, 3 Unix, 11 NTFS
  uint8_t version = 20;
  uint16_t flags = 0;
};

struct ArchiveLayout {
  std::string stub;              // foreign bytes in front
  bool offsetsCountStub = false;  // recorded offsets count from the start of the file
  std::string comment;
  uint16_t thisDisk = 0;
  uint16_t centralDisk = 0;
};

struct BuiltArchive {
  std::string bytes;
  uint32_t centralOffset = 0;  // in `bytes`
  uint32_t endOffset = 0;      // in `bytes`
};

uint32_t Crc32Of(const std::string& data);

BuiltArchive BuildArchive(const std::vector<TestMember>& members, const ArchiveLayout& layout = {});

// What a broken download leaves: an archive of own.txt and a stored archive,
// inner.zip (members inner-a.txt and inner-b.txt), cut short inside its own
// comment, behind `stub` (offsets counting from the archive's own start).
BuiltArchive CutArchiveHoldingAnArchive(const std::string& stub = "");

}  // namespace testsupport
