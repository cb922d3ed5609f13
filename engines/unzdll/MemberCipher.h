// Decryption of one member's data as it is read: the traditional stream cipher or
// AES. Ciphers that carry an authentication code check it once all data went
// through Decrypt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "zipformat/TraditionalCrypto.h"

namespace unzdll {

class MemberCipher {
 public:
  virtual ~MemberCipher() = default;
  // Decrypts the next `size` bytes of the member's data in place.
  virtual void Decrypt(uint8_t* data, size_t size) = 0;
  // True when the data decrypted so far is all of it and authentic.
  virtual bool Authentic() { return true; }
};

// The traditional cipher, keyed past its 12-byte header. It has no authentication.
class TraditionalCipher : public MemberCipher {
 public:
  explicit TraditionalCipher(const zip::TraditionalCrypto& keys) : keys_(keys) {}
  void Decrypt(uint8_t* data, size_t size) override { keys_.Decrypt(data, size); }

 private:
  zip::TraditionalCrypto keys_;
};

}  // namespace unzdll
