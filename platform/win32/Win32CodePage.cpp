// CP850 through the system's conversions. It is named rather than taken from
// GetOEMCP, which follows the machine's locale (437 under an English one):
// names in an archive read the same on every machine and on Linux.
#include "platform/CodePage.h"
#include "platform/win32/WideText.h"
#include "platform/win32/WindowsApi.h"

namespace platform {
namespace {
constexpr UINT kOemCodePage = 850;
}  // namespace

std::string OemToChar(const std::string& oem) {
  if (oem.empty()) return {};
  const int size = static_cast<int>(oem.size());
  const int n = MultiByteToWideChar(kOemCodePage, 0, oem.data(), size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(kOemCodePage, 0, oem.data(), size, wide.data(), n);
  return win32::Narrow(wide);
}

// One character at a time, so that one CP850 lacks becomes one "_" even where
// it takes two UTF-16 units.
std::string CharToOem(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    uint32_t codePoint = 0;
    const size_t length = DecodeUtf8(text, i, codePoint);
    if (length == 0 || codePoint < 0x80) {  // ASCII, or no UTF-8: an OEM byte already
      out += text[i++];
      continue;
    }
    std::u16string units;
    AppendUtf16(units, codePoint);
    char byte = '_';
    BOOL lacking = FALSE;
    const int n = WideCharToMultiByte(kOemCodePage, WC_NO_BEST_FIT_CHARS, reinterpret_cast<const wchar_t*>(units.data()),
                                      static_cast<int>(units.size()), &byte, 1, "_", &lacking);
    out += n == 1 && !lacking ? byte : '_';
    i += length;
  }
  return out;
}

}  // namespace platform
