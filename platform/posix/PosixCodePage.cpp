// The C library's conversions depend on the locales installed: CP850 comes
// from our own table here.
#include "platform/CodePage.h"

namespace platform {

std::string OemToChar(const std::string& oem) { return Cp850ToUtf8(oem); }
std::string CharToOem(const std::string& text) { return Utf8ToCp850(text); }

}  // namespace platform
