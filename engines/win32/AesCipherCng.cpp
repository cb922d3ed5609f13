// AesCipher on Windows CNG (bcrypt): PBKDF2-HMAC-SHA1 through
// BCryptDeriveKeyPBKDF2, AES blocks in ECB mode turned into the counter-mode
// key stream here, and HMAC-SHA1 through a keyed hash object. No crypto
// library ships beside the engine.
#include "engines/unzdll/AesCipher.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/win32/WindowsApi.h"

#include <bcrypt.h>  // after <windows.h>, which it needs

namespace unzdll {
namespace {

constexpr ULONGLONG kKeyIterations = 1000;
constexpr size_t kBlock = 16;
constexpr size_t kKeyStreamBlocks = 256;  // counter blocks encrypted per call
constexpr size_t kSha1Size = 20;

size_t KeySize(uint8_t strength) { return strength >= 1 && strength <= 3 ? 8 + 8 * strength : 0; }

bool Ok(NTSTATUS status) { return status >= 0; }

// The providers, opened once per process and kept.
struct Providers {
  BCRYPT_ALG_HANDLE aes = nullptr;
  BCRYPT_ALG_HANDLE hmac = nullptr;
  Providers() {
    if (!Ok(BCryptOpenAlgorithmProvider(&aes, BCRYPT_AES_ALGORITHM, nullptr, 0)) ||
        !Ok(BCryptSetProperty(aes, BCRYPT_CHAINING_MODE, reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_ECB)),
                              sizeof(BCRYPT_CHAIN_MODE_ECB), 0)))
      aes = nullptr;
    if (!Ok(BCryptOpenAlgorithmProvider(&hmac, BCRYPT_SHA1_ALGORITHM, nullptr, BCRYPT_ALG_HANDLE_HMAC_FLAG)))
      hmac = nullptr;
  }
};

const Providers& TheProviders() {
  static const Providers providers;
  return providers;
}

}  // namespace

size_t AesSaltSize(uint8_t strength) { return KeySize(strength) / 2; }

struct AesCipher::Impl {
  BCRYPT_KEY_HANDLE key = nullptr;
  BCRYPT_HASH_HANDLE mac = nullptr;
  uint8_t counter[kBlock] = {};  // little-endian, the next block's
  uint8_t keyStream[kKeyStreamBlocks * kBlock];
  size_t keyStreamUsed = sizeof keyStream;
  uint8_t expected[kAesCodeSize] = {};
  ~Impl() {
    if (key) BCryptDestroyKey(key);
    if (mac) BCryptDestroyHash(mac);
  }
};

AesCipher::AesCipher() : impl_(std::make_unique<Impl>()) {}
AesCipher::~AesCipher() = default;

std::unique_ptr<AesCipher> AesCipher::Unlock(const std::string& password, uint8_t strength,
                                             const uint8_t* salt, const uint8_t* verifier) {
  const size_t keySize = KeySize(strength);
  if (!keySize) return nullptr;
  const Providers& providers = TheProviders();
  if (!providers.aes || !providers.hmac) throw std::bad_alloc();
  // The AES key, the HMAC key and the verifier, in this order.
  uint8_t derived[2 * 32 + kAesVerifierSize];
  const size_t derivedSize = 2 * keySize + kAesVerifierSize;
  if (!Ok(BCryptDeriveKeyPBKDF2(providers.hmac, reinterpret_cast<PUCHAR>(const_cast<char*>(password.data())),
                                static_cast<ULONG>(password.size()), const_cast<PUCHAR>(salt),
                                static_cast<ULONG>(AesSaltSize(strength)), kKeyIterations, derived,
                                static_cast<ULONG>(derivedSize), 0)))
    throw std::bad_alloc();
  if (std::memcmp(derived + 2 * keySize, verifier, kAesVerifierSize) != 0) {
    SecureZeroMemory(derived, sizeof derived);
    return nullptr;
  }
  std::unique_ptr<AesCipher> cipher(new AesCipher());
  Impl& c = *cipher->impl_;
  c.counter[0] = 1;
  const bool ready =
      Ok(BCryptGenerateSymmetricKey(providers.aes, &c.key, nullptr, 0, derived, static_cast<ULONG>(keySize), 0)) &&
      Ok(BCryptCreateHash(providers.hmac, &c.mac, nullptr, 0, derived + keySize, static_cast<ULONG>(keySize), 0));
  SecureZeroMemory(derived, sizeof derived);
  if (!ready) throw std::bad_alloc();
  return cipher;
}

void AesCipher::ExpectCode(const uint8_t* code) { std::memcpy(impl_->expected, code, kAesCodeSize); }

void AesCipher::RefillKeyStream() {
  Impl& c = *impl_;
  for (size_t b = 0; b < kKeyStreamBlocks; ++b) {
    std::memcpy(c.keyStream + b * kBlock, c.counter, kBlock);
    for (uint8_t& byte : c.counter)
      if (++byte != 0) break;
  }
  ULONG produced = 0;
  // Counter mode runs the block cipher forwards whichever way the data goes.
  if (!Ok(BCryptEncrypt(c.key, c.keyStream, sizeof c.keyStream, nullptr, nullptr, 0, c.keyStream,
                        sizeof c.keyStream, &produced, 0)))
    throw std::bad_alloc();
  c.keyStreamUsed = 0;
}

void AesCipher::Decrypt(uint8_t* data, size_t size) {
  Impl& c = *impl_;
  for (size_t done = 0; done < size;) {  // the hash takes 32-bit lengths
    const ULONG piece = static_cast<ULONG>(std::min<size_t>(size - done, 1u << 30));
    if (!Ok(BCryptHashData(c.mac, data + done, piece, 0))) throw std::bad_alloc();
    done += piece;
  }
  while (size > 0) {
    if (c.keyStreamUsed == sizeof c.keyStream) RefillKeyStream();
    const size_t n = std::min(size, sizeof c.keyStream - c.keyStreamUsed);
    const uint8_t* k = c.keyStream + c.keyStreamUsed;
    for (size_t i = 0; i < n; ++i) data[i] ^= k[i];
    data += n;
    size -= n;
    c.keyStreamUsed += n;
  }
}

bool AesCipher::Authentic() {
  uint8_t code[kSha1Size];
  if (!Ok(BCryptFinishHash(impl_->mac, code, sizeof code, 0))) return false;
  // Compared in full whatever differs first: the time tells nothing.
  uint8_t difference = 0;
  for (size_t i = 0; i < kAesCodeSize; ++i) difference |= code[i] ^ impl_->expected[i];
  return difference == 0;
}

}  // namespace unzdll
