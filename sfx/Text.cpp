#include "sfx/Text.h"

namespace sfx {

bool IsUtf8(const std::string& s) {
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()),
                             nullptr, 0) > 0;
}

std::wstring Widen(const std::string& s, UINT codePage) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

// Header strings are 8-bit text of the converting machine: UTF-8 when they are

std::wstring SettingText(const std::string& s) {
  return Widen(s, IsUtf8(s) ? CP_UTF8 : CP_ACP);
}

std::string Narrow(const std::wstring& w) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr,
                              nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                      nullptr);
  return s;
}

}  // namespace sfx
