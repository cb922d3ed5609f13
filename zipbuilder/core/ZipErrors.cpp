#include "zipbuilder/core/ZipErrors.h"

#include "zipbuilder/core/ZipMessageTable.h"

const char* const kMissingMessageText =
    "ZipMsgxx.res is probably not linked to the executable\nMissing String ID is: ";

std::string ZipMessageText(int id) {
  const char* text = FindZipMessage(id);
  if (text && *text) return text;
  return kMissingMessageText + std::to_string(id);
}

std::string FormatZipMessage(const std::string& pattern, const std::string* texts, int textCount,
                             const int* numbers, int numberCount) {
  std::string out;
  int nextText = 0, nextNumber = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') {
      out += pattern[i];
      continue;
    }
    if (pattern.compare(i, 2, "%s") == 0) {
      if (nextText < textCount) out += texts[nextText++];
      i += 1;
    } else if (pattern.compare(i, 2, "%d") == 0 || pattern.compare(i, 4, "%.1d") == 0) {
      if (nextNumber < numberCount) out += std::to_string(numbers[nextNumber++]);
      i += pattern[i + 1] == 'd' ? 1 : 3;
    } else if (pattern.compare(i, 2, "%%") == 0) {
      out += '%';
      i += 1;
    } else {
      out += '%';
    }
  }
  return out;
}

namespace {

// A missing entry yields the fallback text, never formatted.
std::string Formatted(int id, const std::string* texts, int textCount, const int* numbers,
                      int numberCount) {
  const char* text = FindZipMessage(id);
  if (!text || !*text) return kMissingMessageText + std::to_string(id);
  return FormatZipMessage(text, texts, textCount, numbers, numberCount);
}

}  // namespace

EZipBuilder::EZipBuilder(int id, bool display)
    : std::runtime_error(ZipMessageText(id)), displayMsg_(display), ident_(id) {}

EZipBuilder::EZipBuilder(int id, std::string text, bool display)
    : std::runtime_error(text), displayMsg_(display), ident_(id) {}

EZipBuilder EZipBuilder::WithDetail(int id, const std::string& detail) {
  return EZipBuilder(id, ZipMessageText(id) + ": " + detail, true);
}

EZipBuilder::EZipBuilder(int id, int value)
    : std::runtime_error(Formatted(id, nullptr, 0, &value, 1)), displayMsg_(true), ident_(id) {}

EZipBuilder::EZipBuilder(int id, const std::string& text)
    : std::runtime_error(Formatted(id, &text, 1, nullptr, 0)), displayMsg_(true), ident_(id) {}

EZipBuilder::EZipBuilder(int id, const std::string& text1, const std::string& text2)
    : std::runtime_error([&] {
        std::string texts[2] = {text1, text2};
        return Formatted(id, texts, 2, nullptr, 0);
      }()),
      displayMsg_(true),
      ident_(id) {}
