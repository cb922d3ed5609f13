// Writing a spanned set (span/ZipSpanWrite.cpp): copies a single-file archive
// onto volumes, opening, naming and closing them as they fill. One writer
// serves one WriteSpanSet call of its component.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "zipbuilder/ZipBuilder.h"

namespace platform {
class TemporaryFile;
}

class TZipBuilder::SetWriter {
 public:
  explicit SetWriter(TZipBuilder& owner) : zb_(owner) {}

  // `alsoReads`: another file the caller reads, which no volume may be.
  int WriteSpanSet(const std::string& InFileName, const std::string& OutFileName,
                   const std::string& alsoReads = "");

 private:
  // Writes to the set, opening volumes as needed; a record of `mustFit` bytes
  // starts a new volume when the open one has less room.
  void WriteSplit(const void* buffer, int64_t length, int64_t mustFit);
  // Copies `length` bytes from the input file handle to the set (see
  // MoveBlocks); a short read raises `messageId`.
  void RWSplitData(int64_t length, int messageId);
  // WriteSplit's placing: `put(n)` writes the next n bytes to the open volume.
  void PlaceOnVolumes(int64_t length, int64_t mustFit, const std::function<void(int64_t)>& put);
  // Gives a complete volume its name; raises a write error when it cannot.
  void NameVolume(std::string& name, platform::TemporaryFile& volume);
  // The set is complete: every volume takes its name, and numbered files left
  // from an older, longer set of the name are removed.
  void NameCompleteSet();
  // Prompts, formats, confirms, creates, measures and labels the volume of the
  // current disk number, restarting until one is open.
  void SetUpVolume();
  // The open volume is done: it gets the input's date and is closed; the next
  // write begins the next volume.
  void CloseVolume(bool nextDisk);
  // The questions of the volume set-up: true to go on with this disk, false for another one.
  bool ConfirmOverwrite(const std::string& name);
  bool ConfirmSpace(const std::string& name);
  // Raises the OnStatusDisk event and answers its action.
  TZipDiskAction AskStatusDisk(const std::string& name, TZipDiskStatus status);

  TZipBuilder& zb_;
  struct SetOutput;  // the volumes being written
  SetOutput* setOutput_ = nullptr;  // set only while a set is written
};
