// One extraction through the decompression engine (engine/ZipExtract.cpp): the
// command record is built, handed to the engine once, and freed.
#pragma once

#include <cstdint>
#include <string>

#include "zipbuilder/ZipBuilder.h"

class TZipBuilder::ExtractCall {
 public:
  explicit ExtractCall(TZipBuilder& owner) : zb_(owner) {}

  // mode 0 files, 1 member to memory, 2 memory to memory.
  void ExtExtract(int mode, TMemoryStream* input);

 private:
  void SetUnZipSwitches(std::string& archiveName, int32_t version);

  struct ExtractRecord;  // the extract command record and the blocks it points to
  ExtractRecord* extractRecord_ = nullptr;  // set only during the engine call
  TZipBuilder& zb_;
};
