// The shell's services: SHFileOperationW for erasing (into the Recycle Bin with
// undo) and ShellExecuteW for opening.
#include "platform/Shell.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Env.h"
#include "platform/win32/WindowsApi.h"

#include <shellapi.h>  // after <windows.h>, which it needs

namespace platform {
namespace {

// SHFileOperationW FO_DELETE of one file, without any box.
int ShellDelete(const std::string& path, bool allowUndo) {
  // The operation takes a full path, in a list ended by two NULs.
  std::wstring from = win32::Widen(path);
  for (wchar_t& c : from)
    if (c == L'/') c = L'\\';
  wchar_t full[32768];
  const DWORD n = GetFullPathNameW(from.c_str(), 32768, full, nullptr);
  if (n == 0 || n >= 32768) return 1;
  std::wstring list(full, n);
  list.append(2, L'\0');
  SHFILEOPSTRUCTW operation{};
  operation.wFunc = FO_DELETE;
  operation.pFrom = list.c_str();
  operation.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT | (allowUndo ? FOF_ALLOWUNDO : 0);
  const int result = SHFileOperationW(&operation);
  return result != 0 ? result : operation.fAnyOperationsAborted ? 1 : 0;
}

class Win32ShellImpl : public Shell {
 public:
  int DeleteFile(const std::string& path, bool allowUndo) override { return ShellDelete(path, allowUndo); }

  // A copy beside the file goes to the Recycle Bin under the file's name.
  int CopyToTrash(const std::string& path) override {
    const std::wstring source = win32::WidePath(path);
    wchar_t directory[32768];
    const DWORD n = GetFullPathNameW(source.c_str(), 32768, directory, nullptr);
    if (n == 0 || n >= 32768) return 1;
    std::wstring copyDirectory(directory, n);
    copyDirectory = copyDirectory.substr(0, copyDirectory.find_last_of(L'\\')) + L"\\~zbtrash";
    if (!CreateDirectoryW(copyDirectory.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return 1;
    const std::wstring name = std::wstring(directory, n).substr(std::wstring(directory, n).find_last_of(L'\\'));
    const std::wstring copy = copyDirectory + name;
    int result = CopyFileW(source.c_str(), copy.c_str(), FALSE) ? ShellDelete(win32::Narrow(copy), true) : 1;
    RemoveDirectoryW(copyDirectory.c_str());
    return result;
  }

  int Execute(const std::string& verb, const std::string& file, const std::string& parameters,
              const std::string& directory) override {
    const std::wstring wideVerb = win32::Widen(verb), wideFile = win32::Widen(file),
                       wideParameters = win32::Widen(parameters), wideDirectory = win32::Widen(directory);
    HINSTANCE result = ShellExecuteW(nullptr, verb.empty() ? nullptr : wideVerb.c_str(), wideFile.c_str(),
                                     parameters.empty() ? nullptr : wideParameters.c_str(),
                                     directory.empty() ? nullptr : wideDirectory.c_str(), SW_SHOWNORMAL);
    return static_cast<int>(reinterpret_cast<intptr_t>(result));
  }
};

}  // namespace

Shell& Win32Shell() {
  static Win32ShellImpl shell;
  return shell;
}

}  // namespace platform
