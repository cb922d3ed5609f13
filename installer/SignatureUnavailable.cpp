// The Windows build has no signature library (Nettle is not built for Windows).
// CMake refuses a maker's key there, so the installer never asks for a check;
// should it, the package counts as unsigned and is refused.
#include <stdexcept>

#include "installer/PackageSignature.h"

namespace installer {

KeyPair NewKeyPair() { throw std::runtime_error("signing keys are made by the Linux build"); }

std::optional<std::string> SignFile(platform::FileSystem&, const std::string&, const std::string&) {
  return std::nullopt;
}

bool SignatureMatches(platform::FileSystem&, const std::string&, const std::string&, const std::string&) {
  return false;
}

}  // namespace installer
