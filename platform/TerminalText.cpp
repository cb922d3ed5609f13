#include "platform/Terminal.h"

namespace platform {

void AppendEscaped(std::string& out, std::string_view text, bool keepLineBreaks) {
  static const char kHex[] = "0123456789abcdef";
  const auto plain = [keepLineBreaks](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 0x20 && byte != 0x7F) || (keepLineBreaks && c == '\n');
  };
  // Names are nearly always plain: copy runs of plain bytes whole.
  for (size_t i = 0; i < text.size();) {
    size_t run = i;
    while (run < text.size() && plain(text[run])) ++run;
    out.append(text, i, run - i);
    if (run == text.size()) break;
    const auto byte = static_cast<unsigned char>(text[run]);
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 15];
    i = run + 1;
  }
}

std::string EscapedText(std::string_view text, bool keepLineBreaks) {
  std::string out;
  out.reserve(text.size());
  AppendEscaped(out, text, keepLineBreaks);
  return out;
}

}  // namespace platform
