// The ZIP64 end record of an archive, for readers of the component.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "platform/FileSystem.h"
#include "zipformat/Records.h"

// Where the record is read from: positioning and reading, each false on failure.
struct Zip64Source {
  std::function<bool(int64_t position)> seekTo;
  std::function<bool(void* destination, size_t count)> read;
};

// The ZIP64 end record, read where it must lie for an archive that ends with
// it, right in front of its locator in front of the end record at
// `endRecordOffset` (its recorded offset only counts from the archive's start,
// so a stub in front would mislead it). nullopt when no valid record and locator
// lie there. Both lie inside the file, so a positioning or read that fails
// there is a failure, not an absence: it raises kMsgInputSeekError or
// kMsgCentralHeaderReadError.
std::optional<zip::Zip64EndOfCentral> ReadZip64End(const Zip64Source& in, int64_t endRecordOffset);
std::optional<zip::Zip64EndOfCentral> ReadZip64End(platform::FileSystem& files,
                                                   platform::FileHandle h, int64_t endRecordOffset);
