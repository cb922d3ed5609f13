// Reading resources out of PE files (Windows executables and DLLs) without
// running them: the version resource with the meanings of GetFileVersionInfoSizeA,
// GetFileVersionInfoA and VerQueryValueA.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "zipformat/PeImage.h"

namespace platform {

class FileSystem;

// The bytes of the first resource of `type` (first name, first language), or nullopt
// when the image is no PE file or has no such resource. Never throws for bad input.
std::optional<std::vector<uint8_t>> ReadFirstResource(const zip::ByteSource& image, uint32_t type);

// ExtractIconA for icon 0: the program's first icon group as the bytes of an .ico
// file. `isImage` false: not a PE file (the call's answer 1); no icon: answer 0.
struct IconLookup {
  bool isImage = false;
  std::optional<std::vector<uint8_t>> icon;
};
IconLookup ExtractIconA(FileSystem& files, const std::string& path);

// GetFileVersionInfoSizeA: the size of the file's version information, 0 when the file
// is missing, no PE file, or has no version resource.
uint32_t GetFileVersionInfoSizeA(FileSystem& files, const std::string& path);

// GetFileVersionInfoA: the version information block, at most `size` bytes of it;
// nullopt when it cannot be read.
std::optional<std::vector<uint8_t>> GetFileVersionInfoA(FileSystem& files, const std::string& path,
                                                        uint32_t size);

// One value found by VerQueryValueA.
struct VersionValue {
  bool isText = false;
  // For text values: the stored length in characters (terminator included, as
  // written); for binary values: the length in bytes.
  uint32_t length = 0;
  std::string text;            // text values, converted from UTF-16 to UTF-8, up to the terminator
  std::vector<uint8_t> bytes;  // binary values, as stored
};

// VerQueryValueA on a block read by GetFileVersionInfoA. `subBlock` is "\" (the fixed
// file info), "\VarFileInfo\Translation" or "\StringFileInfo\<lang><cp>\<name>"; keys
// compare case-insensitively. Nullopt when the path names no value.
std::optional<VersionValue> VerQueryValueA(const std::vector<uint8_t>& block, const std::string& subBlock);

}  // namespace platform
