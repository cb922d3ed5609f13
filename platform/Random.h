// Random bytes from the operating system's cryptographic source: salts, keys.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// Fills `out` with `size` bytes; throws std::runtime_error when the source fails.
void SystemRandom(uint8_t* out, size_t size);

}  // namespace platform
