// The AES primitives on Linux: AES and HMAC from OpenSSL's libcrypto (hardware
// AES and SHA-1), the key derivation from Nettle.
#include <nettle/pbkdf2.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <new>

#include "engines/common/AesPrimitives.h"
#include "engines/common/AesStream.h"

namespace engine {
namespace {

const EVP_CIPHER* BlockCipher(size_t keySize) {
  switch (keySize) {
    case 16:
      return EVP_aes_128_ecb();
    case 24:
      return EVP_aes_192_ecb();
    default:
      return EVP_aes_256_ecb();
  }
}

class LibcryptoPrimitives final : public AesPrimitives {
 public:
  LibcryptoPrimitives(const uint8_t* aesKey, const uint8_t* macKey, size_t keySize) {
    blocks_ = EVP_CIPHER_CTX_new();
    macKind_ = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    mac_ = macKind_ ? EVP_MAC_CTX_new(macKind_) : nullptr;
    char digest[] = "SHA1";
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                           OSSL_PARAM_construct_end()};
    const bool ready = blocks_ && mac_ &&
                       EVP_EncryptInit_ex(blocks_, BlockCipher(keySize), nullptr, aesKey, nullptr) == 1 &&
                       EVP_CIPHER_CTX_set_padding(blocks_, 0) == 1 &&
                       EVP_MAC_init(mac_, macKey, keySize, params) == 1;
    if (!ready) {
      Free();
      throw std::bad_alloc();
    }
  }
  ~LibcryptoPrimitives() override { Free(); }

  void EncryptBlocks(uint8_t* data, size_t size) override {
    int produced = 0;
    if (EVP_EncryptUpdate(blocks_, data, &produced, data, static_cast<int>(size)) != 1) throw std::bad_alloc();
  }
  void Mac(const uint8_t* data, size_t size) override {
    if (EVP_MAC_update(mac_, data, size) != 1) throw std::bad_alloc();
  }
  void MacCode(uint8_t* code) override {
    size_t length = 0;
    if (EVP_MAC_final(mac_, code, &length, kSha1Size) != 1 || length != kSha1Size) throw std::bad_alloc();
  }

 private:
  void Free() {
    EVP_CIPHER_CTX_free(blocks_);
    EVP_MAC_CTX_free(mac_);
    EVP_MAC_free(macKind_);
  }
  EVP_CIPHER_CTX* blocks_ = nullptr;
  EVP_MAC* macKind_ = nullptr;
  EVP_MAC_CTX* mac_ = nullptr;
};

}  // namespace

std::unique_ptr<AesPrimitives> AesPrimitives::Create(const uint8_t* aesKey, const uint8_t* macKey, size_t keySize) {
  return std::make_unique<LibcryptoPrimitives>(aesKey, macKey, keySize);
}

void Pbkdf2HmacSha1(const std::string& password, const uint8_t* salt, size_t saltSize, unsigned iterations,
                    uint8_t* out, size_t outSize) {
  // Nettle's PBKDF2 keeps the HMAC states between iterations and takes less
  // than half the time of libcrypto's; the derivation runs once per member.
  pbkdf2_hmac_sha1(password.size(), reinterpret_cast<const uint8_t*>(password.data()), iterations, saltSize,
                   salt, outSize, out);
}

void WipeSecret(uint8_t* data, size_t size) {
  OPENSSL_cleanse(data, size);
}

}  // namespace engine
