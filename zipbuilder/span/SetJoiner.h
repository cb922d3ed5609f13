// Joining a spanned set (span/ZipSpanJoin.cpp): copies the records of a set's
// volumes, in order, into one ordinary archive. One joiner serves one
// JoinSpanSet call of its component.
#pragma once

#include <cstdint>
#include <string>

#include "zipbuilder/ZipBuilder.h"

namespace platform {
class TemporaryFile;
}

class TZipBuilder::SetJoiner {
 public:
  explicit SetJoiner(TZipBuilder& owner) : zb_(owner) {}

  // With `into`, the set is joined into that temporary file (OutFileName becomes its path).
  int JoinSpanSet(const std::string& InFileName, std::string& OutFileName,
                  platform::TemporaryFile* into = nullptr);

 private:
  // Writes to the output file handle; a short write raises `messageId`.
  void WriteJoin(const void* buffer, int64_t length, int messageId);
  // Copies `length` bytes from the volumes of a set to the output file handle
  // (see MoveBlocks), moving to the next volume where one ends.
  void RWJoinData(int64_t length, int messageId);
  // The next record of `size` bytes from the volumes (moving to the next volume
  // where the current one ends); raises `messageId` when the record is cut.
  void ReadVolumeRecord(uint8_t* record, size_t size, int messageId);
  void ReadAcrossVolumes(void* buffer, int64_t length, int messageId);
  bool AtEndOfVolume();

  TZipBuilder& zb_;
};
