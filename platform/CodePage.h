// The OEM code page is CP850, the system code page UTF-8. OemToChar and
// CharToOem are each system's own (platform/posix: our CP850 table; platform/win32:
// the system's conversions); the rest is shared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// OemToCharBuffA: every byte of 0x80 and above becomes its character in UTF-8.
std::string OemToChar(const std::string& oem);
// CharToOemBuffA: UTF-8 characters to CP850 bytes, "_" for those CP850 lacks.
// Bytes that are not valid UTF-8 are taken as CP850 already and kept.
std::string CharToOem(const std::string& text);
// The UTF-8 text of one CP850 byte (>= 0x80).
std::string Cp850Char(unsigned char byte);
// OemToChar and CharToOem through our own CP850 table: the conversions on a
// system without CP850 of its own, and what the system's must agree with.
std::string Cp850ToUtf8(const std::string& oem);
std::string Utf8ToCp850(const std::string& text);
bool IsAscii(const std::string& text);

// ---- UTF-8 and UTF-16, shared by the code page, registry and resource readers ----

// Appends `codePoint` (up to U+10FFFF) to `out` as UTF-8.
void AppendUtf8(std::string& out, uint32_t codePoint);
// Decodes the UTF-8 sequence at text[i] into `codePoint`; returns its length
// (1 for ASCII), 0 when the bytes there are not valid UTF-8.
size_t DecodeUtf8(const std::string& text, size_t i, uint32_t& codePoint);
// Appends `codePoint` to `out` as one UTF-16 unit or a surrogate pair.
void AppendUtf16(std::u16string& out, uint32_t codePoint);
// UTF-16 code units to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::u16string& units);

// The value of the hexadecimal digit `c` (either case), or -1.
int HexDigit(char c);

}  // namespace platform
