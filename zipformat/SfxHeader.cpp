#include "zipformat/SfxHeader.h"

#include <algorithm>
#include <cstring>

#include "zipformat/ByteOrder.h"

namespace zip {
namespace {

constexpr size_t kFlagsAt = 3;
constexpr size_t kSizeAt = 6;
constexpr size_t kStringsAt = 8;     // current form: counted strings
constexpr size_t kOldLengthsAt = 4;  // old form: three lengths, then the strings
constexpr size_t kOldStringsAt = 7;

bool IsMarker(std::span<const uint8_t> bytes, size_t p) {
  return p + 3 <= bytes.size() && bytes[p] == 'M' && bytes[p + 1] == 'P' &&
         (bytes[p + 2] == 'U' || bytes[p + 2] == 'V');
}

// Decodes the header at `p`, cutting strings at the end of `bytes`. Returns
// the position just past its last string, which may lie beyond `bytes`.
size_t Decode(std::span<const uint8_t> bytes, size_t p, SfxHeader& out) {
  auto byteAt = [&](size_t at) -> size_t { return at < bytes.size() ? bytes[at] : 0; };
  auto text = [&](size_t at, size_t length) {
    if (at >= bytes.size()) return std::string();
    size_t n = std::min(length, bytes.size() - at);
    return std::string(reinterpret_cast<const char*>(bytes.data() + at), n);
  };
  out.position = p;
  out.oldForm = bytes[p + 2] == 'U';
  SfxSettings& s = out.settings;
  s.flags = static_cast<uint8_t>(byteAt(p + kFlagsAt));
  if (out.oldForm) {
    s.flags &= static_cast<uint8_t>(~kSfxNoSuccessMsg);
    size_t at = p + kOldStringsAt;
    std::string* fields[] = {&s.caption, &s.defaultDir, &s.commandLine};
    for (size_t i = 0; i < 3; ++i) {
      size_t length = byteAt(p + kOldLengthsAt + i);
      *fields[i] = text(at, length);
      at += length;
    }
    return at;
  }
  size_t at = p + kStringsAt;
  for (std::string* field : {&s.caption, &s.defaultDir, &s.commandLine, &s.message}) {
    size_t length = byteAt(at);
    *field = text(at + 1, length);
    at += 1 + length;
  }
  return at;
}

}  // namespace

std::vector<uint8_t> BuildSfxHeader(const SfxSettings& settings) {
  const std::string* strings[] = {&settings.caption, &settings.defaultDir, &settings.commandLine,
                                  &settings.message};
  size_t total = 0;
  for (const std::string* s : strings) total += s->size();
  size_t size = (kSfxMinHeaderSize + total + 3) / 4 * 4;
  std::vector<uint8_t> header(size, 0);
  std::memcpy(header.data(), "MPV", 3);
  header[kFlagsAt] = settings.flags;
  header[kFlagsAt + 2] = 1;
  Store16(header.data() + kSizeAt, static_cast<uint16_t>(size));
  size_t at = kStringsAt;
  for (const std::string* s : strings) {
    header[at++] = static_cast<uint8_t>(s->size());
    std::memcpy(header.data() + at, s->data(), s->size());
    at += s->size();
  }
  return header;
}

std::optional<SfxHeader> ReadSfxHeader(std::span<const uint8_t> bytes) {
  if (bytes.size() < kSfxMinHeaderSize || !IsMarker(bytes, 0)) return std::nullopt;
  SfxHeader header;
  const size_t end = Decode(bytes, 0, header);
  if (header.oldForm) {
    if (end > bytes.size()) return std::nullopt;
    header.size = end;
    return header;
  }
  header.size = Load16(bytes.data() + kSizeAt);
  if (header.size < kSfxMinHeaderSize || header.size > bytes.size() || end > header.size)
    return std::nullopt;
  return header;
}

std::optional<SfxHeader> FindSfxHeader(std::span<const uint8_t> window) {
  // A current header whose size field ends it exactly at the window's end is the
  // one written there; stub bytes that happen to read "MPV" before it are not.
  size_t first = window.size();
  for (size_t p = 0; p + 3 <= window.size(); ++p) {
    if (!IsMarker(window, p)) continue;
    if (first == window.size()) first = p;
    if (window[p + 2] == 'V' && p + kStringsAt <= window.size() &&
        p + Load16(window.data() + p + kSizeAt) == window.size()) {
      first = p;
      break;
    }
  }
  if (first == window.size()) return std::nullopt;
  SfxHeader header;
  const size_t end = Decode(window, first, header);
  if (header.oldForm)
    header.size = end - first;
  else if (first + kStringsAt <= window.size())
    header.size = Load16(window.data() + first + kSizeAt);
  return header;
}

}  // namespace zip
