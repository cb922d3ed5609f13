// Reading the Windows registry. On Linux the registry is the set of registry
// files of the Wine prefix (platform::WinePrefix()): system.reg is
// HKEY_LOCAL_MACHINE, user.reg HKEY_CURRENT_USER, userdef.reg HKEY_USERS\.Default.
// The files are only ever read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// The predefined roots, with the numbers of Windows' HKEY handles.
enum RegistryRoot : uint32_t {
  HKEY_CLASSES_ROOT = 0x80000000u,
  HKEY_CURRENT_USER = 0x80000001u,
  HKEY_LOCAL_MACHINE = 0x80000002u,
  HKEY_USERS = 0x80000003u,
  HKEY_PERFORMANCE_DATA = 0x80000004u,
  HKEY_CURRENT_CONFIG = 0x80000005u,
};

// One value as the installer reads it: a string (REG_SZ or REG_EXPAND_SZ, taken
// as stored, never expanded; cut at its first NUL) or "another type".
struct RegValue {
  bool isString = false;
  std::string text;  // UTF-8; empty for another type

  bool operator==(const RegValue&) const = default;
};

class Registry {
 public:
  virtual ~Registry() = default;
  // RegOpenKeyExA on an existing key: true when `key` exists under `root`.
  // `key` uses "\" separators, with or without a leading backslash; the empty
  // key is the root itself. Names compare case-insensitively.
  virtual bool KeyExists(RegistryRoot root, const std::string& key) = 0;
  // RegQueryValueExA: nullopt when the key or the value is missing. The value
  // name "" is the key's default value (written "@" in the files); a value
  // literally named "@" is written "\"@\"" there and read with the name "@".
  virtual std::optional<RegValue> ReadString(RegistryRoot root, const std::string& key,
                                             const std::string& valueName) = 0;
};

// The registry files of the prefix named by WINEPREFIX at the time of each call.
Registry& PosixRegistry();

// Case-insensitive comparison key for registry names (ASCII, Latin-1, Latin
// Extended-A, Greek and Cyrillic letters), shared by the real and the fake registry.
std::string RegistryFoldCase(const std::string& name);

}  // namespace platform
