// AES encryption of members (method 99 with extra field 0x9901): keys derived by
// PBKDF2-HMAC-SHA1 from the password and the member's salt, a two-byte password
// verifier, AES in counter mode with a little-endian counter starting at 1, and a
// 10-byte HMAC-SHA1 code over the encrypted data. The crypto library behind it
// is the platform's (AesPrimitives.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace engine {

constexpr size_t kAesVerifierSize = 2, kAesCodeSize = 10;
// The salt in front of the verifier: 8, 12 or 16 bytes by key strength.
constexpr size_t kAesMaxSaltSize = 16;

// Salt length for key strength 1 (128 bits), 2 (192) or 3 (256); 0 for any other.
size_t AesSaltSize(uint8_t strength);

class AesStream {
 public:
  // Keys from `password` and `salt` (AesSaltSize(strength) bytes); the derived
  // password verifier goes to `verifier`. Null for an unknown strength.
  static std::unique_ptr<AesStream> Derive(const std::string& password, uint8_t strength,
                                           const uint8_t* salt, uint8_t* verifier);
  ~AesStream();
  AesStream(const AesStream&) = delete;
  AesStream& operator=(const AesStream&) = delete;

  // The code covers the encrypted bytes: Encrypt takes them after, Decrypt before.
  void Encrypt(uint8_t* data, size_t size);
  void Decrypt(uint8_t* data, size_t size);
  // The authentication code of everything that went through so far.
  void Code(uint8_t* code);

 private:
  AesStream();
  void Xor(uint8_t* data, size_t size);

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace engine
