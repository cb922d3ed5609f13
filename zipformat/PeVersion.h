// The tree of a PE version resource: each node holds its length, its value's
// length and type, a UTF-16 key, the value and its children, each part aligned
// to 4 bytes within the block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace zip {

struct VersionNode {
  size_t begin = 0;
  size_t end = 0;  // begin + the node's length
  uint16_t valueLength = 0;  // in characters for text, in bytes otherwise
  uint16_t type = 0;
  std::u16string key;
  size_t valueAt = 0;
  size_t childrenAt = 0;
  bool IsText() const { return type == 1; }
};

// The node at `at`, which must end at or before `limit`; nullopt when it does
// not fit, its key has no terminator or its value runs past its end.
std::optional<VersionNode> ParseVersionNode(std::span<const uint8_t> block, size_t at, size_t limit);

// Where the sibling after `node` begins.
size_t NextVersionNode(const VersionNode& node);

// The first language and code page of a "\VarFileInfo\Translation" value.
struct VersionTranslation {
  uint16_t language = 0;
  uint16_t codePage = 0;
};
std::optional<VersionTranslation> DecodeVersionTranslation(std::span<const uint8_t> value);

// UTF-16LE code units in [begin, end), up to the first zero unit.
std::u16string Utf16LeUnits(const uint8_t* begin, const uint8_t* end);

}  // namespace zip
