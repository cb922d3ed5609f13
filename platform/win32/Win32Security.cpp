// Membership of the local Administrators group through CheckTokenMembership
// (an elevated token holds it; a filtered one, before elevation, does not).
#include "platform/Security.h"
#include "platform/win32/Win32Env.h"
#include "platform/win32/WindowsApi.h"

namespace platform {
namespace {

class Win32SecurityImpl : public Security {
 public:
  bool IsAdministrator() override {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                  0, 0, &administrators))
      return true;  // cannot be told
    BOOL member = FALSE;
    const bool known = CheckTokenMembership(nullptr, administrators, &member);
    FreeSid(administrators);
    return !known || member;
  }
};

}  // namespace

Security& Win32Security() {
  static Win32SecurityImpl security;
  return security;
}

}  // namespace platform
