#include "zipformat/TraditionalCrypto.h"

#include <array>

#include "zipformat/Signatures.h"

namespace zip {
namespace {

// The CRC-32 table of the key schedule (reflected polynomial 0xEDB88320).
constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

uint32_t CrcByte(uint32_t crc, uint8_t b) {
  return kCrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
}

}  // namespace

TraditionalCrypto::TraditionalCrypto(std::string_view password)
    : keys_{0x12345678, 0x23456789, 0x34567890} {
  for (unsigned char c : password) Update(c);
}

void TraditionalCrypto::Update(uint8_t plain) {
  keys_[0] = CrcByte(keys_[0], plain);
  keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
  keys_[2] = CrcByte(keys_[2], static_cast<uint8_t>(keys_[1] >> 24));
}

void TraditionalCrypto::Decrypt(uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) data[i] = DecryptByte(data[i]);
}

void TraditionalCrypto::Encrypt(uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) data[i] = EncryptByte(data[i]);
}

uint8_t TraditionalCheckByte(uint16_t generalFlags, uint32_t crc, uint32_t dosDateTime) {
  return (generalFlags & kFlagDataDescriptor) ? static_cast<uint8_t>(dosDateTime >> 8)
                                              : static_cast<uint8_t>(crc >> 24);
}

bool TraditionalHeaderMatches(TraditionalCrypto& keys, uint8_t* header, uint8_t check) {
  keys.Decrypt(header, kTraditionalHeaderSize);
  return header[kTraditionalHeaderSize - 1] == check;
}

void SetTraditionalCheck(uint8_t* header, uint32_t crc) {
  header[kTraditionalHeaderSize - 2] = static_cast<uint8_t>(crc >> 16);
  header[kTraditionalHeaderSize - 1] = static_cast<uint8_t>(crc >> 24);
}

}  // namespace zip
