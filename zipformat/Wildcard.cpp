#include "zipformat/Wildcard.h"

#include "zipformat/TextCase.h"

namespace zip {
namespace {

// Characters with their case folded by the locale's rules and "\" taken as "/".
std::u32string Folded(const std::string& text) {
  std::u32string folded = FoldedCharacters(text);
  for (char32_t& c : folded)
    if (c == U'\\') c = U'/';
  return folded;
}

}  // namespace

bool HasWildcards(const std::string& spec) {
  return spec.find_first_of("*?") != std::string::npos;
}

bool WildcardMatch(const std::string& patternText, const std::string& nameText) {
  const std::u32string pattern = Folded(patternText), name = Folded(nameText);
  // Iterative match with one backtrack point: linear in practice, never recursive.
  size_t p = 0, n = 0, starP = std::u32string::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == U'*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() &&
               (pattern[p] == U'?' ? name[n] != U'/' : pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (starP != std::u32string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == U'*') ++p;
  return p == pattern.size();
}

bool FileSpecMatch(const std::string& pattern, const std::string& name) {
  if (WildcardMatch(pattern, name)) return true;
  return pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
         WildcardMatch(pattern.substr(0, pattern.size() - 2), name);
}

}  // namespace zip
