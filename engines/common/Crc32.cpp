#include "engines/common/Crc32.h"

#include <zlib.h>

namespace engine {

uint32_t Crc32Update(uint32_t crc, const void* data, size_t size) {
  const auto* p = static_cast<const Bytef*>(data);
  while (size > 0) {  // zlib takes 32-bit lengths
    uInt chunk = size > 0x40000000 ? 0x40000000 : static_cast<uInt>(size);
    crc = static_cast<uint32_t>(crc32(crc, p, chunk));
    p += chunk;
    size -= chunk;
  }
  return crc;
}

}  // namespace engine
