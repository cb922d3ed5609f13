#include "ZipCrypto.h"

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

namespace {
const z_crc_t* CrcTable() { return get_crc_table(); }
inline uint32_t CrcByte(uint32_t crc, uint8_t b) { return CrcTable()[(crc ^ b) & 0xFF] ^ (crc >> 8); }
}  // namespace

ZipCrypto::ZipCrypto(const std::string& password) : key0_(0x12345678), key1_(0x23456789), key2_(0x34567890) {
  for (unsigned char c : password) UpdateKeys(c);
}

uint8_t ZipCrypto::StreamByte() const {
  uint32_t temp = (key2_ | 2) & 0xFFFF;  // 32-bit product: no signed overflow
  return static_cast<uint8_t>((static_cast<uint32_t>(temp) * (temp ^ 1u)) >> 8);  // unsigned: no int overflow
}

void ZipCrypto::UpdateKeys(uint8_t plain) {
  key0_ = CrcByte(key0_, plain);
  key1_ = (key1_ + (key0_ & 0xFF)) * 134775813u + 1;
  key2_ = CrcByte(key2_, static_cast<uint8_t>(key1_ >> 24));
}

void ZipCrypto::Decrypt(uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    uint8_t plain = data[i] ^ StreamByte();
    UpdateKeys(plain);
    data[i] = plain;
  }
}

void ZipCrypto::Encrypt(uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    uint8_t plain = data[i];
    data[i] = plain ^ StreamByte();
    UpdateKeys(plain);
  }
}

}  // namespace engine
