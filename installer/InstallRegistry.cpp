#include "installer/InstallRegistry.h"

namespace installer {

void InstallRegistry::SetRootKey(platform::RegistryRoot root) {
  CloseKey();
  root_ = root;
}

void InstallRegistry::CloseKey() {
  keyOpen_ = false;
  openKey_.clear();
}

bool InstallRegistry::OpenKey(const std::string& key) {
  CloseKey();
  if (!registry_.KeyExists(root_, key)) return false;
  openKey_ = key;
  keyOpen_ = true;
  return true;
}

std::string InstallRegistry::ReadString(const std::string& name) {
  if (!keyOpen_) return "";
  auto value = registry_.ReadString(root_, openKey_, name);
  if (!value) return "";
  if (!value->isString) throw ERegistryException("Invalid data type for '" + name + "'");
  return value->text;
}

}  // namespace installer
