// Compression method ids and the names listings show for them.
#pragma once

#include <cstdint>
#include <string>

namespace zip {

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodShrunk = 1;
constexpr uint16_t kMethodReducedFirst = 2;  // reduced with factors 1 to 4: methods 2 to 5
constexpr uint16_t kMethodReducedLast = 5;
constexpr uint16_t kMethodImploded = 6;
constexpr uint16_t kMethodDeflate = 8;
constexpr uint16_t kMethodDeflate64 = 9;
constexpr uint16_t kMethodBzip2 = 12;
constexpr uint16_t kMethodLzma = 14;
constexpr uint16_t kMethodZstd = 93;
constexpr uint16_t kMethodXz = 95;
constexpr uint16_t kMethodAes = 99;

// "Stored", "Deflate", "Defl64", ... and "M<number>" for methods without a name.
std::string MethodName(uint16_t method);

}  // namespace zip
