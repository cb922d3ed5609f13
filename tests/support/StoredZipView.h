// A test's view of an archive's bytes: every member as its central header and
// its local header describe it, for checks of what a rewrite stored.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct StoredZipMember {
  std::string name, localName;
  uint32_t dosDateTime = 0, localDosDateTime = 0;  // date high, time low
  uint16_t flags = 0;
  uint32_t localOffset = 0;  // as recorded in the central header
  std::string data;          // the stored (compressed) bytes
  std::string descriptor;    // the 28 bytes behind the data, when flag bit 3 is set
  std::string extra, localExtra, comment;
};

struct StoredZipView {
  bool ok = false;  // the whole structure decoded; offsets are file positions
  std::vector<StoredZipMember> members;
  uint32_t directoryOffset = 0, directorySize = 0;
  uint64_t entries = 0;
  std::string comment;
};

StoredZipView ViewStoredZip(const std::string& bytes);

}  // namespace testsupport
