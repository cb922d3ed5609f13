#include "platform/Paths.h"
#include "platform/ProgramPath.h"
#include "platform/win32/WideText.h"
#include "platform/win32/WindowsApi.h"

#include <shellapi.h>
#include <cwchar>

namespace platform {

std::string ProgramPath() {
  std::wstring buffer(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (n == 0 || n >= buffer.size()) return "";
  return win32::Narrow(buffer.data(), n);
}

std::string ProgramDirectory() { return ExtractFilePath(ProgramPath()); }

std::vector<std::string> ProgramArguments(int, char**) {
  std::vector<std::string> arguments;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(win32::Narrow(wide[i], wcslen(wide[i])));
  LocalFree(wide);
  return arguments;
}

}  // namespace platform
