// Local time through the system's own conversions (FileTimeToLocalFileTime and
// FileTimeToDosDateTime): the zone's current offset applies to every date.
#include "platform/Clock.h"
#include "platform/win32/FileTimes.h"

namespace platform {
namespace win32 {

constexpr int64_t kUnixEpochAsFileTime = 116444736000000000LL;  // 1970-01-01 in 100 ns since 1601
constexpr int64_t kTicksPerSecond = 10000000;
constexpr uint32_t kFirstDosDay = (1u << 21) | (1u << 16);  // 1980-01-01 00:00:00

int64_t UnixFromFileTime(const FILETIME& time) {
  const int64_t ticks = (static_cast<int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return (ticks - kUnixEpochAsFileTime) / kTicksPerSecond;
}

FILETIME FileTimeFromUnix(int64_t unixTime) {
  const uint64_t ticks = static_cast<uint64_t>(unixTime * kTicksPerSecond + kUnixEpochAsFileTime);
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

uint32_t DosFromFileTime(const FILETIME& time) {
  FILETIME local;
  WORD date = 0, clock = 0;
  if (!FileTimeToLocalFileTime(&time, &local) || !FileTimeToDosDateTime(&local, &date, &clock))
    return kFirstDosDay;  // before 1980 (or past 2107): the first day there is
  return (static_cast<uint32_t>(date) << 16) | clock;
}

FILETIME FileTimeFromDos(uint32_t dosDateTime) {
  FILETIME local{}, utc{};
  DosDateTimeToFileTime(static_cast<WORD>(dosDateTime >> 16), static_cast<WORD>(dosDateTime), &local);
  LocalFileTimeToFileTime(&local, &utc);
  return utc;
}

}  // namespace win32

uint32_t UnixToDosDateTime(int64_t unixTime) {
  if (unixTime < 315532800) return win32::kFirstDosDay;  // before 1980 in any zone's terms
  return win32::DosFromFileTime(win32::FileTimeFromUnix(unixTime));
}

int64_t DosDateTimeToUnix(uint32_t dosDateTime) {
  return win32::UnixFromFileTime(win32::FileTimeFromDos(dosDateTime));
}

namespace {
class SystemClock : public Clock {
 public:
  uint32_t NowDosDateTime() override {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return win32::DosFromFileTime(now);
  }
};
}  // namespace

Clock& SystemClockInstance() {
  static SystemClock clock;
  return clock;
}

}  // namespace platform
