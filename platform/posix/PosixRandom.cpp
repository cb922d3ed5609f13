#include <sys/random.h>

#include <cerrno>
#include <stdexcept>

#include "platform/Random.h"

namespace platform {

void SystemRandom(uint8_t* out, size_t size) {
  while (size > 0) {
    const ssize_t n = ::getrandom(out, size, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("The system's random source failed");
    }
    out += n;
    size -= static_cast<size_t>(n);
  }
}

}  // namespace platform
