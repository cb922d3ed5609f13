// What one UnzDllExec call asks for, taken out of the command record.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace unzdll {

struct ExtractOptions {
  std::string archive;
  std::vector<std::string> specs;  // empty: every member
  std::optional<std::string> password;
  uint32_t passwordRequests = 0;
  std::string baseDirectory;  // empty: the current directory
  uint16_t codePage = 0;
  bool test = false;
  bool freshen = false;
  bool update = false;
  bool keepDirectories = true;
  bool overwrite = false;

  bool toMemory = false;  // exactly one member into outBlock
  uint8_t* outBlock = nullptr;
  uint32_t outSize = 0;
  bool fromMemory = false;  // the stream header and compressed data in inBlock
  const uint8_t* inBlock = nullptr;
  uint32_t inSize = 0;
};

}  // namespace unzdll
