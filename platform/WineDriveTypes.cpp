// The drive type words of the prefix's registry key
// HKEY_LOCAL_MACHINE\Software\Wine\Drives (value name "a:" ... "z:").
#include <string>

namespace platform {

std::string WineDriveTypeSetting(char) {
  return {};  // no registry reader yet: every defined drive is fixed
}

}  // namespace platform
