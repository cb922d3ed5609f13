// AesStream on Windows CNG (bcrypt): PBKDF2-HMAC-SHA1 through
// BCryptDeriveKeyPBKDF2, AES blocks in ECB mode turned into the counter-mode
// key stream here, HMAC-SHA1 through a keyed hash object, random bytes from
// BCryptGenRandom. No crypto library ships beside the engines.
#include "engines/common/AesStream.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "platform/win32/WindowsApi.h"

#include <bcrypt.h>  // after <windows.h>, which it needs

namespace engine {
namespace {

constexpr ULONGLONG kKeyIterations = 1000;
constexpr size_t kBlock = 16;
constexpr size_t kKeyStreamBlocks = 256;  // counter blocks encrypted per call
constexpr size_t kSha1Size = 20;
constexpr size_t kPiece = 1u << 30;  // the calls take 32-bit lengths

size_t KeySize(uint8_t strength) { return strength >= 1 && strength <= 3 ? 8 + 8 * strength : 0; }

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
  return providers;
}

}  // namespace

size_t AesSaltSize(uint8_t strength) { return KeySize(strength) / 2; }

void SystemRandom(uint8_t* out, size_t size) {
  for (size_t done = 0; done < size;) {
    const ULONG piece = static_cast<ULONG>(std::min(size - done, kPiece));
    if (!Ok(BCryptGenRandom(nullptr, out + done, piece, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
      throw std::runtime_error("The system's random source failed");
    done += piece;
  }
}

struct AesStream::Impl {
  BCRYPT_KEY_HANDLE key = nullptr;
  BCRYPT_HASH_HANDLE mac = nullptr;
  uint8_t counter[kBlock] = {};  // little-endian, the next block's
  uint8_t keyStream[kKeyStreamBlocks * kBlock];
  size_t keyStreamUsed = sizeof keyStream;
  ~Impl() {
    if (key) BCryptDestroyKey(key);
    if (mac) BCryptDestroyHash(mac);
  }
  void Refill() {
    for (size_t b = 0; b < kKeyStreamBlocks; ++b) {
      std::memcpy(keyStream + b * kBlock, counter, kBlock);
      for (uint8_t& byte : counter)
        if (++byte != 0) break;
    }
    ULONG produced = 0;
    // Counter mode runs the block cipher forwards whichever way the data goes.
    if (!Ok(BCryptEncrypt(key, keyStream, sizeof keyStream, nullptr, nullptr, 0, keyStream, sizeof keyStream,
                          &produced, 0)))
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
  std::memcpy(verifier, derived + 2 * keySize, kAesVerifierSize);
  std::unique_ptr<AesStream> stream(new AesStream());
  Impl& c = *stream->impl_;
  c.counter[0] = 1;
  const bool ready =
      Ok(BCryptGenerateSymmetricKey(providers.aes, &c.key, nullptr, 0, derived, static_cast<ULONG>(keySize), 0)) &&
      Ok(BCryptCreateHash(providers.hmac, &c.mac, nullptr, 0, derived + keySize, static_cast<ULONG>(keySize), 0));
  SecureZeroMemory(derived, sizeof derived);
  if (!ready) throw std::bad_alloc();
  return stream;
}

void AesStream::Mac(const uint8_t* data, size_t size) {
  for (size_t done = 0; done < size;) {
    const ULONG piece = static_cast<ULONG>(std::min(size - done, kPiece));
    if (!Ok(BCryptHashData(impl_->mac, const_cast<PUCHAR>(data + done), piece, 0))) throw std::bad_alloc();
    done += piece;
  }
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
  uint8_t full[kSha1Size];
  if (!Ok(BCryptFinishHash(impl_->mac, full, sizeof full, 0))) throw std::bad_alloc();
  std::memcpy(code, full, kAesCodeSize);
}

}  // namespace engine
