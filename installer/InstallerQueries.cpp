#include "installer/InstallerQueries.h"

#include <cstdio>

#include "platform/PeResources.h"
#include "platform/Security.h"
#include "zipformat/PeVersion.h"

namespace installer {

bool IsAdministrator(platform::Security* security) { return security ? security->IsAdministrator() : true; }

platform::RegistryRoot RootKeyFromText(const std::string& text) {
  if (text == ":HKEY_LOCAL_MACHINE") return platform::HKEY_LOCAL_MACHINE;
  if (text == ":HKEY_CURRENT_USER") return platform::HKEY_CURRENT_USER;
  if (text == ":HKEY_USERS") return platform::HKEY_USERS;
  if (text == ":HKEY_CURRENT_CONFIG") return platform::HKEY_CURRENT_CONFIG;
  return platform::HKEY_CURRENT_USER;
}

std::string GetVersionString(platform::FileSystem& files, const std::string& path, const std::string& name) {
  std::string result;
  uint32_t size = platform::GetFileVersionInfoSizeA(files, path);
  if (size == 0) return result;
  try {
    auto block = platform::GetFileVersionInfoA(files, path, size);
    if (!block) return result;
    auto translation = platform::VerQueryValueA(*block, "\\VarFileInfo\\Translation");
    auto t = translation ? zip::DecodeVersionTranslation(translation->bytes) : std::nullopt;
    if (!t) return result;
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "\\StringFileInfo\\%04X%04X\\", unsigned{t->language},
                  unsigned{t->codePage});
    auto value = platform::VerQueryValueA(*block, prefix + name);
    if (value && value->length > 0) result = value->text;
  } catch (...) {
    // A damaged resource reads as no version, whatever it threw.
  }
  return result;
}

}  // namespace installer
