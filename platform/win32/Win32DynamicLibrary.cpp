// LoadLibraryW: a bare name is found next to the program first, then on the
// system's search path; a name with a directory is loaded from there.
#include "platform/DynamicLibrary.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Env.h"
#include "platform/win32/WindowsApi.h"

namespace platform {
namespace {

class Win32DynamicLibraries : public DynamicLibraries {
 public:
  LibraryHandle Load(const std::string& name) override {
    return LoadLibraryW(win32::WidePath(name).c_str());
  }
  void* GetProcAddress(LibraryHandle library, const std::string& symbol) override {
    if (!library) return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), symbol.c_str()));
  }
  void Free(LibraryHandle library) override {
    if (library) FreeLibrary(static_cast<HMODULE>(library));
  }
};

}  // namespace

DynamicLibraries& Win32Libraries() {
  static Win32DynamicLibraries libraries;
  return libraries;
}

}  // namespace platform
