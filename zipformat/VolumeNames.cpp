#include "zipformat/VolumeNames.h"

#include <string_view>

namespace zip {

namespace {

constexpr std::string_view kLabelPrefix = "PKBACK# ";
constexpr size_t kNumberDigits = 3;

// Where the file part of `name` starts: behind its last '/', '\' or ':'.
size_t FilePartStart(const std::string& name) {
  const size_t separator = name.find_last_of("/\\:");
  return separator == std::string::npos ? 0 : separator + 1;
}

// Where the extension (from the file part's last dot) starts, or the end of the name.
size_t ExtensionStart(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot < FilePartStart(name) ? name.size() : dot;
}

// The whole of `text` as a decimal number, or `fallback` when it is not one.
int WholeNumber(std::string_view text, int fallback) {
  if (text.empty()) return fallback;
  int number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return fallback;
    number = number * 10 + (c - '0');
  }
  return number;
}

}  // namespace

std::string VolumeNumber(int32_t diskNumber) {
  return std::to_string(int64_t{diskNumber} + 1001).substr(1, kNumberDigits);
}

std::string VolumeLabel(int32_t diskNumber) {
  return std::string(kLabelPrefix) + VolumeNumber(diskNumber);
}

int LabelNumber(const std::string& label, int fallback) {
  if (label.compare(0, kLabelPrefix.size(), kLabelPrefix) != 0) return fallback;
  return WholeNumber(std::string_view(label).substr(kLabelPrefix.size(), kNumberDigits), fallback);
}

std::string NumberedName(const std::string& setName, int32_t diskNumber) {
  const size_t extension = ExtensionStart(setName);
  return setName.substr(0, extension) + VolumeNumber(diskNumber) + setName.substr(extension);
}

int NumberBeforeExtension(const std::string& name) {
  const size_t end = ExtensionStart(name);
  if (end < FilePartStart(name) + kNumberDigits) return 0;
  return WholeNumber(std::string_view(name).substr(end - kNumberDigits, kNumberDigits), 0);
}

std::string SetNameOf(const std::string& volumeName) {
  const size_t extension = ExtensionStart(volumeName);
  return volumeName.substr(0, extension - kNumberDigits) + volumeName.substr(extension);
}

std::string OtherVolumeName(const std::string& volumeName, int32_t diskNumber) {
  std::string name = volumeName;
  const size_t extension = ExtensionStart(name);
  const size_t nameStart = FilePartStart(name);
  const size_t start = extension >= nameStart + kNumberDigits ? extension - kNumberDigits : nameStart;
  name.replace(start, extension - start, VolumeNumber(diskNumber));
  return name;
}

}  // namespace zip
