// The registry through RegOpenKeyExW and RegQueryValueExW, only ever read.
// Rule for the two views a 64-bit Windows keeps: the 64-bit view first, then
// the 32-bit one. A program registers itself in the view of its own bitness,
// so a 32-bit reader finds what a 64-bit program wrote and the other way round;
// on 32-bit Windows both flags are ignored and the one registry is read twice.
#include "platform/Registry.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Env.h"
#include "platform/win32/WindowsApi.h"

namespace platform {
namespace {

constexpr REGSAM kViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

std::wstring KeyText(const std::string& key) {
  std::wstring wide = win32::Widen(key);
  for (wchar_t& c : wide)
    if (c == L'/') c = L'\\';
  while (!wide.empty() && wide.front() == L'\\') wide.erase(0, 1);
  return wide;
}

class Win32RegistryImpl : public Registry {
 public:
  bool KeyExists(RegistryRoot root, const std::string& key) override {
    for (REGSAM view : kViews) {
      HKEY opened;
      if (RegOpenKeyExW(RootKey(root), KeyText(key).c_str(), 0, KEY_READ | view, &opened) == ERROR_SUCCESS) {
        RegCloseKey(opened);
        return true;
      }
    }
    return false;
  }

  std::optional<RegValue> ReadString(RegistryRoot root, const std::string& key,
                                     const std::string& valueName) override {
    const std::wstring name = win32::Widen(valueName);
    for (REGSAM view : kViews) {
      HKEY opened;
      if (RegOpenKeyExW(RootKey(root), KeyText(key).c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS)
        continue;
      std::optional<RegValue> value = Query(opened, name);
      RegCloseKey(opened);
      if (value) return value;
    }
    return std::nullopt;
  }

 private:
  static std::optional<RegValue> Query(HKEY key, const std::wstring& name) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    RegValue value;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return value;  // another type
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got) !=
        ERROR_SUCCESS)
      return std::nullopt;
    data.resize(got / sizeof(wchar_t));
    data.resize(wcsnlen(data.c_str(), data.size()));  // cut at the first NUL, as stored
    value.isString = true;
    value.text = win32::Narrow(data);
    return value;
  }
};

}  // namespace

Registry& Win32Registry() {
  static Win32RegistryImpl registry;
  return registry;
}

}  // namespace platform
