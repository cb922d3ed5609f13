// Feeds arbitrary bytes, taken as a whole archive, to the decompression engine's
// reader of the end records and the central directory, and locates every member's
// data. Any crash, out-of-bounds access or hang is a finding; damage reported as
// an EngineError is the expected answer.
#include <cstddef>
#include <cstdint>

#include "engines/unzdll/ArchiveFile.h"
#include "engines/unzdll/CentralDirectory.h"
#include "engines/common/EngineError.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  unzdll::MemorySource source(data, size);
  // The code page asked for comes from the first byte: automatic, none, OEM.
  const uint16_t codePage = size ? data[0] % 3 : 0;
  try {
    unzdll::ArchiveDirectory dir = unzdll::ReadCentralDirectory(source, codePage);
    for (const unzdll::Member& member : dir.members) {
      try {
        (void)unzdll::LocateMemberData(source, member, dir.centralStart);
      } catch (const engine::EngineError&) {
      }
    }
  } catch (const engine::EngineError&) {
  }
  return 0;
}
