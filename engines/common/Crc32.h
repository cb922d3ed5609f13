// CRC-32 of the ZIP format over buffers of any size.
#pragma once

#include <cstddef>
#include <cstdint>

namespace engine {

uint32_t Crc32Update(uint32_t crc, const void* data, size_t size);  // crc starts at 0

}  // namespace engine
