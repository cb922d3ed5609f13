// Volume numbers, labels and numbered file names of a spanned set.
#include "zipbuilder/span/MemberTable.h"

#include <cctype>

#include "platform/Paths.h"

namespace DiskSpan {

namespace {

// The whole of `text` as a decimal number, or `fallback` when it is not one.
int WholeNumber(const std::string& text, int fallback) {
  if (text.empty()) return fallback;
  int number = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return fallback;
    number = number * 10 + (c - '0');
  }
  return number;
}

}  // namespace

std::string VolumeNumber(int32_t diskNumber) {
  return std::to_string(int64_t{diskNumber} + 1001).substr(1, 3);
}

std::string VolumeLabel(int32_t diskNumber) {
  return "PKBACK# " + VolumeNumber(diskNumber);
}

int LabelNumber(const std::string& label, int fallback) {
  if (label.compare(0, 8, "PKBACK# ") != 0) return fallback;
  return WholeNumber(label.substr(8, 3), fallback);
}

std::string NumberedName(const std::string& setName, int32_t diskNumber) {
  const std::string extension = platform::ExtractFileExt(setName);
  return setName.substr(0, setName.size() - extension.size()) + VolumeNumber(diskNumber) +
         extension;
}

int NumberBeforeExtension(const std::string& name) {
  const size_t end = name.size() - platform::ExtractFileExt(name).size();
  const size_t nameStart = platform::ExtractFilePath(name).size();
  if (end < nameStart + 3) return 0;
  return WholeNumber(name.substr(end - 3, 3), 0);
}

}  // namespace DiskSpan
