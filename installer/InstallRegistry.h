// The installer's registry access object: one root, at most one open key, string
// values read from it. It never creates keys.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/Registry.h"

namespace installer {

// A registry value was of another type than a string.
class ERegistryException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class InstallRegistry {
 public:
  explicit InstallRegistry(platform::Registry& registry) : registry_(registry) {}

  void SetRootKey(platform::RegistryRoot root);
  void CloseKey();
  // Opens an existing key below the root; false when there is none.
  bool OpenKey(const std::string& key);
  // The string value `name` of the open key: "" when the value is missing, taken as
  // stored (not expanded); throws ERegistryException for a value of another type.
  std::string ReadString(const std::string& name);

 private:
  platform::Registry& registry_;
  platform::RegistryRoot root_ = platform::HKEY_CURRENT_USER;
  std::string openKey_;
  bool keyOpen_ = false;
};

}  // namespace installer
