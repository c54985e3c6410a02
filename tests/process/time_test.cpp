#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <ctime>
#include <string>

#include "qvcore5/qvcore.h"
#include "support/results_and_text.h"
#include "support/test_support.h"

namespace {

#if defined(_WIN32)
// The runtime's names for the POSIX calls the tests use.
void gmtime_r(const time_t* t, tm* out) { gmtime_s(out, t); }
time_t timegm(tm* t) { return _mkgmtime(t); }
#endif

// Zone rules in POSIX syntax (start and end dates, names in brackets): the
// Windows runtime reads a name, an offset and a daylight name only.
#if defined(_WIN32)
#define SKIP_WITHOUT_POSIX_ZONE_RULES() GTEST_SKIP() << "TZ rules in POSIX syntax"
#else
#define SKIP_WITHOUT_POSIX_ZONE_RULES() (void)0
#endif

// Sets TZ for the test's duration; the zone is reread after the old value is back.
struct ScopedTZ {
  struct Reread { ~Reread() { tzset(); } } reread;
  qvtest::ScopedEnv env;
  explicit ScopedTZ(const std::string& tz) : env("TZ", tz.c_str()) { tzset(); }
};

// A zone whose 80-day daylight period lies around today (`now`) or half a year away: one hour east of
// UTC, daylight one hour more, unless `rules` gives other names and offsets.
std::string ZoneWithDaylight(bool now, const std::string& rules = "XST-1XDT") {
  time_t t = time(nullptr);
  tm today{};
  gmtime_r(&t, &today);
  int centre = today.tm_yday + (now ? 0 : 182);
  auto julian = [](int day) { return std::to_string((day % 365 + 365) % 365 + 1); };
  return rules + ",J" + julian(centre - 40) + ",J" + julian(centre + 40);
}

QVTime MakeTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int weekday = 0) {
  return QVTime{uint16_t(year), uint16_t(month), uint16_t(weekday), uint16_t(day), uint16_t(hour), uint16_t(minute), uint16_t(second), 0};
}

// The record's fields read as UTC, computed without the library.
int64_t AsUtcSeconds(const QVTime& t) {
  tm x{};
  x.tm_year = t.year - 1900, x.tm_mon = t.month - 1, x.tm_mday = t.day, x.tm_hour = t.hour, x.tm_min = t.minute, x.tm_sec = t.second;
  return timegm(&x);
}

int WeekdayOf(int64_t seconds) { return static_cast<int>((seconds / 86400 + 4) % 7); }

}  // namespace

TEST(Clocks, PreciseFollowsTheSystemClockIn100NsStepsSystemIsUtcAndLocalFollowsTheZone) {
  auto nowNs = [] { return std::chrono::system_clock::now().time_since_epoch() / std::chrono::nanoseconds(1); };
  int64_t before = nowNs(), stamp = 0;
  QVTimeOfDay tod{};
  ASSERT_EQ(QVTimeGetPreciseTimestamp(&stamp), QV_S_OK);
  ASSERT_EQ(QVTimeGetTimeOfDay(&tod), QV_S_OK);
  int64_t after = nowNs(), todNs = tod.seconds * 1000000000 + tod.nanoseconds;
  EXPECT_GE(stamp, before - 100);
  EXPECT_EQ(stamp % 100, 0);
  EXPECT_GE(todNs, stamp);
  EXPECT_LE(todNs, after);
  ScopedTZ zone("XST-1");
  int64_t t0 = time(nullptr);
  QVTime utc{}, local{};
  ASSERT_EQ(QVTimeGetSystem(&utc) + QVTimeGetLocal(&local), QV_S_OK);
  int64_t t1 = time(nullptr);
  for (auto [t, offset] : {std::pair{utc, 0}, {local, 3600}}) {
    EXPECT_TRUE(AsUtcSeconds(t) - offset >= t0 && AsUtcSeconds(t) - offset <= t1) << offset;
    EXPECT_EQ(t.dayOfWeek, WeekdayOf(AsUtcSeconds(t)));
  }
}

