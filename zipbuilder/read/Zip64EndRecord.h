// The ZIP64 end record of an archive, for readers of the component.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/FileSystem.h"
#include "zipformat/Records.h"

// The ZIP64 end record, read where it must lie for an archive that ends with
// it, right in front of its locator (its recorded offset only counts from the
// archive's start); nullopt when there is none.
std::optional<zip::Zip64EndOfCentral> ReadZip64End(platform::FileSystem& files,
                                                   platform::FileHandle h, int64_t endRecordOffset);
