#include <limits.h>
#include <unistd.h>

#include "platform/Paths.h"
#include "platform/ProgramPath.h"

namespace platform {

std::string ProgramPath() {
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "";
  return std::string(buffer, static_cast<size_t>(n));
}

std::string ProgramDirectory() { return ExtractFilePath(ProgramPath()); }

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

}  // namespace platform
