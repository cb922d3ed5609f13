#include "engines/common/AesStream.h"

#include <algorithm>
#include <cstring>

#include "engines/common/AesPrimitives.h"

namespace engine {
namespace {

constexpr unsigned kKeyIterations = 1000;
constexpr size_t kBlock = 16;
constexpr size_t kKeyStreamBlocks = 256;  // counter blocks encrypted per library call

size_t KeySize(uint8_t strength) {
  return strength >= 1 && strength <= 3 ? 8 + 8 * strength : 0;
}

}  // namespace

size_t AesSaltSize(uint8_t strength) {
  return KeySize(strength) / 2;
}

struct AesStream::Impl {
  std::unique_ptr<AesPrimitives> keys;
  uint8_t counter[kBlock] = {1};  // little-endian, the next block's
  uint8_t keyStream[kKeyStreamBlocks * kBlock];
  size_t keyStreamUsed = sizeof keyStream;
  void Refill() {
    for (size_t b = 0; b < kKeyStreamBlocks; ++b) {
      std::memcpy(keyStream + b * kBlock, counter, kBlock);
      for (uint8_t& byte : counter)
        if (++byte != 0) break;
    }
    // Counter mode runs the block cipher forwards whichever way the data goes.
    keys->EncryptBlocks(keyStream, sizeof keyStream);
    keyStreamUsed = 0;
  }
};

AesStream::AesStream() : impl_(std::make_unique<Impl>()) {}
AesStream::~AesStream() = default;

std::unique_ptr<AesStream> AesStream::Derive(const std::string& password, uint8_t strength,
                                             const uint8_t* salt, uint8_t* verifier) {
  const size_t keySize = KeySize(strength);
  if (!keySize) return nullptr;
  // The AES key, the HMAC key and the verifier, in this order.
  uint8_t derived[2 * 32 + kAesVerifierSize];
  Pbkdf2HmacSha1(password, salt, AesSaltSize(strength), kKeyIterations, derived,
                 2 * keySize + kAesVerifierSize);
  std::memcpy(verifier, derived + 2 * keySize, kAesVerifierSize);
  std::unique_ptr<AesStream> stream(new AesStream());
  try {
    stream->impl_->keys = AesPrimitives::Create(derived, derived + keySize, keySize);
  } catch (...) {
    WipeSecret(derived, sizeof derived);
    throw;
  }
  WipeSecret(derived, sizeof derived);
  return stream;
}

void AesStream::Xor(uint8_t* data, size_t size) {
  Impl& c = *impl_;
  while (size > 0) {
    if (c.keyStreamUsed == sizeof c.keyStream) c.Refill();
    const size_t n = std::min(size, sizeof c.keyStream - c.keyStreamUsed);
    const uint8_t* k = c.keyStream + c.keyStreamUsed;
    for (size_t i = 0; i < n; ++i) data[i] ^= k[i];
    data += n;
    size -= n;
    c.keyStreamUsed += n;
  }
}

void AesStream::Encrypt(uint8_t* data, size_t size) {
  Xor(data, size);
  impl_->keys->Mac(data, size);
}

void AesStream::Decrypt(uint8_t* data, size_t size) {
  impl_->keys->Mac(data, size);
  Xor(data, size);
}

void AesStream::Code(uint8_t* code) {
  uint8_t full[AesPrimitives::kSha1Size];
  impl_->keys->MacCode(full);
  std::memcpy(code, full, kAesCodeSize);
}

}  // namespace engine
