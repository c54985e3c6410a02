#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <string>

#include "os/os_error.h"
#include "os/os_time.h"
#include "os/posix/codeset.h"
#include "os/posix/errno_map.h"

namespace qv::os {

namespace {

void FromTm(const tm& t, uint16_t milliseconds, CalendarTime* out) noexcept {
  out->year = static_cast<uint16_t>(t.tm_year + 1900);
  out->month = static_cast<uint16_t>(t.tm_mon + 1);
  out->dayOfWeek = static_cast<uint16_t>(t.tm_wday);
  out->day = static_cast<uint16_t>(t.tm_mday);
  out->hour = static_cast<uint16_t>(t.tm_hour);
  out->minute = static_cast<uint16_t>(t.tm_min);
  out->second = static_cast<uint16_t>(t.tm_sec);
  out->milliseconds = milliseconds;
}

void CopyName(const char* name, char (&dst)[64]) noexcept {
  size_t n = 0;
  for (; name != nullptr && n + 1 < sizeof dst && name[n] != '\0'; ++n) dst[n] = name[n];
  dst[n] = '\0';
}

// The least and greatest offsets in force during one year, with the names
// in force at them. Weekly samples see every daylight period the zones have;
// the scan is kept per thread for the zone and year it was made for.
struct YearOffsets {
  bool valid = false;
  int year = 0;
  bool tzSet = false;
  char tz[256] = "";
  long runtimeStandard = 0;
  char runtimeNames[2][64] = {"", ""};
  long least = 0, greatest = 0;
  char leastName[64] = "", greatestName[64] = "";
};

thread_local YearOffsets t_yearOffsets;

bool SameName(const char* a, const char (&b)[64]) noexcept {
  return std::strncmp(a != nullptr ? a : "", b, sizeof b - 1) == 0;
}

const YearOffsets& OffsetsOfYear(int tmYear) noexcept {
  YearOffsets& y = t_yearOffsets;
  const char* tz = std::getenv("TZ");
  bool cacheable = tz == nullptr || std::strlen(tz) < sizeof y.tz;
  if (cacheable && y.valid && y.year == tmYear && y.tzSet == (tz != nullptr) &&
      std::strcmp(y.tz, tz != nullptr ? tz : "") == 0 && y.runtimeStandard == -timezone &&
      SameName(tzname[0], y.runtimeNames[0]) && SameName(tzname[1], y.runtimeNames[1]))
    return y;
  y.valid = false;
  y.year = tmYear;
  y.tzSet = tz != nullptr;
  if (cacheable) std::strcpy(y.tz, tz != nullptr ? tz : "");
  y.runtimeStandard = -timezone;
  CopyName(tzname[0], y.runtimeNames[0]);
  CopyName(tzname[1], y.runtimeNames[1]);
  y.least = y.greatest = -timezone;
  CopyName(tzname[0], y.leastName);
  CopyName(tzname[0], y.greatestName);
  tm yearStart{};
  yearStart.tm_year = tmYear;
  yearStart.tm_mday = 1;
  time_t first = timegm(&yearStart);
  constexpr time_t kWeek = 7 * 24 * 3600;
  for (int week = -1; week <= 53; ++week) {
    time_t sample = first + week * kWeek;
    tm s{};
    if (localtime_r(&sample, &s) == nullptr || s.tm_year != tmYear) continue;
    if (s.tm_gmtoff < y.least) {
      y.least = s.tm_gmtoff;
      CopyName(s.tm_zone, y.leastName);
    }
    if (s.tm_gmtoff > y.greatest) {
      y.greatest = s.tm_gmtoff;
      CopyName(s.tm_zone, y.greatestName);
    }
  }
  y.valid = cacheable;
  return y;
}

// Zone names are only shown: an undecodable byte is replaced, and a
// character that does not fit whole is left out.
void CopyShownName(const char* name, char16_t (&dst)[32]) {
  std::u16string wide = posix::NarrowToUtf16Shown(name ? name : "");
  size_t n = std::min(wide.size(), std::size(dst) - 1);
  if (n > 0 && n < wide.size() && wide[n - 1] >= 0xD800 && wide[n - 1] < 0xDC00) --n;
  std::copy_n(wide.begin(), n, dst);
  dst[n] = 0;
}

}  // namespace

void SystemTimeNow(CalendarTime* out) noexcept {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  tm t{};
  gmtime_r(&ts.tv_sec, &t);
  FromTm(t, static_cast<uint16_t>(ts.tv_nsec / 1000000), out);
}

void LocalTimeNow(CalendarTime* out) noexcept {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  // localtime_r reads TZ only once; tzset makes a changed TZ count, as the
  // Windows zone settings count from the moment they change.
  tzset();
  tm t{};
  localtime_r(&ts.tv_sec, &t);
  FromTm(t, static_cast<uint16_t>(ts.tv_nsec / 1000000), out);
}

bool GetTimeZoneNow(TimeZoneNow* out) noexcept {
  *out = TimeZoneNow{};
  tzset();
  time_t now = time(nullptr);
  tm t{};
  if (localtime_r(&now, &t) == nullptr) {
    StoreLastErrorFromErrno(errno ? errno : EOVERFLOW);
    return false;
  }
  out->biasSeconds = static_cast<int32_t>(-t.tm_gmtoff);
  // The runtime's tm_isdst and tzname follow the zone data, which may call
  // winter the daylight period (negative DST, Europe/Dublin). Daylight here
  // means ahead of the year's standard offset: the least of the offsets in
  // force during the year and the runtime's own standard offset.
  const YearOffsets& year = OffsetsOfYear(t.tm_year);
  out->daylight = t.tm_gmtoff > year.least;
  // Without a daylight offset this year, the runtime's daylight name.
  const char* daylightName = year.least == year.greatest ? tzname[1] : year.greatestName;
  try {
    // A period shorter than the samples' step still names itself while in force.
    CopyShownName(t.tm_gmtoff < year.least ? t.tm_zone : year.leastName, out->standardName);
    CopyShownName(t.tm_gmtoff > year.greatest ? t.tm_zone : daylightName, out->daylightName);
  } catch (const std::bad_alloc&) {
    StoreLastError(kErrorOutOfMemory);
    return false;
  }
  return true;
}

bool LocalTimeToSeconds(const BrokenDownTime& in, int64_t* out) noexcept {
  tm t{};
  t.tm_sec = in.sec;
  t.tm_min = in.min;
  t.tm_hour = in.hour;
  t.tm_mday = in.mday;
  t.tm_mon = in.mon;
  t.tm_year = in.year;
  t.tm_yday = in.yday;
  t.tm_isdst = in.isdst;
  // -1 is also a valid result (one second before 1970), so success is told
  // apart by the runtime writing the day of week, which it does only then.
  t.tm_wday = -1;
  errno = 0;
  time_t result = mktime(&t);
  if (result == static_cast<time_t>(-1) && t.tm_wday == -1) {
    StoreLastErrorFromErrno(errno ? errno : EOVERFLOW);
    return false;
  }
  *out = static_cast<int64_t>(result);
  return true;
}

bool SecondsToLocalTime(int64_t seconds, BrokenDownTime* out) noexcept {
  tzset();
  time_t value = static_cast<time_t>(seconds);
  tm t{};
  if (localtime_r(&value, &t) == nullptr) {
    StoreLastErrorFromErrno(errno ? errno : EOVERFLOW);
    return false;
  }
  *out = BrokenDownTime{t.tm_sec, t.tm_min, t.tm_hour, t.tm_mday, t.tm_mon, t.tm_year, t.tm_wday, t.tm_yday, t.tm_isdst};
  return true;
}

}  // namespace qv::os
