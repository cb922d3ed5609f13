#include "SafeName.h"

namespace unz {
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

std::optional<std::vector<std::string>> SafeComponents(const std::string& name) {
  if (name.empty() || IsSeparator(name[0]) || HasDrive(name)) return std::nullopt;
  std::vector<std::string> parts = Split(name);
  for (const auto& part : parts)
    if (part == "..") return std::nullopt;
  return parts;
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

}  // namespace unz
