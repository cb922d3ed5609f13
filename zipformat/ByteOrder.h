// Little-endian loads and stores: every multi-byte field of the ZIP format goes
// through these, so the host's byte order never matters.
#pragma once

#include <cstdint>

namespace zip {

inline uint16_t Load16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t Load64(const uint8_t* p) {
  return Load32(p) | (uint64_t{Load32(p + 4)} << 32);
}

inline void Store16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Store32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Store64(uint8_t* p, uint64_t v) {
  Store32(p, static_cast<uint32_t>(v));
  Store32(p + 4, static_cast<uint32_t>(v >> 32));
}

// Appending stores, for records built into a growing buffer (std::string or
// std::vector<uint8_t>).
template <typename Buffer>
void Append16(Buffer& out, uint16_t v) {
  uint8_t b[2];
  Store16(b, v);
  out.insert(out.end(), b, b + 2);
}
template <typename Buffer>
void Append32(Buffer& out, uint32_t v) {
  uint8_t b[4];
  Store32(b, v);
  out.insert(out.end(), b, b + 4);
}
template <typename Buffer>
void Append64(Buffer& out, uint64_t v) {
  uint8_t b[8];
  Store64(b, v);
  out.insert(out.end(), b, b + 8);
}

}  // namespace zip
