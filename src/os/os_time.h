// Calendar time, the time zone and the C runtime's local-time conversions.
#pragma once
#include <cstdint>

namespace qv::os {

// Broken-down calendar time in the layout of the Windows SYSTEMTIME.
struct CalendarTime {
  uint16_t year;
  uint16_t month;      // 1..12
  uint16_t dayOfWeek;  // 0 is Sunday
  uint16_t day;
  uint16_t hour;
  uint16_t minute;
  uint16_t second;
  uint16_t milliseconds;
};

// The current time, in UTC and in the C runtime's local zone.
void SystemTimeNow(CalendarTime* out) noexcept;
void LocalTimeNow(CalendarTime* out) noexcept;

// The zone in force now, as the C runtime sees it after re-reading TZ.
struct TimeZoneNow {
  int32_t biasSeconds;  // UTC minus local time, daylight adjustment included
  bool daylight;        // daylight saving time is in force now
  char16_t standardName[32];  // at most 31 units, zero-terminated
  char16_t daylightName[32];
};
// False with the last error set when the runtime cannot tell.
bool GetTimeZoneNow(TimeZoneNow* out) noexcept;

// The runtime's broken-down time (struct tm order, 32-bit fields).
struct BrokenDownTime {
  int32_t sec, min, hour, mday, mon, year, wday, yday, isdst;
};
// Local broken-down time to seconds since 1970 (mktime; isdst -1 lets the
// runtime decide). False with the last error set when it cannot convert.
bool LocalTimeToSeconds(const BrokenDownTime& in, int64_t* out) noexcept;
// Seconds since 1970 to local broken-down time (localtime_r).
bool SecondsToLocalTime(int64_t seconds, BrokenDownTime* out) noexcept;

}  // namespace qv::os
