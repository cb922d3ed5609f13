// The drive type words of the prefix's registry key
// HKEY_LOCAL_MACHINE\Software\Wine\Drives (value names "a:" ... "z:").
#include <cctype>
#include <string>

#include "platform/Registry.h"

namespace platform {

std::string WineDriveTypeSetting(char letter) {
  std::string valueName{static_cast<char>(std::tolower(static_cast<unsigned char>(letter))), ':'};
  auto value = PosixRegistry().ReadString(HKEY_LOCAL_MACHINE, "Software\\Wine\\Drives", valueName);
  return value && value->isString ? value->text : std::string();
}

}  // namespace platform
