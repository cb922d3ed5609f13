// What formatting a drive of the prefix acts on (see PosixFormatDrive.cpp).
#pragma once

#include <string>

namespace platform {

struct FormatTarget {
  enum class Kind { None, BlockDevice, Directory };
  Kind kind = Kind::None;
  std::string path;
};

// The block device or directory drive `letter` would be formatted as, or none.
// The drive's type is the caller's to check.
FormatTarget FindFormatTarget(char letter);
// 0 after formatting and labelling, -1 when that failed, -3 when not available.
int FormatTargetWithLabel(const FormatTarget& target, const std::string& label);

}  // namespace platform
