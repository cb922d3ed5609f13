// The AES decryption of a member: its keys unlocked by the password verifier,
// its data checked against the code stored behind it.
#pragma once

#include <cstring>
#include <memory>

#include "engines/common/AesStream.h"
#include "engines/unzdll/MemberCipher.h"

namespace unzdll {

using engine::AesSaltSize;
using engine::kAesCodeSize;
using engine::kAesMaxSaltSize;
using engine::kAesVerifierSize;

class AesCipher : public MemberCipher {
 public:
  // Keys from `password` and `salt`; null when the derived verifier differs from
  // `verifier`, i.e. the password is wrong.
  static std::unique_ptr<AesCipher> Unlock(const std::string& password, uint8_t strength,
                                           const uint8_t* salt, const uint8_t* verifier) {
    uint8_t derived[kAesVerifierSize];
    std::unique_ptr<engine::AesStream> stream = engine::AesStream::Derive(password, strength, salt, derived);
    if (!stream || std::memcmp(derived, verifier, kAesVerifierSize) != 0) return nullptr;
    return std::unique_ptr<AesCipher>(new AesCipher(std::move(stream)));
  }

  // The code stored behind the encrypted data, compared by Authentic().
  void ExpectCode(const uint8_t* code) { std::memcpy(expected_, code, kAesCodeSize); }
  void Decrypt(uint8_t* data, size_t size) override { stream_->Decrypt(data, size); }
  bool Authentic() override {
    uint8_t code[kAesCodeSize];
    stream_->Code(code);
    uint8_t differs = 0;  // every byte compared: the time tells nothing
    for (size_t i = 0; i < kAesCodeSize; ++i) differs |= code[i] ^ expected_[i];
    return differs == 0;
  }

 private:
  explicit AesCipher(std::unique_ptr<engine::AesStream> stream) : stream_(std::move(stream)) {}

  std::unique_ptr<engine::AesStream> stream_;
  uint8_t expected_[kAesCodeSize] = {};
};

}  // namespace unzdll
