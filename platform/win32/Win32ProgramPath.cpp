#include "platform/Paths.h"
#include "platform/ProgramPath.h"
#include "platform/win32/WideText.h"
#include "platform/win32/WindowsApi.h"

namespace platform {

std::string ProgramPath() {
  std::wstring buffer(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (n == 0 || n >= buffer.size()) return "";
  return win32::Narrow(buffer.data(), n);
}

std::string ProgramDirectory() { return ExtractFilePath(ProgramPath()); }

}  // namespace platform
