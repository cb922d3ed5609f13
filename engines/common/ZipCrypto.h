// Traditional PKWARE encryption: the three-key stream cipher and its 12-byte header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace engine {

uint32_t Crc32Update(uint32_t crc, const void* data, size_t size);  // crc starts at 0

class ZipCrypto {
 public:
  explicit ZipCrypto(const std::string& password);
  void Decrypt(uint8_t* data, size_t size);
  void Encrypt(uint8_t* data, size_t size);

 private:
  uint8_t StreamByte() const;
  void UpdateKeys(uint8_t plain);
  uint32_t key0_, key1_, key2_;
};

constexpr size_t kEncryptionHeaderSize = 12;

}  // namespace engine
