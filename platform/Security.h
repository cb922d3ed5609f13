// Who the user is: the administrator right the installer asks for.
#pragma once

#include <cstdint>
#include <optional>

namespace platform {

class Security {
 public:
  virtual ~Security() = default;
  // True when the user holds the rights of the local Administrators group, and also
  // when that cannot be determined.
  virtual bool IsAdministrator() = 0;
};

// The rule on Linux: root is an administrator, and so is the owner of the Wine
// prefix whose registry is read (Wine makes every prefix owner one). An unknown
// user or an unknown owner counts as an administrator.
bool AdministratorRule(std::optional<uint32_t> effectiveUser, std::optional<uint32_t> prefixOwner);

// The POSIX implementation: the effective user against the owner of WinePrefix().
Security& PosixSecurity();

}  // namespace platform
