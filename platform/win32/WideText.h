// Text at the system's boundary: UTF-8 inside, UTF-16 at the wide calls, and
// the system's error numbers told as errno values (the reasons FileSystem keeps).
#pragma once

#include <cstdint>
#include <string>

namespace platform::win32 {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);
std::string Narrow(const wchar_t* wide, size_t length);

// `path` for the wide file calls: "/" turned into "\", and a full path longer
// than the classic limit given the "\\?\" prefix that lifts it.
std::wstring WidePath(const std::string& path);

// The errno value closest to a GetLastError code (EIO for the rest).
int ErrnoFromSystemError(uint32_t error);

}  // namespace platform::win32
