// The administrator rule on POSIX: effective user id against the prefix's owner.
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Paths.h"
#include "platform/Security.h"

namespace platform {

bool AdministratorRule(std::optional<uint32_t> effectiveUser, std::optional<uint32_t> prefixOwner) {
  if (!effectiveUser || !prefixOwner) return true;
  return *effectiveUser == 0 || *effectiveUser == *prefixOwner;
}

namespace {

class PosixSecurityImpl : public Security {
 public:
  bool IsAdministrator() override {
    std::optional<uint32_t> owner;
    struct stat st;
    if (::stat(WinePrefix().c_str(), &st) == 0) owner = st.st_uid;
    return AdministratorRule(static_cast<uint32_t>(::geteuid()), owner);
  }
};

}  // namespace

Security& PosixSecurity() {
  static PosixSecurityImpl security;
  return security;
}

}  // namespace platform
