#include "platform/CodePage.h"

#include <cstdint>

namespace platform {
namespace {

// Unicode code points of CP850 bytes 0x80..0xFF.
constexpr uint16_t kCp850High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8,
    0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2,
    0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1,
    0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD,
    0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2,
    0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514, 0x2534,
    0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560,
    0x2550, 0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE,
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580, 0x00D3, 0x00DF, 0x00D4,
    0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE, 0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD,
    0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8, 0x00B0,
    0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0};

}  // namespace

std::string Cp850Char(unsigned char byte) {
  std::string out;
  AppendUtf8(out, byte < 0x80 ? byte : kCp850High[byte - 0x80]);
  return out;
}

std::string Cp850ToUtf8(const std::string& oem) {
  std::string out;
  out.reserve(oem.size() * 2);
  for (unsigned char c : oem) {
    if (c < 0x80) out += static_cast<char>(c);
    else AppendUtf8(out, kCp850High[c - 0x80]);
  }
  return out;
}

std::string Utf8ToCp850(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    uint32_t cp = 0;
    size_t len = DecodeUtf8(text, i, cp);
    if (len == 0) {  // not UTF-8: an OEM byte already
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    char mapped = '_';
    for (int k = 0; k < 128; ++k) {
      if (kCp850High[k] == cp) {
        mapped = static_cast<char>(0x80 + k);
        break;
      }
    }
    out += mapped;
    i += len;
  }
  return out;
}

void AppendUtf8(std::string& out, uint32_t codePoint) {
  uint32_t cp = codePoint;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

size_t DecodeUtf8(const std::string& text, size_t i, uint32_t& codePoint) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char b = byte(i);
  if (b < 0x80) {
    codePoint = b;
    return 1;
  }
  size_t len = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
  if (len == 0 || b >= 0xF8 || i + len > text.size()) return 0;
  uint32_t cp = b & (0x7F >> len);
  for (size_t k = 1; k < len; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  codePoint = cp;
  return len;
}

void AppendUtf16(std::u16string& out, uint32_t codePoint) {
  if (codePoint >= 0x10000) {
    codePoint -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (codePoint >> 10));
    out += static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
  } else {
    out += static_cast<char16_t>(codePoint);
  }
}

std::string Utf16ToUtf8(const std::u16string& units) {
  std::string out;
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t u = units[i];
    bool high = u >= 0xD800 && u <= 0xDBFF;
    if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else {
      AppendUtf8(out, u >= 0xD800 && u <= 0xDFFF ? 0xFFFD : u);
    }
  }
  return out;
}

bool IsAscii(const std::string& text) {
  for (unsigned char c : text)
    if (c >= 0x80) return false;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace platform
