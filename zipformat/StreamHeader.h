// The 6 bytes in front of a compressed stream (adding stream to stream, and
// extracting from memory): the CRC-32 of the uncompressed data, then the method.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zipformat/ByteOrder.h"

namespace zip {

constexpr size_t kStreamHeaderBytes = 6;

struct StreamHeader {
  uint32_t crc = 0;
  uint16_t method = 0;
};

inline void EncodeStreamHeader(const StreamHeader& h, uint8_t* out) {
  Store32(out, h.crc);
  Store16(out + 4, h.method);
}

inline StreamHeader DecodeStreamHeader(const uint8_t* in) {
  return {Load32(in), Load16(in + 4)};
}

}  // namespace zip
