// Feeds arbitrary bytes, in pieces of varying size, to the Deflate64 decoder on
// its own. Any crash, out-of-bounds access or hang is a finding; so is output
// handed on in a piece larger than the decoder's span.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "engines/unzdll/Deflate64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t piece = 1 + data[0] % 64;  // exercises refills mid-code
  ++data, --size;
  unzdll::Deflate64Decoder decoder;
  size_t offset = 0, produced = 0;
  auto input = [&](const uint8_t*& next, size_t& n) {
    next = data + offset;
    n = std::min(piece, size - offset);
    offset += n;
    return true;
  };
  auto output = [&](const uint8_t* bytes, size_t n) {
    if (n == 0 || n > (256u << 10) + unzdll::Deflate64Decoder::kMaxMatch) std::abort();
    volatile uint8_t touch = bytes[0] ^ bytes[n - 1];
    (void)touch;
    produced += n;
    return produced < (64u << 20);
  };
  decoder.Decode(input, output);
  return 0;
}
