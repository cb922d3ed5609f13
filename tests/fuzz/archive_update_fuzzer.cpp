// Feeds arbitrary bytes, taken as a whole archive, to the compression engine's
// reader of an existing archive: the members, where each one's bytes lie and the
// comment that updating and deleting start from. Any crash, out-of-bounds access
// or hang is a finding; damage reported as an EngineError is the expected answer.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "engines/zipdll/ArchiveRecords.h"
#include "engines/common/EngineError.h"
#include "platform/Env.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The reader works on a file handle: one file in memory, rewritten each run.
  static const int fd = memfd_create("archive", 0);
  if (fd < 0 || ftruncate(fd, 0) != 0 ||
      pwrite(fd, data, size, 0) != static_cast<ssize_t>(size) || lseek(fd, 0, SEEK_SET) != 0)
    __builtin_trap();
  try {
    const zipdll::ExistingArchive archive = zipdll::ReadArchive(platform::PosixFileSystem(), fd);
    (void)archive;
  } catch (const engine::EngineError&) {
  }
  return 0;
}
