// Signed packages: a maker's Ed25519 key pair, the detached signature of a
// package file, and its check. What is signed is the file's SHA-512 digest, so
// that a package of any size is read once, in pieces. Keys and signatures are
// stored as one line of lower-case hex: 32 bytes for a key (the private key is
// its seed), 64 for a signature.
#pragma once

#include <optional>
#include <string>

#include "platform/FileSystem.h"

namespace installer {

struct KeyPair {
  std::string privateKey, publicKey;  // hex
};

// A new pair from the system's random source.
KeyPair NewKeyPair();

// The signature (hex) of the file at `path` by `privateKey` (hex); nullopt when
// the key is malformed or the file cannot be read.
std::optional<std::string> SignFile(platform::FileSystem& fs, const std::string& privateKey,
                                    const std::string& path);

// True when `signature` is `publicKey`'s signature of the file at `path`.
bool SignatureMatches(platform::FileSystem& fs, const std::string& publicKey, const std::string& signature,
                      const std::string& path);

}  // namespace installer
