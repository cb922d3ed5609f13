#include <ctime>

#include "platform/Clock.h"

namespace platform {

uint32_t UnixToDosDateTime(int64_t unixTime) {
  time_t t = static_cast<time_t>(unixTime);
  struct tm tm;
  if (!localtime_r(&t, &tm)) return 0;
  int year = tm.tm_year + 1900;
  if (year < 1980) return (1u << 21) | (1u << 16);  // 1980-01-01 00:00:00
  if (year > 2107) year = 2107;
  uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
  uint32_t time = static_cast<uint32_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
  return (date << 16) | time;
}

int64_t DosDateTimeToUnix(uint32_t dosDateTime) {
  struct tm tm = {};
  uint32_t date = dosDateTime >> 16, time = dosDateTime & 0xFFFF;
  tm.tm_year = static_cast<int>((date >> 9) & 0x7F) + 80;
  tm.tm_mon = static_cast<int>((date >> 5) & 0x0F) - 1;
  tm.tm_mday = static_cast<int>(date & 0x1F);
  tm.tm_hour = static_cast<int>((time >> 11) & 0x1F);
  tm.tm_min = static_cast<int>((time >> 5) & 0x3F);
  tm.tm_sec = static_cast<int>((time & 0x1F) * 2);
  if (tm.tm_mon < 0) tm.tm_mon = 0;
  if (tm.tm_mday == 0) tm.tm_mday = 1;
  // The local time read as UTC, less the zone's offset at that moment (two
  // steps find it across a change of offset). Unlike mktime, localtime_r does
  // not look at the zone file again on every call.
  const time_t asUtc = timegm(&tm);
  auto offsetAt = [](time_t t) {
    struct tm local;
    return localtime_r(&t, &local) ? local.tm_gmtoff : 0;
  };
  const time_t first = asUtc - offsetAt(asUtc);
  return static_cast<int64_t>(asUtc - offsetAt(first));
}

namespace {
class SystemClock : public Clock {
 public:
  uint32_t NowDosDateTime() override { return UnixToDosDateTime(static_cast<int64_t>(::time(nullptr))); }
};
}  // namespace

Clock& SystemClockInstance() {
  static SystemClock clock;
  return clock;
}

}  // namespace platform
