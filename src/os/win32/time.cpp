// Calendar time from the system clock; the local zone is the C runtime's
// (which follows TZ when it is set, else the Windows zone settings).
#include <windows.h>

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <iterator>

#include "os/os_error.h"
#include "os/os_time.h"

namespace qv::os {

namespace {

constexpr uint64_t kEpochDelta1601 = 116444736000000000ULL;

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

// Zone names come in the ANSI code page; they are only shown.
void CopyShownName(const char* name, char16_t (&dst)[32]) noexcept {
  int n = name ? MultiByteToWideChar(CP_ACP, 0, name, -1, reinterpret_cast<wchar_t*>(dst), std::size(dst)) : 0;
  if (n <= 0) {
    dst[0] = 0;
    dst[std::size(dst) - 1] = 0;
    return;
  }
  dst[n - 1] = 0;
}

bool Fail(int err) noexcept {
  StoreLastError(err == ENOMEM ? kErrorOutOfMemory : kErrorInvalidParameter);
  return false;
}

}  // namespace

void SystemTimeNow(CalendarTime* out) noexcept {
  SYSTEMTIME st;
  GetSystemTime(&st);
  *out = CalendarTime{st.wYear, st.wMonth, st.wDayOfWeek, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

void LocalTimeNow(CalendarTime* out) noexcept {
  FILETIME ft;
  GetSystemTimePreciseAsFileTime(&ft);
  uint64_t ticks = ((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) - kEpochDelta1601;
  __time64_t seconds = static_cast<__time64_t>(ticks / 10000000ULL);
  // Re-read TZ, as the Windows zone settings count from the moment they change.
  _tzset();
  tm t{};
  _localtime64_s(&t, &seconds);
  FromTm(t, static_cast<uint16_t>(ticks / 10000ULL % 1000ULL), out);
}

bool GetTimeZoneNow(TimeZoneNow* out) noexcept {
  *out = TimeZoneNow{};
  _tzset();
  __time64_t now = _time64(nullptr);
  tm t{};
  if (int err = _localtime64_s(&t, &now); err != 0) return Fail(err);
  // The runtime's zone variables, as _tzset left them.
  out->daylight = t.tm_isdst > 0;
  out->biasSeconds = static_cast<int32_t>(_timezone + (out->daylight ? _dstbias : 0));
  CopyShownName(_tzname[0], out->standardName);
  CopyShownName(_tzname[1], out->daylightName);
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
  // -1 is also a valid result, so success is told apart by the runtime
  // writing the day of week, which it does only then.
  t.tm_wday = -1;
  _tzset();
  __time64_t result = _mktime64(&t);
  if (result == static_cast<__time64_t>(-1) && t.tm_wday == -1) return Fail(EOVERFLOW);
  *out = static_cast<int64_t>(result);
  return true;
}

bool SecondsToLocalTime(int64_t seconds, BrokenDownTime* out) noexcept {
  _tzset();
  __time64_t value = static_cast<__time64_t>(seconds);
  tm t{};
  if (int err = _localtime64_s(&t, &value); err != 0) return Fail(err);
  *out = BrokenDownTime{t.tm_sec, t.tm_min, t.tm_hour, t.tm_mday, t.tm_mon, t.tm_year, t.tm_wday, t.tm_yday, t.tm_isdst};
  return true;
}

}  // namespace qv::os
