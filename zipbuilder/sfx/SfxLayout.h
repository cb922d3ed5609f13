// The bytes of a self-extractor around the archive: the settings header written
// after the stub (and its older read-only form), and the search for the stub's
// replaceable icon image in its resource directory. Pure: bytes in, facts out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sfx {

// Option flag bits of the settings header.
constexpr uint8_t kFlagAskCmdLine = 0x01;
constexpr uint8_t kFlagAskFiles = 0x02;
constexpr uint8_t kFlagHideOverWriteBox = 0x04;
constexpr uint8_t kFlagOverwriteAlways = 0x08;
constexpr uint8_t kFlagOverwriteNever = 0x10;
constexpr uint8_t kFlagNoCheckSize = 0x20;
constexpr uint8_t kFlagAutoRun = 0x40;
constexpr uint8_t kFlagNoSuccessMsg = 0x80;

constexpr size_t kMaxSettingLength = 255;
constexpr size_t kMaxHeaderSize = 1032;  // 12 + 4 * 255, rounded up to a multiple of 4

// What the header carries besides its fixed bytes.
struct Settings {
  uint8_t flags = 0;
  std::string caption, defaultDir, commandLine, message;
};

// The header: "MPV", flags, 0, 1, its size, four counted strings, zero padding to a
// multiple of 4. Every string must be at most 255 bytes.
std::vector<uint8_t> BuildHeader(const Settings& settings);

// A header found in a search window: `oldForm` for "MPU" (no message, flag 0x80 unused).
struct FoundHeader {
  size_t position = 0;
  bool oldForm = false;
  Settings settings;
};
// The first "MPV" or "MPU" header in `window` (positions 0 to size-3). Strings that
// run past the window are cut at its end.
std::optional<FoundHeader> FindHeader(const std::vector<uint8_t>& window);

// The replaceable icon image of a stub: icon resource (type 3) ID 1, any language,
// exactly 744 bytes; the answer is its file position. A 32-bit image is read with
// the fixed layout (section table at the PE header + 248, resource directory entry
// at + 136); a 64-bit image (optional header 0x20B) with its own (+ 264, + 152). Every offset is
// checked against `image`: a stub whose headers or resource entries point outside it gives nullopt.
constexpr uint32_t kIconImageSize = 744;
std::optional<uint64_t> FindIconImage(const std::vector<uint8_t>& image);

}  // namespace sfx
