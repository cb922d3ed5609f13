// Conversions between the system's file times (100 ns since 1601 UTC), Unix
// time and local MS-DOS date and time.
#pragma once

#include <cstdint>

#include "platform/win32/WindowsApi.h"

namespace platform::win32 {

int64_t UnixFromFileTime(const FILETIME& time);
FILETIME FileTimeFromUnix(int64_t unixTime);
// Local MS-DOS date (high) and time (low) of a UTC file time; 1980-01-01 before 1980.
uint32_t DosFromFileTime(const FILETIME& time);
// The UTC file time of a local MS-DOS date and time.
FILETIME FileTimeFromDos(uint32_t dosDateTime);

}  // namespace platform::win32
