// Which stored names and comments are in the OEM code page (CP850) and must be
// converted for display. The conversion itself belongs to the caller.
#pragma once

#include <cstdint>

#include "zipformat/Signatures.h"

namespace zip {

// What the caller asks for: decide from the writer's host, never convert, or
// always treat the text as OEM.
enum class NameCodePage : uint16_t { kAutomatic = 0, kNone = 1, kOem = 2 };

// Text flagged UTF-8 (flag bit 11) is never converted. Otherwise, automatically,
// text written on MS-DOS, OS/2 HPFS, or NTFS by a writer of specification 5.0 is OEM.
constexpr bool TextIsOem(uint8_t host, uint8_t specVersion, uint16_t flags, NameCodePage wanted) {
  if (flags & kFlagUtf8) return false;
  switch (wanted) {
    case NameCodePage::kNone:
      return false;
    case NameCodePage::kOem:
      return true;
    case NameCodePage::kAutomatic:
      break;
  }
  return host == kHostDos || host == kHostOs2 || (host == kHostNtfs && specVersion == 50);
}

}  // namespace zip
