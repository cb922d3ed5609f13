// The AES primitives on Windows CNG (bcrypt): PBKDF2-HMAC-SHA1 through
// BCryptDeriveKeyPBKDF2, AES blocks in ECB mode, HMAC-SHA1 through a keyed
// hash object. No crypto library ships
// beside the engines.
#include <algorithm>
#include <new>

#include "engines/common/AesPrimitives.h"
#include "engines/common/AesStream.h"
#include "platform/win32/WindowsApi.h"

#include <bcrypt.h>  // after <windows.h>, which it needs

namespace engine {
namespace {

constexpr size_t kPiece = 1u << 30;  // the calls take 32-bit lengths

bool Ok(NTSTATUS status) { return status >= 0; }

// The providers, opened once per process and kept.
struct Providers {
  BCRYPT_ALG_HANDLE aes = nullptr;
  BCRYPT_ALG_HANDLE hmac = nullptr;
  Providers() {
    static const wchar_t kEcb[] = BCRYPT_CHAIN_MODE_ECB;
    if (!Ok(BCryptOpenAlgorithmProvider(&aes, BCRYPT_AES_ALGORITHM, nullptr, 0)) ||
        !Ok(BCryptSetProperty(aes, BCRYPT_CHAINING_MODE, reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(kEcb)),
                              sizeof kEcb, 0)))
      aes = nullptr;
    if (!Ok(BCryptOpenAlgorithmProvider(&hmac, BCRYPT_SHA1_ALGORITHM, nullptr, BCRYPT_ALG_HANDLE_HMAC_FLAG)))
      hmac = nullptr;
  }
};

const Providers& TheProviders() {
  static const Providers providers;
  if (!providers.aes || !providers.hmac) throw std::bad_alloc();
  return providers;
}

class CngPrimitives final : public AesPrimitives {
 public:
  CngPrimitives(const uint8_t* aesKey, const uint8_t* macKey, size_t keySize) {
    const Providers& providers = TheProviders();
    const ULONG size = static_cast<ULONG>(keySize);
    if (!Ok(BCryptGenerateSymmetricKey(providers.aes, &key_, nullptr, 0, const_cast<PUCHAR>(aesKey), size, 0)) ||
        !Ok(BCryptCreateHash(providers.hmac, &mac_, nullptr, 0, const_cast<PUCHAR>(macKey), size, 0))) {
      Free();
      throw std::bad_alloc();
    }
  }
  ~CngPrimitives() override { Free(); }

  void EncryptBlocks(uint8_t* data, size_t size) override {
    ULONG produced = 0;
    const ULONG length = static_cast<ULONG>(size);
    if (!Ok(BCryptEncrypt(key_, data, length, nullptr, nullptr, 0, data, length, &produced, 0)))
      throw std::bad_alloc();
  }
  void Mac(const uint8_t* data, size_t size) override {
    for (size_t done = 0; done < size;) {
      const ULONG piece = static_cast<ULONG>(std::min(size - done, kPiece));
      if (!Ok(BCryptHashData(mac_, const_cast<PUCHAR>(data + done), piece, 0))) throw std::bad_alloc();
      done += piece;
    }
  }
  void MacCode(uint8_t* code) override {
    if (!Ok(BCryptFinishHash(mac_, code, kSha1Size, 0))) throw std::bad_alloc();
  }

 private:
  void Free() {
    if (key_) BCryptDestroyKey(key_);
    if (mac_) BCryptDestroyHash(mac_);
  }
  BCRYPT_KEY_HANDLE key_ = nullptr;
  BCRYPT_HASH_HANDLE mac_ = nullptr;
};

}  // namespace

std::unique_ptr<AesPrimitives> AesPrimitives::Create(const uint8_t* aesKey, const uint8_t* macKey, size_t keySize) {
  return std::make_unique<CngPrimitives>(aesKey, macKey, keySize);
}

void Pbkdf2HmacSha1(const std::string& password, const uint8_t* salt, size_t saltSize, unsigned iterations,
                    uint8_t* out, size_t outSize) {
  if (!Ok(BCryptDeriveKeyPBKDF2(TheProviders().hmac, reinterpret_cast<PUCHAR>(const_cast<char*>(password.data())),
                                static_cast<ULONG>(password.size()), const_cast<PUCHAR>(salt),
                                static_cast<ULONG>(saltSize), iterations, out, static_cast<ULONG>(outSize), 0)))
    throw std::bad_alloc();
}

void WipeSecret(uint8_t* data, size_t size) { SecureZeroMemory(data, size); }

}  // namespace engine
