// Paths below the target directory, and making directories.
#pragma once

#include <string>

namespace sfx {

// The member's path below `base`, or "" when it would leave it: absolute names,
// drive letters, streams, ".." (and names Windows reads as ".."), device names.
std::wstring SafeTarget(const std::wstring& base, const std::wstring& name);
// The full form of `path`, without trailing separators.
std::wstring FullPath(const std::wstring& path);
// Creates `dir` and every missing parent.
bool MakeDirectories(const std::wstring& dir);

}  // namespace sfx
