// The extra-field area of local and central headers: a run of blocks, each a
// 16-bit id, a 16-bit length and that many bytes of data.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "zipformat/Status.h"

namespace zip {

struct ExtraBlock {
  uint16_t id = 0;
  std::span<const uint8_t> data;
};

// Walks the blocks of an extra area. A block whose length runs past the area
// ends the walk with Status::kBadExtraField; trailing bytes too short for a
// block header (padding some writers leave) end it quietly.
class ExtraFieldReader {
 public:
  explicit ExtraFieldReader(std::span<const uint8_t> area) : area_(area) {}
  // The next block, or nullopt at the end or on damage (see status()).
  std::optional<ExtraBlock> Next();
  Status status() const { return status_; }

 private:
  std::span<const uint8_t> area_;
  size_t pos_ = 0;
  Status status_ = Status::kOk;
};

// The data of the first block with `id`, if any.
std::optional<std::span<const uint8_t>> FindExtra(std::span<const uint8_t> area, uint16_t id);

// The area without its blocks of `id` (used when a rewrite changes what they
// describe). Damaged trailing bytes are kept as they were.
std::vector<uint8_t> WithoutExtra(std::span<const uint8_t> area, uint16_t id);

// ZIP64 values. The block holds 8-byte values for exactly the fields that are
// saturated in the header, in this order: uncompressed size, compressed size,
// local header offset; then a 4-byte disk number.
struct Zip64Fields {
  bool uncompressed = false, compressed = false, offset = false, disk = false;
  bool Any() const { return uncompressed || compressed || offset || disk; }
};
struct Zip64Values {
  uint64_t uncompressed = 0, compressed = 0, offset = 0;
  uint32_t disk = 0;
};
Status DecodeZip64Extra(std::span<const uint8_t> data, Zip64Fields wanted, Zip64Values& out);
// The block (id and length included) for the given values.
std::vector<uint8_t> EncodeZip64Extra(Zip64Fields present, const Zip64Values& values);
// The fields of a central header that cannot hold these values (one on one
// disk): those at 0xFFFFFFFF or above, which that value itself would mean
// "in the block".
Zip64Fields CentralZip64Fields(const Zip64Values& values);
// A local header's block holds both sizes or neither.
constexpr Zip64Fields kLocalZip64Fields{true, true, false, false};

// Modification time (Unix seconds) from a timestamp block, when it carries one.
std::optional<uint32_t> DecodeTimestampExtra(std::span<const uint8_t> data);

// NTFS times: four reserved bytes, then tagged attributes (a 16-bit tag, a
// 16-bit size, that many bytes); tag 1 holds three 64-bit times in 100 ns
// units since 1601: modification, access, creation. `at` is where the
// modification time lies in the block's data, for a caller that rewrites it.
struct NtfsTimes {
  uint64_t modification = 0, access = 0, creation = 0;
  size_t at = 0;
};
// kOk with the times of the first tag 1; kTruncated when the block is shorter
// than its reserved bytes or tag 1 is shorter than three times; kBadExtraField
// when a tag's size runs past the block before tag 1; kNotFound without tag 1.
Status DecodeNtfsExtra(std::span<const uint8_t> data, NtfsTimes& out);

// Unix owner: from the block with ids of any width up to 8 bytes, or from the
// fixed 16-bit ids of the older Unix block.
struct UnixOwner {
  uint64_t uid = 0, gid = 0;
};
std::optional<UnixOwner> DecodeUnixOwnerExtra(std::span<const uint8_t> data);
// The older Unix block: access and modification times, then 16-bit uid and gid.
struct UnixExtra {
  uint32_t accessTime = 0, modificationTime = 0;
  uint16_t uid = 0, gid = 0;
  std::span<const uint8_t> variable;  // link target or device numbers
};
std::optional<UnixExtra> DecodeUnixExtra(std::span<const uint8_t> data);

// AES encryption parameters (method 99): the vendor version (1 or 2; version 2
// leaves the CRC out), the key strength (1, 2, 3 for 128, 192, 256-bit keys)
// and the compression method of the data under the encryption. Nullopt for a
// block that is short, not marked "AE" or of another version.
struct AesExtra {
  uint16_t version = 0;
  uint8_t strength = 0;
  uint16_t method = 0;
};
std::optional<AesExtra> DecodeAesExtra(std::span<const uint8_t> data);
// The block (id and length included) for `aes`.
std::vector<uint8_t> EncodeAesExtra(const AesExtra& aes);
// The version needed to extract an AES-encrypted member.
constexpr uint16_t kVersionNeededAes = 51;

// The UTF-8 name some writers add beside the stored one, with the CRC-32 of the
// stored name it was made for. Nullopt for a short, empty or other-version block.
struct UnicodePathExtra {
  uint32_t nameCrc = 0;
  std::span<const uint8_t> name;
};
std::optional<UnicodePathExtra> DecodeUnicodePathExtra(std::span<const uint8_t> data);

}  // namespace zip
