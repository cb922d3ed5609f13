#include "installer/PackageSignature.h"

#include <nettle/eddsa.h>
#include <nettle/sha2.h>

#include <cctype>
#include <vector>

#include "platform/CodePage.h"
#include "platform/Random.h"

namespace installer {
namespace {

std::string Hex(const uint8_t* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
  }
  return out;
}

// Exactly `size` bytes from hex text (surrounding white space ignored), or false.
bool FromHex(std::string text, uint8_t* out, size_t size) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.erase(0, 1);
  if (text.size() != 2 * size) return false;
  for (size_t i = 0; i < size; ++i) {
    int high = platform::HexDigit(text[2 * i]), low = platform::HexDigit(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    out[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return true;
}

// The file's SHA-512 digest; false when it cannot be read to its end.
bool Digest(platform::FileSystem& fs, const std::string& path, uint8_t* digest) {
  platform::FileHandle h =
      fs.Open(path, platform::Access::Read, platform::Share::Read, platform::Disposition::OpenExisting);
  if (h == platform::kInvalidHandle) return false;
  sha512_ctx hash;
  sha512_init(&hash);
  std::vector<uint8_t> buffer(1 << 20);
  int64_t n;
  while ((n = fs.Read(h, buffer.data(), buffer.size())) > 0) sha512_update(&hash, static_cast<size_t>(n), buffer.data());
  fs.Close(h);
  if (n < 0) return false;
  sha512_digest(&hash, SHA512_DIGEST_SIZE, digest);
  return true;
}

}  // namespace

KeyPair NewKeyPair() {
  uint8_t secret[ED25519_KEY_SIZE], pub[ED25519_KEY_SIZE];
  platform::SystemRandom(secret, sizeof secret);
  ed25519_sha512_public_key(pub, secret);
  return {Hex(secret, sizeof secret), Hex(pub, sizeof pub)};
}

std::optional<std::string> SignFile(platform::FileSystem& fs, const std::string& privateKey,
                                    const std::string& path) {
  uint8_t secret[ED25519_KEY_SIZE], pub[ED25519_KEY_SIZE], digest[SHA512_DIGEST_SIZE];
  uint8_t signature[ED25519_SIGNATURE_SIZE];
  if (!FromHex(privateKey, secret, sizeof secret) || !Digest(fs, path, digest)) return std::nullopt;
  ed25519_sha512_public_key(pub, secret);
  ed25519_sha512_sign(pub, secret, sizeof digest, digest, signature);
  return Hex(signature, sizeof signature);
}

bool SignatureMatches(platform::FileSystem& fs, const std::string& publicKey, const std::string& signature,
                      const std::string& path) {
  uint8_t pub[ED25519_KEY_SIZE], sig[ED25519_SIGNATURE_SIZE], digest[SHA512_DIGEST_SIZE];
  return FromHex(publicKey, pub, sizeof pub) && FromHex(signature, sig, sizeof sig) &&
         Digest(fs, path, digest) && ed25519_sha512_verify(pub, sizeof digest, digest, sig) == 1;
}

}  // namespace installer
