#include "engines/common/AesStream.h"

#include <nettle/pbkdf2.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>

namespace engine {
namespace {

constexpr int kKeyIterations = 1000;
constexpr size_t kBlock = 16;
constexpr size_t kKeyStreamBlocks = 256;  // counter blocks encrypted per OpenSSL call
constexpr size_t kSha1Size = 20;

size_t KeySize(uint8_t strength) {
  return strength >= 1 && strength <= 3 ? 8 + 8 * strength : 0;
}

const EVP_CIPHER* BlockCipher(uint8_t strength) {
  switch (strength) {
    case 1:
      return EVP_aes_128_ecb();
    case 2:
      return EVP_aes_192_ecb();
    default:
      return EVP_aes_256_ecb();
  }
}

}  // namespace

size_t AesSaltSize(uint8_t strength) {
  return KeySize(strength) / 2;
}

void SystemRandom(uint8_t* out, size_t size) {
  while (size > 0) {
    ssize_t n = ::getrandom(out, size, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("The system's random source failed");
    }
    out += n;
    size -= static_cast<size_t>(n);
  }
}

struct AesStream::Impl {
  EVP_CIPHER_CTX* blocks = nullptr;
  EVP_MAC* macKind = nullptr;
  EVP_MAC_CTX* mac = nullptr;
  uint8_t counter[kBlock] = {};  // little-endian, the next block's
  uint8_t keyStream[kKeyStreamBlocks * kBlock];
  size_t keyStreamUsed = sizeof keyStream;
  ~Impl() {
    EVP_CIPHER_CTX_free(blocks);
    EVP_MAC_CTX_free(mac);
    EVP_MAC_free(macKind);
  }
  void Refill() {
    for (size_t b = 0; b < kKeyStreamBlocks; ++b) {
      std::memcpy(keyStream + b * kBlock, counter, kBlock);
      for (uint8_t& byte : counter)
        if (++byte != 0) break;
    }
    int produced = 0;
    // Counter mode runs the block cipher forwards whichever way the data goes.
    if (EVP_EncryptUpdate(blocks, keyStream, &produced, keyStream, sizeof keyStream) != 1)
      throw std::bad_alloc();
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
  const size_t derivedSize = 2 * keySize + kAesVerifierSize;
  // Nettle's PBKDF2 keeps the HMAC states between iterations and takes less
  // than half the time of libcrypto's; the derivation runs once per member.
  pbkdf2_hmac_sha1(password.size(), reinterpret_cast<const uint8_t*>(password.data()), kKeyIterations,
                   AesSaltSize(strength), salt, derivedSize, derived);
  std::memcpy(verifier, derived + 2 * keySize, kAesVerifierSize);
  std::unique_ptr<AesStream> stream(new AesStream());
  Impl& c = *stream->impl_;
  c.counter[0] = 1;
  c.blocks = EVP_CIPHER_CTX_new();
  c.macKind = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  c.mac = c.macKind ? EVP_MAC_CTX_new(c.macKind) : nullptr;
  char digest[] = "SHA1";
  OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                         OSSL_PARAM_construct_end()};
  const bool ready =
      c.blocks && c.mac &&
      EVP_EncryptInit_ex(c.blocks, BlockCipher(strength), nullptr, derived, nullptr) == 1 &&
      EVP_CIPHER_CTX_set_padding(c.blocks, 0) == 1 &&
      EVP_MAC_init(c.mac, derived + keySize, keySize, params) == 1;
  OPENSSL_cleanse(derived, sizeof derived);
  if (!ready) throw std::bad_alloc();
  return stream;
}

void AesStream::Mac(const uint8_t* data, size_t size) {
  if (EVP_MAC_update(impl_->mac, data, size) != 1) throw std::bad_alloc();
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
  Mac(data, size);
}

void AesStream::Decrypt(uint8_t* data, size_t size) {
  Mac(data, size);
  Xor(data, size);
}

void AesStream::Code(uint8_t* code) {
  uint8_t full[EVP_MAX_MD_SIZE];
  size_t length = 0;
  if (EVP_MAC_final(impl_->mac, full, &length, sizeof full) != 1 || length < kSha1Size)
    throw std::bad_alloc();
  std::memcpy(code, full, kAesCodeSize);
}

}  // namespace engine
