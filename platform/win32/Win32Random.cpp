#include <algorithm>
#include <stdexcept>

#include "platform/Random.h"
#include "platform/win32/WindowsApi.h"

#include <bcrypt.h>  // after <windows.h>, which it needs

namespace platform {

void SystemRandom(uint8_t* out, size_t size) {
  constexpr size_t kPiece = size_t{1} << 30;  // the call takes a 32-bit length
  for (size_t done = 0; done < size;) {
    const ULONG piece = static_cast<ULONG>(std::min(size - done, kPiece));
    if (BCryptGenRandom(nullptr, out + done, piece, BCRYPT_USE_SYSTEM_PREFERRED_RNG) < 0)
      throw std::runtime_error("The system's random source failed");
    done += piece;
  }
}

}  // namespace platform
