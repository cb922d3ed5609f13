// Handling of Windows paths. Both "\" and "/" separate components; a drive
// letter path resolves through the Wine prefix's dosdevices directory.
#pragma once

#include <string>

namespace platform {

// $WINEPREFIX, or ~/.wine when unset.
std::string WinePrefix();

// True for "X:" or "X:\..." (letter, colon).
bool HasDriveLetter(const std::string& path);

// The POSIX path the system uses for `path`: "C:\a\b" -> "$WINEPREFIX/dosdevices/c:/a/b",
// "dir\x" -> "dir/x". Never fails. In a drive-letter path "." and ".." are resolved
// by name (".." never climbs above the drive's root), and each component names the
// existing entry spelled exactly so, else the one matching it ignoring letter case;
// components that do not exist yet are kept as given. Other paths are host paths,
// only their separators change.
std::string ToNativePath(const std::string& path);

// A Windows path read from the prefix (its registry): one without a drive letter
// lies on drive C: ("\Program Files\App" is "C:\Program Files\App"). The empty
// path stays empty.
std::string OnSystemDrive(const std::string& path);

bool IsPathSeparator(char c);
// Index of the last "\" or "/" (and ":" when `withColon`), or npos.
size_t LastSeparator(const std::string& path, bool withColon = true);

// Splitting and joining path texts: both separators count, and a
// drive letter's colon ends the directory part.
std::string ExtractFilePath(const std::string& path);  // up to and including the last separator
std::string ExtractFileName(const std::string& path);  // after the last separator or colon
std::string ExtractFileExt(const std::string& path);   // from the last dot of the name part, or ""
std::string ChangeFileExt(const std::string& path, const std::string& ext);  // ext with its dot
// The drive root of `path`: "C:\" for drive paths, "\" for every other path.
std::string ExtractDriveRoot(const std::string& path);
// Full path with "." and ".." resolved against the current directory; keeps a drive
// letter (then "\" separators, else "/") and a trailing separator.
std::string ExpandFileName(const std::string& path);
// `path` with symbolic links in its last component followed to the file they
// name (relative targets taken from the link's directory); `path` itself when
// it is no link. Rewriting a file through a link replaces the link's target.
std::string ResolveSymlinks(const std::string& path);
// Joins with one separator ("/" unless `dir` already ends in a separator).
std::string JoinPath(const std::string& dir, const std::string& name);

}  // namespace platform
