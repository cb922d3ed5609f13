#include "zipformat/Wildcard.h"

#include <cctype>

namespace zip {
namespace {

inline char Fold(char c) {
  if (c == '\\') return '/';
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

}  // namespace

bool HasWildcards(const std::string& spec) {
  return spec.find_first_of("*?") != std::string::npos;
}

bool WildcardMatch(const std::string& pattern, const std::string& name) {
  // Iterative match with one backtrack point: linear in practice, never recursive.
  size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' ? Fold(name[n]) != '/' : Fold(pattern[p]) == Fold(name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool FileSpecMatch(const std::string& pattern, const std::string& name) {
  if (WildcardMatch(pattern, name)) return true;
  return pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
         WildcardMatch(pattern.substr(0, pattern.size() - 2), name);
}

}  // namespace zip
