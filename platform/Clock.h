#pragma once

#include <cstdint>

namespace platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Local time now as an MS-DOS date (high 16 bits) and time (low 16 bits).
  virtual uint32_t NowDosDateTime() = 0;
};

// Conversions between Unix time (UTC seconds) and local MS-DOS date and time.
uint32_t UnixToDosDateTime(int64_t unixTime);
int64_t DosDateTimeToUnix(uint32_t dosDateTime);

}  // namespace platform
