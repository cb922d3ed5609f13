#include "zipformat/TextCase.h"

#include <algorithm>
#include <cstdint>
#include <locale>
#include <vector>

namespace zip {
namespace {

// Invalid bytes map into the low surrogates, which no valid character uses.
constexpr char32_t kInvalidByteBase = 0xDC00;

// The UTF-8 locale's case rules when the system has that locale, else the
// user's; the classic locale still folds ASCII.
const std::ctype<wchar_t>& CaseRules() {
  static const std::locale locale = [] {
    for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8", ""}) {
      try {
        return std::locale(name);
      } catch (const std::runtime_error&) {
      }
    }
    return std::locale::classic();
  }();
  return std::use_facet<std::ctype<wchar_t>>(locale);
}

// The length of the UTF-8 sequence at text[i] and its character; 0 when the
// bytes there are not a valid, shortest-form sequence.
size_t DecodeUtf8(const std::string& text, size_t i, char32_t& c) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b0 = byte(i);
  if (b0 < 0x80) {
    c = b0;
    return 1;
  }
  size_t length = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 0;
  if (length == 0 || b0 > 0xF4 || i + length > text.size()) return 0;
  c = b0 & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(i + k) & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return length;
}

char32_t Fold(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
  if constexpr (sizeof(wchar_t) >= 4)
    return static_cast<char32_t>(CaseRules().tolower(static_cast<wchar_t>(c)));
  return c;
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c; }

// Tells `take` each folded character of `text` and the byte where it begins.
template <typename Take>
void EachFolded(const std::string& text, Take take) {
  for (size_t i = 0; i < text.size();) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {  // ASCII, as Fold folds it, without decoding
      take(static_cast<char32_t>(static_cast<unsigned char>(FoldAscii(text[i]))), i);
      ++i;
      continue;
    }
    char32_t codePoint = 0;
    const size_t length = DecodeUtf8(text, i, codePoint);
    if (length == 0) {
      take(kInvalidByteBase + static_cast<unsigned char>(text[i]), i);
      ++i;
    } else {
      take(Fold(codePoint), i);
      i += length;
    }
  }
}

// The folded characters of `text`, and where each begins when `starts` is given
// (with the text's length behind the last).
std::u32string Folded(const std::string& text, std::vector<size_t>* starts) {
  // A character takes at least one byte: sized for the most, cut to what was written.
  std::u32string out(text.size(), U'\0');
  size_t written = 0;
  EachFolded(text, [&](char32_t c, size_t at) {
    if (starts) starts->push_back(at);
    out[written++] = c;
  });
  out.resize(written);
  if (starts) starts->push_back(text.size());
  return out;
}

}  // namespace

bool IsAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::u32string FoldedCharacters(const std::string& text) { return Folded(text, nullptr); }

std::optional<TextSpan> FindIgnoringCase(const std::string& text, const std::string& part) {
  if (part.empty()) return std::nullopt;
  // ASCII folds byte by byte: found in place, without decoding into new strings.
  if (IsAscii(text) && IsAscii(part)) {
    const auto same = [](char a, char b) { return FoldAscii(a) == FoldAscii(b); };
    const auto at = std::search(text.begin(), text.end(), part.begin(), part.end(), same);
    if (at == text.end()) return std::nullopt;
    return TextSpan{static_cast<size_t>(at - text.begin()), part.size()};
  }
  std::vector<size_t> starts;
  const std::u32string haystack = Folded(text, &starts), needle = Folded(part, nullptr);
  const size_t found = haystack.find(needle);
  if (found == std::u32string::npos) return std::nullopt;
  return TextSpan{starts[found], starts[found + needle.size()] - starts[found]};
}

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
  if (IsAscii(a) && IsAscii(b))
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
  return FoldedCharacters(a) == FoldedCharacters(b);
}

size_t HashIgnoringCase(const std::string& text) {
  uint64_t hash = 14695981039346656037u;  // 64-bit FNV-1a over the folded characters
  EachFolded(text, [&](char32_t c, size_t) { hash = (hash ^ c) * 1099511628211u; });
  return static_cast<size_t>(hash);
}

}  // namespace zip
