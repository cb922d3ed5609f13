// Paths on Windows are the system's own: the calls take them as they are, with
// either separator; ToNativePath only turns "/" into "\".
#include "platform/Paths.h"
#include "platform/win32/WideText.h"
#include "platform/win32/WindowsApi.h"

namespace platform {

std::string ToNativePath(const std::string& path) {
  std::string native = path;
  for (char& c : native)
    if (c == '/') c = '\\';
  return native;
}

// GetFullPathNameW, which keeps a trailing separator.
std::string ExpandFileName(const std::string& path) {
  const std::wstring wide = win32::Widen(ToNativePath(path.empty() ? "." : path));
  const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring full(n, L'\0');
  full.resize(GetFullPathNameW(wide.c_str(), n, full.data(), nullptr));
  return win32::Narrow(full);
}

// A symbolic link's target as the system reaches it; `path` itself when it is
// no link or its target cannot be told.
std::string ResolveSymlinks(const std::string& path) {
  const std::wstring wide = win32::WidePath(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return path;
  HANDLE h = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return path;
  wchar_t buffer[32768];
  const DWORD n = GetFinalPathNameByHandleW(h, buffer, 32768, FILE_NAME_NORMALIZED);
  CloseHandle(h);
  if (n == 0 || n >= 32768) return path;
  std::wstring target(buffer, n);
  if (target.rfind(L"\\\\?\\UNC\\", 0) == 0) target = L"\\\\" + target.substr(8);
  else if (target.rfind(L"\\\\?\\", 0) == 0) target = target.substr(4);
  return win32::Narrow(target);
}

}  // namespace platform
