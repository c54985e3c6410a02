#include <time.h>

#include <algorithm>
#include <cerrno>
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

// Zone names are only shown: an undecodable byte is replaced, and a
// character that does not fit whole is left out.
void CopyName(const char* name, char16_t (&dst)[32]) {
  std::u16string wide = posix::NarrowToUtf16Shown(name ? name : "");
  size_t n = std::min(wide.size(), std::size(dst) - 1);
  if (n > 0 && n < wide.size() && wide[n - 1] >= 0xD800 && wide[n - 1] < 0xDC00) --n;
  std::copy_n(wide.begin(), n, dst);
  dst[n] = 0;
}

}  // namespace

void GetSystemTime(CalendarTime* out) noexcept {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  tm t{};
  gmtime_r(&ts.tv_sec, &t);
  FromTm(t, static_cast<uint16_t>(ts.tv_nsec / 1000000), out);
}

void GetLocalTime(CalendarTime* out) noexcept {
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
    SetLastErrorFromErrno(errno ? errno : EOVERFLOW);
    return false;
  }
  out->biasSeconds = static_cast<int32_t>(-t.tm_gmtoff);
  out->daylight = t.tm_isdst > 0;
  try {
    CopyName(tzname[0], out->standardName);
    CopyName(tzname[1], out->daylightName);
  } catch (const std::bad_alloc&) {
    SetLastError(kErrorOutOfMemory);
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
    SetLastErrorFromErrno(errno ? errno : EOVERFLOW);
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
    SetLastErrorFromErrno(errno ? errno : EOVERFLOW);
    return false;
  }
  *out = BrokenDownTime{t.tm_sec, t.tm_min, t.tm_hour, t.tm_mday, t.tm_mon, t.tm_year, t.tm_wday, t.tm_yday, t.tm_isdst};
  return true;
}

}  // namespace qv::os
