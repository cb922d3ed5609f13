// AES encryption of members (method 99 with extra field 0x9901): keys derived by
// PBKDF2-HMAC-SHA1 from the password and the member's salt, a two-byte password
// verifier, AES in counter mode with a little-endian counter starting at 1, and a
// 10-byte HMAC-SHA1 code over the encrypted data. AES and HMAC come from
// OpenSSL's libcrypto (hardware AES and SHA-1), the key derivation from Nettle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engines/unzdll/MemberCipher.h"

namespace unzdll {

constexpr size_t kAesVerifierSize = 2, kAesCodeSize = 10;
// The salt in front of the verifier: 8, 12 or 16 bytes by key strength.
constexpr size_t kAesMaxSaltSize = 16;

// Salt length for key strength 1 (128 bits), 2 (192) or 3 (256); 0 for any other.
size_t AesSaltSize(uint8_t strength);

class AesCipher : public MemberCipher {
 public:
  // Keys from `password` and `salt` (AesSaltSize(strength) bytes); null when the
  // derived verifier differs from `verifier`, i.e. the password is wrong.
  static std::unique_ptr<AesCipher> Unlock(const std::string& password, uint8_t strength,
                                           const uint8_t* salt, const uint8_t* verifier);
  ~AesCipher() override;
  AesCipher(const AesCipher&) = delete;
  AesCipher& operator=(const AesCipher&) = delete;

  // The code stored behind the encrypted data, compared by Authentic().
  void ExpectCode(const uint8_t* code);
  void Decrypt(uint8_t* data, size_t size) override;
  bool Authentic() override;

 private:
  AesCipher();
  void RefillKeyStream();

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace unzdll
