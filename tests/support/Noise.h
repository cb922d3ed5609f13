// Deterministic bytes that do not compress: members that must stay large in an
// archive (volumes, streamed members, a full disk). The same seed gives the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace testsupport {

inline std::string Noise(size_t size, uint32_t seed = 1) {
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>((seed = seed * 1664525u + 1013904223u) >> 24);
  return bytes;
}

}  // namespace testsupport
