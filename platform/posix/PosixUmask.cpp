#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Umask.h"

namespace platform {

uint32_t CurrentUmask() {
  // Read, not set: umask(2) can only be asked by changing it, which would race
  // with files other threads create meanwhile.
  uint32_t mask = 022;
  if (FILE* status = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, status)) {
      if (std::strncmp(line, "Umask:", 6) == 0) {
        mask = static_cast<uint32_t>(std::strtoul(line + 6, nullptr, 8)) & 0777;
        break;
      }
    }
    std::fclose(status);
  }
  return mask;
}

}  // namespace platform
