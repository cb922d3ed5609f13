#include "zipformat/PeVersion.h"

#include "zipformat/ByteOrder.h"

namespace zip {
namespace {

constexpr size_t kValueLengthAt = 2;
constexpr size_t kTypeAt = 4;
constexpr size_t kKeyAt = 6;

size_t Align4(size_t n) { return (n + 3) & ~size_t{3}; }

}  // namespace

std::u16string Utf16LeUnits(const uint8_t* begin, const uint8_t* end) {
  std::u16string units;
  for (const uint8_t* p = begin; p + 1 < end; p += 2) {
    const uint16_t unit = Load16(p);
    if (unit == 0) break;
    units += static_cast<char16_t>(unit);
  }
  return units;
}

std::optional<VersionNode> ParseVersionNode(std::span<const uint8_t> block, size_t at, size_t limit) {
  if (at + kKeyAt > limit) return std::nullopt;
  VersionNode n;
  n.begin = at;
  const uint16_t length = Load16(&block[at]);
  if (length < kKeyAt || at + length > limit) return std::nullopt;
  n.end = at + length;
  n.valueLength = Load16(&block[at + kValueLengthAt]);
  n.type = Load16(&block[at + kTypeAt]);
  size_t p = at + kKeyAt;
  while (p + 1 < n.end && Load16(&block[p]) != 0) p += 2;
  if (p + 1 >= n.end) return std::nullopt;  // key without terminator
  n.key = Utf16LeUnits(&block[at + kKeyAt], &block[p]);
  n.valueAt = Align4(p + 2);
  const size_t valueBytes = n.IsText() ? size_t{n.valueLength} * 2 : n.valueLength;
  if (n.valueAt > n.end) n.valueAt = n.end;
  if (n.valueAt + valueBytes > n.end) return std::nullopt;
  n.childrenAt = Align4(n.valueAt + valueBytes);
  return n;
}

std::optional<VersionTranslation> DecodeVersionTranslation(std::span<const uint8_t> value) {
  if (value.size() < 4) return std::nullopt;
  return VersionTranslation{Load16(value.data()), Load16(value.data() + 2)};
}

size_t NextVersionNode(const VersionNode& node) { return Align4(node.end); }

}  // namespace zip
