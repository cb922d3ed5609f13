// What the AES stream needs from a crypto library, one implementation per
// platform: AesPrimitivesLibcrypto.cpp (Nettle and OpenSSL's libcrypto) and
// win32/AesPrimitivesCng.cpp (Windows CNG). Failures of the library throw
// std::bad_alloc, as running out of memory is the only way they fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace engine {

// PBKDF2 with HMAC-SHA1 over `password` and `salt`, `outSize` bytes to `out`.
void Pbkdf2HmacSha1(const std::string& password, const uint8_t* salt, size_t saltSize, unsigned iterations,
                    uint8_t* out, size_t outSize);

// Overwrites key material in a way the compiler may not drop.
void WipeSecret(uint8_t* data, size_t size);

// One member's AES key and HMAC-SHA1 key, ready for use.
class AesPrimitives {
 public:
  static constexpr size_t kSha1Size = 20;
  static std::unique_ptr<AesPrimitives> Create(const uint8_t* aesKey, const uint8_t* macKey, size_t keySize);
  virtual ~AesPrimitives() = default;
  // Encrypts whole 16-byte blocks in place, each on its own.
  virtual void EncryptBlocks(uint8_t* data, size_t size) = 0;
  virtual void Mac(const uint8_t* data, size_t size) = 0;
  // The HMAC-SHA1 of everything given to Mac, kSha1Size bytes.
  virtual void MacCode(uint8_t* code) = 0;
};

}  // namespace engine
