// Text conversions between the archive's 8-bit strings and Windows' UTF-16.
#pragma once

// clang-format off
#include <windows.h>  // first: the other Windows headers build on it
// clang-format on

#include <string>

namespace sfx {

bool IsUtf8(const std::string& s);
std::wstring Widen(const std::string& s, UINT codePage);
// Header strings are 8-bit text of the converting machine: UTF-8 when they are
// valid UTF-8 (Linux builds), else the system code page.
std::wstring SettingText(const std::string& s);
std::string Narrow(const std::wstring& w);

}  // namespace sfx
