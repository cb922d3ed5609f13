#include "TextCase.h"

#include <locale>

#include "CodePage.h"

namespace platform {
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

char32_t Fold(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
  if constexpr (sizeof(wchar_t) >= 4)
    return static_cast<char32_t>(CaseRules().tolower(static_cast<wchar_t>(c)));
  return c;
}

}  // namespace

std::u32string FoldedCharacters(const std::string& text) {
  std::u32string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    uint32_t codePoint = 0;
    size_t length = DecodeUtf8(text, i, codePoint);
    if (length == 0) {
      out.push_back(kInvalidByteBase + static_cast<unsigned char>(text[i]));
      ++i;
    } else {
      out.push_back(Fold(codePoint));
      i += length;
    }
  }
  return out;
}

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
  return FoldedCharacters(a) == FoldedCharacters(b);
}

}  // namespace platform
