// Comparing texts of the system code page (UTF-8) ignoring letter case, by the
// Unicode rules the UTF-8 locale applies, for non-ASCII letters too ("Ä" = "ä").
#pragma once

#include <optional>
#include <string>

namespace zip {

// True when every byte of `text` is ASCII (such texts fold byte by byte).
bool IsAscii(const std::string& text);

// The characters of `text` with their case folded: one unit per character,
// so that "?" of a wildcard can match one character. Bytes that are not valid
// UTF-8 stay themselves (as units that no character folds to).
std::u32string FoldedCharacters(const std::string& text);
bool SameTextIgnoringCase(const std::string& a, const std::string& b);
// The same for texts that SameTextIgnoringCase finds the same (for hashed lookups).
size_t HashIgnoringCase(const std::string& text);

struct TextSpan {
  size_t at = 0, length = 0;  // in bytes of the searched text
};
// The first place where `text` holds `part`, compared as SameTextIgnoringCase
// compares, character by character; none when it holds it nowhere or `part` is empty.
std::optional<TextSpan> FindIgnoringCase(const std::string& text, const std::string& part);

}  // namespace zip
