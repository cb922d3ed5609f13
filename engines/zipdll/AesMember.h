// Writing AES-encrypted members: the salt and password verifier in front of the
// data, the authentication code behind it, and the header fields that say so
// (method 99, the 0x9901 block with the real method, version needed 5.1).
// Members of 20 bytes or more are written as version 2 (CRC left out, the code
// stands for it); smaller ones as version 1, whose CRC a reader may still check.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engines/common/AesStream.h"
#include "engines/common/EngineMember.h"

namespace zipdll {

// Key strength from a key length in bits (128, 192, 256): 1, 2, 3; 0 for others.
uint8_t AesStrength(uint32_t keyBits);

// Appends a fresh salt and its password verifier to `lead` and returns the stream
// that encrypts the member's data.
std::unique_ptr<engine::AesStream> StartAes(const std::string& password, uint8_t strength,
                                            std::vector<uint8_t>& lead);

// Salt, verifier, `data` encrypted, and the code.
std::vector<uint8_t> AesEncryptMember(const std::string& password, uint8_t strength,
                                      const std::vector<uint8_t>& data);

// Turns `h`, whose method, CRC and uncompressed size are those of the data under
// the encryption, into the header of its AES-encrypted form.
void SetAesHeader(engine::Member& h, uint8_t strength);

}  // namespace zipdll