TEST(TimeZone, BiasDaylightAndNamesOfTheZoneNow) {
  SKIP_WITHOUT_POSIX_ZONE_RULES();
  const struct { std::string tz; int32_t bias, daylight; std::u16string standard, daylightName; } rows[] = {
      {"XST-1", -3600, 0, u"XST", u"XST"}, {ZoneWithDaylight(true), -7200, 1, u"XST", u"XDT"},
      {ZoneWithDaylight(false), -3600, 0, u"XST", u"XDT"},
      {"<ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghij>-1<" + std::string(41, 'D') + ">,J1/0,J365/25", -7200, 1,
       u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcde", std::u16string(31, u'D')}};  // cut at 31 units
  for (const auto& r : rows) {
    ScopedTZ zone(r.tz);
    QVTimeZone z;
    std::memset(&z, 0xA5, sizeof z);
    ASSERT_EQ(QVTimeGetZone(&z), QV_S_OK);
    EXPECT_EQ(std::tuple(z.bias, z.daylight, qvtest::U16(z.standardName), qvtest::U16(z.daylightName)),
              std::tuple(r.bias, r.daylight, r.standard, r.daylightName)) << r.tz;
    for (size_t i = r.standard.size(); i < 32; ++i) EXPECT_EQ(z.standardName[i], 0) << i;  // cleared, not leftovers
  }
}

TEST(PosixSeconds, RangeIsThe32BitPosixRange) {
  ScopedTZ zone("XST-1");
  QVTime t;
  std::memset(&t, 0xFF, sizeof t);
  ASSERT_EQ(QVTimeFromPosix(0, &t), QV_S_OK);
  QVTime expected = MakeTime(1970, 1, 1, 1, 0, 0, 4);  // one hour east: Thursday one o'clock
  EXPECT_EQ(std::memcmp(&t, &expected, sizeof t), 0);
  ScopedTZ utc("UTC0");
  ASSERT_EQ(QVTimeFromPosix(INT32_MAX, &t), QV_S_OK);
  EXPECT_EQ(AsUtcSeconds(t), INT32_MAX);
  std::memset(&t, 0xFF, sizeof t);
  EXPECT_EQ(QVTimeFromPosix(-1, &t), QV_E_FAIL);
  EXPECT_EQ(AsUtcSeconds(t) + t.milliseconds, AsUtcSeconds(QVTime{}));  // left all zero
  // Daylight time is that of the date: 12:00 New York is 17:00 UTC in winter, 16:00 in summer.
  [[maybe_unused]] const char *U = "UTC0", *NY = "EST5EDT,M3.2.0,M11.1.0";
  const struct { const char* tz; QVTime time; QVRESULT result; int32_t seconds; } rows[] = {
      {U, MakeTime(1970, 1, 1), QV_S_OK, 0}, {U, MakeTime(2038, 1, 19, 3, 14, 7), QV_S_OK, INT32_MAX},
      {U, MakeTime(2038, 1, 19, 3, 14, 8), QV_E_FAIL, -1}, {U, MakeTime(1969, 12, 31, 23, 59, 59), QV_E_FAIL, -1},
      {U, MakeTime(65535, 1, 1), QV_E_FAIL, -1}, {U, MakeTime(2024, 2, 29, 23, 59, 59), QV_S_OK, 1709251199},
#if !defined(_WIN32)  // zone rules
      {NY, MakeTime(2026, 1, 15, 12), QV_S_OK, 1768496400}, {NY, MakeTime(2026, 7, 1, 12), QV_S_OK, 1782921600},
#endif
  };
  for (const auto& r : rows) {
    ScopedTZ zone(r.tz);
    int32_t s = 7;
    EXPECT_EQ(QVTimeToPosix(&r.time, &s), r.result) << r.time.year;
    EXPECT_EQ(s, r.seconds) << r.time.year;
  }
}

TEST(PosixSeconds, RoundTripsWhetherOrNotDaylightTimeIsInForceToday) {
  SKIP_WITHOUT_POSIX_ZONE_RULES();
  int32_t now = static_cast<int32_t>(time(nullptr)), back = 0;
  QVTime local{};
  for (bool daylightNow : {true, false})
    for (int32_t instant : {now, now + 182 * 86400}) {
      ScopedTZ zone(ZoneWithDaylight(daylightNow));
      EXPECT_TRUE(QVTimeFromPosix(instant, &local) == QV_S_OK && QVTimeToPosix(&local, &back) == QV_S_OK && back == instant)
          << "daylight now: " << daylightNow << ", " << instant;
    }
}

TEST(PosixSeconds, OutOfRangeFieldsAreRefusedNotShifted) {
  ScopedTZ zone("UTC0");
  QVTime bad[] = {MakeTime(2024, 13, 1), MakeTime(2024, 0, 1), MakeTime(2024, 1, 0), MakeTime(2025, 2, 29),
                  MakeTime(2024, 4, 31), MakeTime(2024, 1, 1, 24), MakeTime(2024, 1, 1, 0, 60),
                  MakeTime(2024, 1, 1, 0, 0, 60), MakeTime(2024, 1, 1), MakeTime(2024, 1, 1, 0, 0, 0, 7)};
  bad[8].milliseconds = 1000;
  for (const QVTime& t : bad) {
    int32_t s = 7;
    QVTM tm{};
    EXPECT_TRUE(QVTimeToPosix(&t, &s) == QV_E_INVALIDARG && s == -1 && QVTimeToTM(&t, &tm) == QV_E_INVALIDARG)
        << t.year << "-" << t.month << "-" << t.day;
  }
}

TEST(BrokenDown, RoundTripFillsTheDayOfYearAndTodaysDaylightFlagAndRefusesBadFields) {
  SKIP_WITHOUT_POSIX_ZONE_RULES();
  QVTime t = MakeTime(2024, 3, 1, 13, 45, 10, 5), back;
  QVTM tm{};
  for (bool daylightNow : {false, true}) {
    ScopedTZ zone(ZoneWithDaylight(daylightNow));
    ASSERT_EQ(QVTimeToTM(&t, &tm), QV_S_OK);
    QVTM expected{10, 45, 13, 1, 2, 124, 5, 60, daylightNow};  // day 60: leap year
    EXPECT_EQ(std::memcmp(&tm, &expected, sizeof tm), 0);
  }
  std::memset(&back, 0xFF, sizeof back);
  ASSERT_EQ(QVTimeFromTM(&tm, &back), QV_S_OK);
  EXPECT_EQ(std::memcmp(&back, &t, sizeof t), 0);
  for (auto spoil : {+[](QVTM& x) { x.tm_mon = 12; }, +[](QVTM& x) { x.tm_mday = 0; }, +[](QVTM& x) { x.tm_sec = 60; },
                     +[](QVTM& x) { x.tm_wday = -1; }, +[](QVTM& x) { x.tm_year = INT32_MAX; }}) {
    QVTM badTm = tm;
    spoil(badTm), std::memset(&back, 0xFF, sizeof back);
    EXPECT_TRUE(QVTimeFromTM(&badTm, &back) == QV_E_INVALIDARG && back.year == 0);
  }
}

TEST(Counters, PerformanceCounterAndTickAdvanceWithTheSteadyClock) {
  int64_t frequency = QVPerfGetFreq(), c0 = QVPerfGetCount();
  uint32_t m0 = QVPerfGetCountMS();
  for (auto t0 = std::chrono::steady_clock::now(); std::chrono::steady_clock::now() - t0 < std::chrono::milliseconds(30);)
    QVThreadYield();
  double seconds = double(QVPerfGetCount() - c0) / double(frequency), ms = QVPerfGetCountMS() - m0;
#if defined(_WIN32)
  const double tickStep = 16;  // the system's tick count moves in steps of up to 16 ms
#else
  const double tickStep = 0;
#endif
  EXPECT_TRUE(seconds >= 0.029 && seconds < 5.0 && ms >= 29 - tickStep && ms < 5000) << seconds << " s, " << ms << " ms";
}

TEST(BadInput, NullRecordsAreRefused) {
  QVTime t = MakeTime(2024, 1, 1);
  QVTM tm{};
  int32_t s = 0;
  for (QVRESULT r : {QVTimeGetSystem(nullptr), QVTimeGetLocal(nullptr), QVTimeGetPreciseTimestamp(nullptr),
                     QVTimeGetTimeOfDay(nullptr), QVTimeGetZone(nullptr), QVTimeToPosix(&t, nullptr), QVTimeToPosix(nullptr, &s),
                     QVTimeFromPosix(0, nullptr), QVTimeToTM(&t, nullptr), QVTimeToTM(nullptr, &tm), QVTimeFromTM(&tm, nullptr),
                     QVTimeFromTM(nullptr, &t), QVGetSystemInfo(nullptr), QVGetUserName(nullptr, 100)})
    EXPECT_EQ(r, QV_E_INVALIDARG);
  EXPECT_EQ(s, -1);
}

// Zones whose data call winter the daylight period (negative DST, as Europe/Dublin): daylight means ahead
// of the year's standard offset, whichever way round the rules are written.
#if !defined(_WIN32)  // zone rules and tm_gmtoff
TEST(NegativeDaylight, DaylightIsTheOffsetAheadOfTheYearsStandard) {
  bool zoneFiles = access("/usr/share/zoneinfo/Europe/Dublin", R_OK) == 0;
  const std::pair<std::string, std::u16string> zones[] = {
      {ZoneWithDaylight(true, "AAA-1BBB0"), u"BBBAAA"}, {ZoneWithDaylight(false, "AAA-1BBB0"), u"BBBAAA"},
      {"IST-1GMT0,M10.5.0,M3.5.0/1", u"GMTIST"}, {"GMT0IST,M3.5.0/1,M10.5.0", u"GMTIST"},
      {"Europe/Dublin", u"GMTIST"}, {":/usr/share/zoneinfo/Europe/Dublin", u"GMTIST"}};
  for (const auto& [tz, names] : zones) {
    if (tz.find("Dublin") != std::string::npos && !zoneFiles) continue;  // no tzdata
    ScopedTZ zone(tz);
    time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    bool summer = local.tm_gmtoff == 3600;
    ASSERT_TRUE(summer || local.tm_gmtoff == 0) << tz;
    QVTimeZone z;
    QVTime date = MakeTime(2026, 1, 15, 12);
    QVTM tm;
    ASSERT_EQ(QVTimeGetZone(&z) + QVTimeToTM(&date, &tm), QV_S_OK);
    EXPECT_EQ(std::tuple(z.bias, z.daylight, tm.tm_isdst), std::tuple(summer ? -3600 : 0, summer, summer)) << tz;
    EXPECT_EQ(qvtest::U16(z.standardName) + qvtest::U16(z.daylightName), names) << tz;
  }
}
#endif
