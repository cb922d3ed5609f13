// make-pe-fixture OUTPUT [NAME=VALUE ...]: writes a small PE program whose version
// resource (language 0x0409, code page 0x04E4) holds the given strings.
#include <iostream>

#include "tests/support/PeFixture.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: make-pe-fixture OUTPUT [NAME=VALUE ...]\n";
    return 1;
  }
  fixtures::PeVersionSpec spec;
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    size_t eq = arg.find('=');
    if (eq == std::string::npos || eq == 0) {
      std::cerr << "make-pe-fixture: expected NAME=VALUE, got " << arg << "\n";
      return 1;
    }
    spec.strings.emplace_back(arg.substr(0, eq), arg.substr(eq + 1));
  }
  if (!fixtures::WritePeWithVersion(argv[1], spec)) {
    std::cerr << "make-pe-fixture: cannot write " << argv[1] << "\n";
    return 1;
  }
  return 0;
}
