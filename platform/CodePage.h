// The OEM code page is CP850, the system code page UTF-8.
#pragma once

#include <string>

namespace platform {

// OemToCharBuffA: every byte of 0x80 and above becomes its character in UTF-8.
std::string OemToChar(const std::string& oem);
// CharToOemBuffA: UTF-8 characters to CP850 bytes, "_" for those CP850 lacks.
// Bytes that are not valid UTF-8 are taken as CP850 already and kept.
std::string CharToOem(const std::string& text);
// The UTF-8 text of one CP850 byte (>= 0x80).
std::string Cp850Char(unsigned char byte);
bool IsAscii(const std::string& text);

}  // namespace platform
