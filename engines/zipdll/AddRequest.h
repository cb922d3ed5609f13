// One add or delete command, read from either command record layout into plain
// C++ values so that the rest of the engine never looks at the record again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engines/ZipEngineApi.h"

namespace zipdll {

struct FileSpec {
  std::string spec;
  std::optional<std::string> password;  // the entry's own, or the record's
  bool encrypt = false;
  bool recurse = false;
  std::string rootDir;
};

struct AddRequest {
  std::string archive;
  std::string keepFrom;  // the archive read for the members kept; empty: `archive`
  std::string tempDir;
  std::optional<std::string> comment;   // replaces the archive comment when set
  std::optional<std::string> password;  // the record's password
  bool storeLinks = false;  // a symbolic link becomes a link member holding its target
  uint32_t aesKeyBits = 0;  // encrypt with AES keys of this length; 0: the traditional cipher
  std::vector<std::string> storeSuffixes;  // ".gif", ".png" ... lower case
  bool hiddenFiles = false;
  bool noDirEntries = false;
  bool verbose = false;
  int level = 9;
  bool junkDirs = false;
  bool forceDos = false;
  bool move = false;
  bool moveToTrash = false;
  bool deleteEntries = false;
  bool update = false;
  bool freshen = false;
  bool latestTime = false;
  bool archiveOnly = false;
  bool resetArchive = false;
  std::vector<FileSpec> specs;
  std::vector<std::string> exclusions;

  // Streams (current layout only).
  bool useOutStream = false;
  uint8_t* outStream = nullptr;
  uint32_t* outStreamSize = nullptr;  // in: capacity; out: bytes produced
  bool useInStream = false;
  const uint8_t* inStream = nullptr;
  uint32_t inStreamSize = 0;
  uint32_t streamAttributes = 0;
  uint32_t streamDateTime = 0;
};

// Reads the record; false when neither layout's check field holds 7.
bool ReadAddRequest(void* record, AddRequest& request);

}  // namespace zipdll
