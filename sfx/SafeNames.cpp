#include "sfx/SafeNames.h"

// clang-format off
#include <windows.h>  // first: the other Windows headers build on it
// clang-format on

namespace sfx {

std::wstring SafeTarget(const std::wstring& base, const std::wstring& name) {
  std::wstring relative;
  size_t start = 0;
  if (name.empty() || name[0] == L'/' || name[0] == L'\\') return {};
  while (start <= name.size()) {
    size_t stop = name.find_first_of(L"/\\", start);
    if (stop == std::wstring::npos) stop = name.size();
    std::wstring part = name.substr(start, stop - start);
    start = stop + 1;
    if (part.empty() || part == L".") continue;
    if (part.find_first_of(L":*?\"<>|") != std::wstring::npos) return {};
    if (part.find_first_not_of(L". ") == std::wstring::npos) return {};  // "..", "...", ". ."
    for (wchar_t c : part)
      if (c < 32) return {};
    if (!relative.empty()) relative += L'\\';
    relative += part;
  }
  if (relative.empty()) return {};
  std::wstring joined = base + L'\\' + relative;
  wchar_t full[MAX_PATH * 4];
  DWORD n = GetFullPathNameW(joined.c_str(), MAX_PATH * 4, full, nullptr);
  if (n == 0 || n >= MAX_PATH * 4) return {};
  std::wstring result(full, n);
  std::wstring prefix = base + L'\\';
  if (result.size() <= prefix.size() ||
      _wcsnicmp(result.c_str(), prefix.c_str(), prefix.size()) != 0)
    return {};
  return result;
}

std::wstring FullPath(const std::wstring& path) {
  wchar_t full[MAX_PATH * 4];
  DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 4, full, nullptr);
  if (n == 0 || n >= MAX_PATH * 4) return path;
  std::wstring result(full, n);
  while (result.size() > 3 && (result.back() == L'\\' || result.back() == L'/')) result.pop_back();
  return result;
}

// Creates `dir` and every missing parent.
bool MakeDirectories(const std::wstring& dir) {
  DWORD attributes = GetFileAttributesW(dir.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  size_t cut = dir.find_last_of(L"\\/");
  if (cut != std::wstring::npos && cut > 2 && !MakeDirectories(dir.substr(0, cut))) return false;
  return CreateDirectoryW(dir.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

}  // namespace sfx
