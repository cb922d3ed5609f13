// Member names turned into paths below the base directory, refusing every name
// that could leave it: absolute names, drive letters, "..".
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace unzdll {

// The path components of a member name ("/" or "\" separated; "." and empty
// components dropped), or nullopt when the name is absolute, carries a drive
// letter, or has a ".." component. An empty result means the base itself.
// Control characters (escape sequences, CR, LF ...) become "_"; `replaced`
// tells whether any did.
std::optional<std::vector<std::string>> SafeComponents(const std::string& name, bool* replaced = nullptr);

// `name` for messages: control characters shown as \xNN, so that a name
// cannot move the cursor, recolour or break the line of the one who reads it.
std::string PrintableName(const std::string& name);

// True when a link placed `depth` directories below the base with this target
// resolves inside the base: relative, no drive letter, ".." only in front and
// never climbing above the base.
bool LinkTargetStaysInside(const std::string& target, size_t depth);

}  // namespace unzdll
