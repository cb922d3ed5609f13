// The traditional stream cipher: three keys driven by the plain text, and the
// 12-byte header in front of a member's data whose last byte checks the password.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zip {

constexpr size_t kTraditionalHeaderSize = 12;

class TraditionalCrypto {
 public:
  explicit TraditionalCrypto(std::string_view password);
  uint8_t DecryptByte(uint8_t cipher) {
    const uint8_t plain = cipher ^ StreamByte();
    Update(plain);
    return plain;
  }
  uint8_t EncryptByte(uint8_t plain) {
    const uint8_t cipher = plain ^ StreamByte();
    Update(plain);
    return cipher;
  }
  void Decrypt(uint8_t* data, size_t size);
  void Encrypt(uint8_t* data, size_t size);

 private:
  uint8_t StreamByte() const {
    const uint32_t t = (keys_[2] | 2) & 0xFFFF;  // unsigned product: no overflow
    return static_cast<uint8_t>((t * (t ^ 1u)) >> 8);
  }
  void Update(uint8_t plain);
  uint32_t keys_[3];
};

// What the header's last byte decrypts to under the right password: the CRC's
// high byte, or the time's when the CRC was not known while writing (a data
// descriptor follows). `dosDateTime` holds the date high, the time low.
uint8_t TraditionalCheckByte(uint16_t generalFlags, uint32_t crc, uint32_t dosDateTime);

// Decrypts `header` (kTraditionalHeaderSize bytes) in place with `keys`, which
// then stand at the data, and says whether its last byte is `check`.
bool TraditionalHeaderMatches(TraditionalCrypto& keys, uint8_t* header, uint8_t check);

// Writes the check bytes of a header about to be encrypted: the CRC's two high bytes.
void SetTraditionalCheck(uint8_t* header, uint32_t crc);

}  // namespace zip
