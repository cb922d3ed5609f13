#include "engines/zipdll/AesMember.h"

#include "platform/Random.h"
#include "zipformat/ExtraField.h"

namespace zipdll {
namespace {

// Below this size the CRC is kept (version 1): it costs nothing against the data.
constexpr uint64_t kAesVersion2From = 20;

}  // namespace

uint8_t AesStrength(uint32_t keyBits) {
  switch (keyBits) {
    case 128:
      return 1;
    case 192:
      return 2;
    case 256:
      return 3;
    default:
      return 0;
  }
}

std::unique_ptr<engine::AesStream> StartAes(const std::string& password, uint8_t strength,
                                            std::vector<uint8_t>& lead) {
  const size_t saltSize = engine::AesSaltSize(strength);
  const size_t at = lead.size();
  lead.resize(at + saltSize + engine::kAesVerifierSize);
  platform::SystemRandom(lead.data() + at, saltSize);
  return engine::AesStream::Derive(password, strength, lead.data() + at, lead.data() + at + saltSize);
}

std::vector<uint8_t> AesEncryptMember(const std::string& password, uint8_t strength,
                                      const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out;
  out.reserve(engine::kAesMaxSaltSize + engine::kAesVerifierSize + data.size() + engine::kAesCodeSize);
  std::unique_ptr<engine::AesStream> aes = StartAes(password, strength, out);
  const size_t at = out.size();
  out.insert(out.end(), data.begin(), data.end());
  aes->Encrypt(out.data() + at, data.size());
  out.resize(out.size() + engine::kAesCodeSize);
  aes->Code(out.data() + out.size() - engine::kAesCodeSize);
  return out;
}

void SetAesHeader(engine::Member& h, uint8_t strength) {
  zip::AesExtra aes;
  aes.version = h.uncompressedSize >= kAesVersion2From ? 2 : 1;
  aes.strength = strength;
  aes.method = h.method;
  const std::vector<uint8_t> block = zip::EncodeAesExtra(aes);
  h.extra.assign(block.begin(), block.end());
  h.method = zip::kMethodAes;
  h.versionNeeded = zip::kVersionNeededAes;
  if (aes.version == 2) h.crc = 0;
  h.aesVersion = aes.version;
  h.aesMethod = aes.method;
  h.aesStrength = strength;
}

}  // namespace zipdll
