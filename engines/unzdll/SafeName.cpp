#include "engines/unzdll/SafeName.h"

namespace unzdll {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool HasDrive(const std::string& s) {
  return s.size() >= 2 && s[1] == ':' && ((s[0] | 0x20) >= 'a' && (s[0] | 0x20) <= 'z');
}

std::vector<std::string> Split(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (IsSeparator(c)) {
      if (!part.empty() && part != ".") parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty() && part != ".") parts.push_back(part);
  return parts;
}

}  // namespace

std::optional<std::vector<std::string>> SafeComponents(const std::string& name, bool* replaced) {
  if (name.empty() || IsSeparator(name[0]) || HasDrive(name)) return std::nullopt;
  std::vector<std::string> parts = Split(name);
  if (replaced) *replaced = false;
  for (auto& part : parts) {
    if (part == "..") return std::nullopt;
    for (char& c : part) {
      if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) continue;
      c = '_';
      if (replaced) *replaced = true;
    }
  }
  return parts;
}

std::string PrintableName(const std::string& name) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      out += c;
    } else {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

bool LinkTargetStaysInside(const std::string& target, size_t depth) {
  if (target.empty() || IsSeparator(target[0]) || HasDrive(target)) return false;
  if (target.find('\0') != std::string::npos) return false;
  bool descending = false;
  for (const auto& part : Split(target)) {
    if (part == "..") {
      // Climbing after descending could pass through another link; refuse it.
      if (descending || depth == 0) return false;
      --depth;
    } else {
      descending = true;
    }
  }
  return true;
}

}  // namespace unzdll
