// The settings header of a self-extractor, written between the stub's image and
// the archive: "MPV", option flags, 0, 1, the header's size, then the caption,
// default directory, command line and message as counted strings, zero-padded
// to a multiple of 4. The older read-only form "MPU" has three strings whose
// lengths follow the flags. Pure: bytes in, facts out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zip {

// Option flag bits; kSfxNoSuccessMsg exists in the current form only.
enum SfxOption : uint8_t {
  kSfxAskCmdLine = 0x01, kSfxAskFiles = 0x02, kSfxHideOverwriteBox = 0x04, kSfxOverwriteAlways = 0x08,
  kSfxOverwriteNever = 0x10, kSfxNoCheckSize = 0x20, kSfxAutoRun = 0x40, kSfxNoSuccessMsg = 0x80
};

constexpr size_t kSfxMaxSettingLength = 255;
constexpr size_t kSfxMinHeaderSize = 12;
constexpr size_t kSfxMaxHeaderSize = 1032;  // 12 + 4 * 255, rounded up to a multiple of 4

// What the header carries besides its fixed bytes (strings 8-bit, as stored).
struct SfxSettings {
  uint8_t flags = 0;
  std::string caption, defaultDir, commandLine, message;
};

// The current form. Every string must be at most kSfxMaxSettingLength bytes.
std::vector<uint8_t> BuildSfxHeader(const SfxSettings& settings);

// A header found or read: `oldForm` for "MPU" (no message; its flag 0x80 is
// cleared), `size` its length in bytes.
struct SfxHeader {
  size_t position = 0;
  size_t size = 0;
  bool oldForm = false;
  SfxSettings settings;
};

// The header at the start of `bytes`, every part inside them and, for the
// current form, inside its own size; nullopt otherwise.
std::optional<SfxHeader> ReadSfxHeader(std::span<const uint8_t> bytes);

// The header in a search window that ends where the archive begins: the
// current form whose size ends it exactly at the window's end, else the first
// "MPV" or "MPU". Strings that run past the window are cut at its end.
std::optional<SfxHeader> FindSfxHeader(std::span<const uint8_t> window);

}  // namespace zip
