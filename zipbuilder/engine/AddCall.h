// One add or delete through the compression engine (engine/ZipAdd.cpp): the
// command record is built, handed to the engine once, and freed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "zipbuilder/ZipBuilder.h"

class TZipBuilder::AddCall {
 public:
  explicit AddCall(TZipBuilder& owner) : zb_(owner) {}

  // mode 0 files, 1 stream to file, 2 stream to stream.
  void ExtAdd(int mode, uint32_t dateTime, uint32_t attributes, TMemoryStream* input);
  // The engine call that adding and deleting share: a record for `archiveName` in
  // the layout `version` calls for, the common setup, `build` for the operation's own
  // fields, then ZipDllExec once (SuccessCount := its result) and `afterExec`.
  // Any exception is reported as 10101. Both specification lists are cleared.
  void ExecAddRecord(int32_t version, const std::string& archiveName, const std::function<void(AddRecord&)>& build,
                     const std::function<void(AddRecord&)>& afterExec = nullptr);

 private:
  // Appends ".ext:" for suffix `value` (extension number `index`) when it is in AddStoreSuffixes.
  void AddSuffix(AddStoreSuffix value, std::string& list, int index);
  // After the engine built `temporary` for a spanned add: writes the set, names
  // its last volume as the archive on fixed and network drives, and removes
  // `temporary` unless the set could not be completed.
  void WriteSpanFromTemporary(const std::string& temporary);
  void SetZipSwitches(const std::string& archiveName, int32_t version);

  AddRecord* addRecord_ = nullptr;  // set only during one add or delete
  TZipBuilder& zb_;
};
