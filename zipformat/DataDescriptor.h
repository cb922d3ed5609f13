// The data descriptor behind a member written in one pass (flag bit 3): CRC and
// sizes, with or without its signature, with 4-byte or 8-byte (ZIP64) sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace zip {

// The longest form: signature, CRC and two 8-byte sizes.
constexpr size_t kMaxDataDescriptorSize = 24;

struct DescriptorValues {
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
};

struct DescriptorForm {
  size_t length = 0;  // 12, 16, 20 or kMaxDataDescriptorSize bytes
  bool signature = false;
  bool zip64 = false;
};

// Tells which form lies at the start of `bytes` (the bytes directly behind the
// member's data) by its signature and by the values the central header gives:
// the form whose CRC and sizes agree with `expected`. Without agreement it
// falls back on the signature alone (16 bytes with it, 12 without) when
// `bytes` holds that many, else nullopt.
std::optional<DescriptorForm> MeasureDataDescriptor(std::span<const uint8_t> bytes,
                                                    const DescriptorValues& expected);

// The form the format prescribes for a member: 8-byte sizes when its local
// header's extra field carries a ZIP64 block, the signature when the
// descriptor's first four bytes are it. For readers that cannot look ahead.
DescriptorForm PrescribedDataDescriptor(std::span<const uint8_t> localExtra, uint32_t firstWord);

// Decodes a descriptor of a known form.
DescriptorValues DecodeDataDescriptor(std::span<const uint8_t> bytes, DescriptorForm form);

// Writes the descriptor with its signature: 16 bytes, or 24 with `zip64`.
// `out` must hold that many.
size_t EncodeDataDescriptor(const DescriptorValues& values, bool zip64, uint8_t* out);

}  // namespace zip
