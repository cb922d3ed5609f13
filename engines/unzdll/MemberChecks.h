// Checks of a member's recorded sizes and CRC, shared by extraction to files
// and to memory.
#pragma once

#include <cstdint>

#include "engines/unzdll/DecodeSteps.h"
#include "engines/unzdll/MemberDecoder.h"

namespace unzdll {

// Deflate cannot expand beyond about 1032 to 1; a larger claim is a lie.
inline constexpr uint64_t kMaxDeflateRatio = 1032;

inline bool PlausibleExpandedSize(const Member& m) {
  if (m.DataMethod() == kMethodStored) return m.uncompressedSize <= m.compressedSize;
  if (m.DataMethod() == kMethodDeflate)
    return m.uncompressedSize <= m.compressedSize * kMaxDeflateRatio + 1024;
  // The other methods expand by a million to one and more; the 32-bit bound applies.
  return true;
}

// The CRC check, for members that record their CRC.
inline bool CrcMatches(const Member& m, const DecodeResult& result) {
  return !m.CrcRecorded() || result.crc == m.crc;
}


}  // namespace unzdll
