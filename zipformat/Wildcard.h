// File specification matching as the component's users expect: "*" and "?",
// letter case ignored by the locale's rules (non-ASCII letters too), "\" and "/"
// the same; "?" is one character, not one byte.
#pragma once

#include <string>

namespace zip {

bool HasWildcards(const std::string& spec);
// True when `name` matches `pattern`. "*" matches any run of characters,
// including separators; "?" matches one character that is not a separator.
bool WildcardMatch(const std::string& pattern, const std::string& name);
// WildcardMatch, and as on Windows a pattern ending in ".*" also takes names
// without that dot: "readme.*" matches "readme", "*.*" matches every name.
bool FileSpecMatch(const std::string& pattern, const std::string& name);

}  // namespace zip
