// Clocks and time conversion.
#include "process/time.h"

#include <atomic>
#include <cstring>

#include "base/boundary.h"
#include "base/wide.h"
#include "os/os_clock.h"
#include "os/os_error.h"
#include "os/os_time.h"

using namespace qv;

namespace qv::process {

bool IsLeapYear(int64_t year) noexcept { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int64_t year, int month) noexcept {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidTime(const QVTime& t) noexcept {
  return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= DaysInMonth(t.year, t.month) && t.dayOfWeek <= 6 &&
         t.hour <= 23 && t.minute <= 59 && t.second <= 59 && t.milliseconds <= 999;
}

namespace {
std::atomic<os::SystemTimeFunction> s_systemTimeSource{nullptr};
}  // namespace

void ChooseSystemTimeSource() noexcept {
  s_systemTimeSource.store(os::ChooseSystemTimeFunction(), std::memory_order_relaxed);
}

os::SystemTimeFunction SystemTimeSource() noexcept {
  os::SystemTimeFunction source = s_systemTimeSource.load(std::memory_order_relaxed);
  if (__builtin_expect(source == nullptr, 0)) source = os::ChooseSystemTimeFunction();
  return source;
}

}  // namespace qv::process

namespace {

using process::DaysInMonth;

static_assert(sizeof(QVTime) == sizeof(os::CalendarTime));

void FromCalendar(const os::CalendarTime& c, QVTime* out) noexcept {
  *out = QVTime{c.year, c.month, c.dayOfWeek, c.day, c.hour, c.minute, c.second, c.milliseconds};
}

int32_t DayOfYear(const QVTime& t) noexcept {
  int32_t days = t.day - 1;
  for (int m = 1; m < t.month; ++m) days += DaysInMonth(t.year, m);
  return days;
}

bool IsValidTM(const QVTM& tm) noexcept {
  int64_t year = static_cast<int64_t>(tm.tm_year) + 1900;
  return year >= 0 && year <= 0xFFFF && tm.tm_mon >= 0 && tm.tm_mon <= 11 && tm.tm_mday >= 1 &&
         tm.tm_mday <= DaysInMonth(year, tm.tm_mon + 1) && tm.tm_wday >= 0 && tm.tm_wday <= 6 && tm.tm_hour >= 0 &&
         tm.tm_hour <= 23 && tm.tm_min >= 0 && tm.tm_min <= 59 && tm.tm_sec >= 0 && tm.tm_sec <= 59;
}


}  // namespace

extern "C" {

QV_API QVRESULT QVTimeGetSystem(QVTime* time) {
  if (time == nullptr) return QV_E_INVALIDARG;
  os::CalendarTime now;
  os::SystemTimeNow(&now);
  FromCalendar(now, time);
  return QV_S_OK;
}

QV_API QVRESULT QVTimeGetLocal(QVTime* time) {
  if (time == nullptr) return QV_E_INVALIDARG;
  os::CalendarTime now;
  os::LocalTimeNow(&now);
  FromCalendar(now, time);
  return QV_S_OK;
}

QV_API QVRESULT QVTimeGetPreciseTimestamp(int64_t* timestamp) {
  if (timestamp == nullptr) return QV_E_INVALIDARG;
  *timestamp = process::TimestampFrom1601(process::SystemTimeSource()());
  return QV_S_OK;
}

QV_API QVRESULT QVTimeGetTimeOfDay(QVTimeOfDay* timeOfDay) {
  if (timeOfDay == nullptr) return QV_E_INVALIDARG;
  int64_t now;
  QVTimeGetPreciseTimestamp(&now);
  process::SplitTimestamp(now, timeOfDay);
  return QV_S_OK;
}

QV_API QVRESULT QVTimeGetZone(QVTimeZone* zone) {
  if (zone == nullptr) return QV_E_INVALIDARG;
  std::memset(zone, 0, sizeof *zone);
  os::TimeZoneNow now;
  if (!os::GetTimeZoneNow(&now)) return base::LastErrorResult();
  zone->bias = now.biasSeconds;
  zone->daylight = now.daylight ? 1 : 0;
  static_assert(sizeof zone->standardName == sizeof now.standardName &&
                sizeof zone->daylightName == sizeof now.daylightName);
  std::memcpy(zone->standardName, now.standardName, sizeof now.standardName);
  std::memcpy(zone->daylightName, now.daylightName, sizeof now.daylightName);
  return QV_S_OK;
}

QV_API QVRESULT QVTimeToPosix(const QVTime* time, int32_t* seconds) {
  if (seconds == nullptr) return QV_E_INVALIDARG;
  *seconds = -1;
  // The runtime would shift month 13 or day 0 into a neighbouring date.
  if (time == nullptr || !process::IsValidTime(*time)) return QV_E_INVALIDARG;
  // Daylight saving time is that of the date converted (-1), not of today:
  // a summer date converted in winter must still name the same instant.
  os::BrokenDownTime bd{time->second, time->minute, time->hour, time->day, time->month - 1, time->year - 1900,
                        time->dayOfWeek, 0, -1};
  int64_t result;
  if (!os::LocalTimeToSeconds(bd, &result)) return QV_E_FAIL;
  if (result < 0 || result > INT32_MAX) return QV_E_FAIL;
  *seconds = static_cast<int32_t>(result);
  return QV_S_OK;
}

QV_API QVRESULT QVTimeFromPosix(int32_t seconds, QVTime* time) {
  if (time == nullptr) return QV_E_INVALIDARG;
  *time = QVTime{};
  if (seconds < 0) return QV_E_FAIL;  // before 1970
  os::BrokenDownTime bd;
  if (!os::SecondsToLocalTime(seconds, &bd)) return QV_E_FAIL;
  *time = QVTime{static_cast<uint16_t>(bd.year + 1900), static_cast<uint16_t>(bd.mon + 1),
                 static_cast<uint16_t>(bd.wday), static_cast<uint16_t>(bd.mday), static_cast<uint16_t>(bd.hour),
                 static_cast<uint16_t>(bd.min), static_cast<uint16_t>(bd.sec), 0};
  return QV_S_OK;
}

QV_API QVRESULT QVTimeToTM(const QVTime* time, QVTM* tm) {
  if (tm == nullptr) return QV_E_INVALIDARG;
  std::memset(tm, 0, sizeof *tm);
  if (time == nullptr || !process::IsValidTime(*time)) return QV_E_INVALIDARG;
  QVTimeZone zone;
  int32_t daylight = QVTimeGetZone(&zone) >= 0 ? zone.daylight : 0;
  *tm = QVTM{time->second, time->minute,        time->hour,      time->day, time->month - 1,
             time->year - 1900, time->dayOfWeek, DayOfYear(*time), daylight};
  return QV_S_OK;
}

QV_API QVRESULT QVTimeFromTM(const QVTM* tm, QVTime* time) {
  if (time == nullptr) return QV_E_INVALIDARG;
  *time = QVTime{};
  if (tm == nullptr || !IsValidTM(*tm)) return QV_E_INVALIDARG;
  *time = QVTime{static_cast<uint16_t>(tm->tm_year + 1900), static_cast<uint16_t>(tm->tm_mon + 1),
                 static_cast<uint16_t>(tm->tm_wday), static_cast<uint16_t>(tm->tm_mday),
                 static_cast<uint16_t>(tm->tm_hour), static_cast<uint16_t>(tm->tm_min),
                 static_cast<uint16_t>(tm->tm_sec), 0};
  return QV_S_OK;
}

QV_API int64_t QVPerfGetCount(void) { return os::PerfCounter(); }
QV_API int64_t QVPerfGetFreq(void) { return os::PerfFrequency(); }
QV_API uint32_t QVPerfGetCountMS(void) { return static_cast<uint32_t>(os::TickCount64()); }

}  // extern "C"
