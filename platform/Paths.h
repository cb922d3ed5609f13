// Windows-style path handling. Both "\" and "/" separate components; a drive
// letter path resolves through the Wine-style prefix's dosdevices directory.
#pragma once

#include <string>

namespace platform {

// $WINEPREFIX, or ~/.wine when unset.
std::string WinePrefix();

// True for "X:" or "X:\..." (letter, colon).
bool HasDriveLetter(const std::string& path);

// The POSIX path the system uses for `path`: "C:\a\b" -> "$WINEPREFIX/dosdevices/c:/a/b",
// "dir\x" -> "dir/x". Never fails.
std::string ToNativePath(const std::string& path);

bool IsPathSeparator(char c);
// Index of the last "\" or "/" (and ":" when `withColon`), or npos.
size_t LastSeparator(const std::string& path, bool withColon = true);

// Delphi-style helpers, kept with their classic meanings.
std::string ExtractFilePath(const std::string& path);  // up to and including the last separator
std::string ExtractFileName(const std::string& path);  // after the last separator or colon
std::string ExtractFileExt(const std::string& path);   // from the last dot of the name part, or ""
std::string ChangeFileExt(const std::string& path, const std::string& ext);  // ext with its dot
// The drive root of `path`: "C:\" for drive paths, "\" for every other path.
std::string ExtractDriveRoot(const std::string& path);
// Full path with "." and ".." resolved against the current directory; keeps a drive
// letter (then "\" separators, else "/") and a trailing separator.
std::string ExpandFileName(const std::string& path);
// Joins with one separator ("/" unless `dir` already ends in a separator).
std::string JoinPath(const std::string& dir, const std::string& name);

}  // namespace platform
