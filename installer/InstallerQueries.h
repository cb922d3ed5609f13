// The installer's questions to the platform: the administrator right, the registry
// root a descriptor line names, and one string of a program's version resource.
#pragma once

#include <string>

#include "platform/Registry.h"

namespace platform {
class FileSystem;
class Security;
}  // namespace platform

namespace installer {

// True when the user is an administrator, and also when that cannot be determined
// (no security service given).
bool IsAdministrator(platform::Security* security);

// ":HKEY_LOCAL_MACHINE", ":HKEY_CURRENT_USER", ":HKEY_USERS", ":HKEY_CURRENT_CONFIG",
// compared exactly; anything else gives HKEY_CURRENT_USER.
platform::RegistryRoot RootKeyFromText(const std::string& text);

// The value `name` of the string table named by the first translation of the file's
// version resource; the empty text when there is none.
std::string GetVersionString(platform::FileSystem& files, const std::string& path, const std::string& name);

}  // namespace installer
