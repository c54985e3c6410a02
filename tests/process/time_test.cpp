#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include "process/time.h"
#include "qvcore5/qvcore.h"
#include "support/test_support.h"

namespace {

// Sets TZ for the test's duration and restores the previous zone after.
class ScopedTZ {
 public:
  explicit ScopedTZ(const std::string& tz) {
    const char* old = std::getenv("TZ");
    m_had = old != nullptr;
    if (m_had) m_old = old;
    setenv("TZ", tz.c_str(), 1);
    tzset();
  }
  ~ScopedTZ() {
    if (m_had) setenv("TZ", m_old.c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }

 private:
  bool m_had = false;
  std::string m_old;
};

// POSIX zones one hour east of UTC with daylight saving time (one more hour)
// in force now, or not in force now, whatever today's date: the daylight
// period is placed around today or around the opposite side of the year.
int TodayJulian() {
  time_t now = time(nullptr);
  tm t{};
  gmtime_r(&now, &t);
  return t.tm_yday + 1 > 365 ? 365 : t.tm_yday + 1;  // J-days skip Feb 29
}
int WrapJulian(int day) { return ((day - 1) % 365 + 365) % 365 + 1; }
std::string ZoneWithDaylightAround(int centre) {
  return "XST-1XDT,J" + std::to_string(WrapJulian(centre - 40)) + ",J" + std::to_string(WrapJulian(centre + 40));
}
std::string SummerNowZone() { return ZoneWithDaylightAround(TodayJulian()); }
std::string WinterNowZone() { return ZoneWithDaylightAround(TodayJulian() + 182); }

QVTime MakeTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  QVTime t{};
  t.year = static_cast<uint16_t>(year);
  t.month = static_cast<uint16_t>(month);
  t.day = static_cast<uint16_t>(day);
  t.hour = static_cast<uint16_t>(hour);
  t.minute = static_cast<uint16_t>(minute);
  t.second = static_cast<uint16_t>(second);
  return t;
}

// The record's fields as UTC seconds, independent of the library.
int64_t AsUtcSeconds(const QVTime& t) {
  tm x{};
  x.tm_year = t.year - 1900;
  x.tm_mon = t.month - 1;
  x.tm_mday = t.day;
  x.tm_hour = t.hour;
  x.tm_min = t.minute;
  x.tm_sec = t.second;
  return timegm(&x);
}

int WeekdayOf(int64_t utcSeconds) {
  time_t v = static_cast<time_t>(utcSeconds);
  tm x{};
  gmtime_r(&v, &x);
  return x.tm_wday;
}

}  // namespace

TEST(PreciseClock, EpochAndOneIntervalAfter) {
  using qv::process::kEpoch1601;
  EXPECT_EQ(qv::process::TimestampFrom1601(kEpoch1601), 1);
  EXPECT_EQ(qv::process::TimestampFrom1601(kEpoch1601 - 5), 1);
  EXPECT_EQ(qv::process::TimestampFrom1601(0), 1);
  EXPECT_EQ(qv::process::TimestampFrom1601(kEpoch1601 + 1), 100);
  QVTimeOfDay tod{};
  qv::process::SplitTimestamp(1700000000500000000LL, &tod);
  EXPECT_EQ(tod.seconds, 1700000000);
  EXPECT_EQ(tod.nanoseconds, 500000000);
}

TEST(PreciseClock, FollowsTheSystemClock) {
  auto before = std::chrono::duration_cast<std::chrono::nanoseconds>(
                    std::chrono::system_clock::now().time_since_epoch()).count();
  int64_t stamp = 0;
  ASSERT_EQ(QVTimeGetPreciseTimestamp(&stamp), QV_S_OK);
  QVTimeOfDay tod{};
  ASSERT_EQ(QVTimeGetTimeOfDay(&tod), QV_S_OK);
  auto after = std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::system_clock::now().time_since_epoch()).count();
  // 100 ns resolution: the stamp may be up to 99 ns behind the first reading.
  EXPECT_GE(stamp, before - 100);
  EXPECT_LE(stamp, after);
  int64_t todNs = tod.seconds * 1000000000 + tod.nanoseconds;
  EXPECT_GE(todNs, stamp);
  EXPECT_LE(todNs, after);
  EXPECT_GE(tod.nanoseconds, 0);
  EXPECT_LT(tod.nanoseconds, 1000000000);
  EXPECT_EQ(stamp % 100, 0);
}

TEST(CalendarClock, SystemIsUtcAndLocalFollowsTheZone) {
  ScopedTZ zone("XST-1");
  int64_t t0 = time(nullptr);
  QVTime utc{}, local{};
  ASSERT_EQ(QVTimeGetSystem(&utc), QV_S_OK);
  ASSERT_EQ(QVTimeGetLocal(&local), QV_S_OK);
  int64_t t1 = time(nullptr);
  int64_t u = AsUtcSeconds(utc);
  EXPECT_GE(u, t0);
  EXPECT_LE(u, t1);
  EXPECT_EQ(utc.dayOfWeek, WeekdayOf(u));
  EXPECT_LT(utc.milliseconds, 1000);
  int64_t l = AsUtcSeconds(local) - 3600;
  EXPECT_GE(l, t0);
  EXPECT_LE(l, t1);
  EXPECT_EQ(local.dayOfWeek, WeekdayOf(AsUtcSeconds(local)));
}

TEST(TimeZone, FixedZoneOneHourEast) {
  ScopedTZ zone("XST-1");
  QVTimeZone z;
  std::memset(&z, 0xA5, sizeof z);
  ASSERT_EQ(QVTimeGetZone(&z), QV_S_OK);
  EXPECT_EQ(z.bias, -3600);
  EXPECT_EQ(z.daylight, 0);
  EXPECT_EQ(qvtest::U16(z.standardName), u"XST");
  EXPECT_EQ(qvtest::U16(z.daylightName), u"XST");
  for (int i = 3; i < 32; ++i) EXPECT_EQ(z.standardName[i], 0) << i;  // cleared, not leftovers
}

TEST(TimeZone, DaylightInForceAndNot) {
  QVTimeZone z{};
  {
    ScopedTZ zone(SummerNowZone());
    ASSERT_EQ(QVTimeGetZone(&z), QV_S_OK);
    EXPECT_EQ(z.bias, -7200);
    EXPECT_EQ(z.daylight, 1);
    EXPECT_EQ(qvtest::U16(z.standardName), u"XST");
    EXPECT_EQ(qvtest::U16(z.daylightName), u"XDT");
  }
  {
    ScopedTZ zone(WinterNowZone());
    ASSERT_EQ(QVTimeGetZone(&z), QV_S_OK);
    EXPECT_EQ(z.bias, -3600);
    EXPECT_EQ(z.daylight, 0);
    EXPECT_EQ(qvtest::U16(z.daylightName), u"XDT");
  }
}

TEST(TimeZone, LongNamesAreCutAt31Units) {
  std::string std36 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghij";
  std::string dst41(41, 'D');
  ScopedTZ zone("<" + std36 + ">-1<" + dst41 + ">,J1/0,J365/25");
  QVTimeZone z{};
  ASSERT_EQ(QVTimeGetZone(&z), QV_S_OK);
  EXPECT_EQ(qvtest::U16(z.standardName), u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcde");
  EXPECT_EQ(qvtest::U16(z.daylightName), std::u16string(31, u'D'));
  EXPECT_EQ(z.standardName[31], 0);
  EXPECT_EQ(z.daylightName[31], 0);
}

TEST(PosixSeconds, FromPosixInAZoneOneHourEast) {
  ScopedTZ zone("XST-1");
  QVTime t;
  std::memset(&t, 0xFF, sizeof t);
  ASSERT_EQ(QVTimeFromPosix(0, &t), QV_S_OK);
  EXPECT_EQ(t.year, 1970);
  EXPECT_EQ(t.month, 1);
  EXPECT_EQ(t.day, 1);
  EXPECT_EQ(t.hour, 1);
  EXPECT_EQ(t.minute, 0);
  EXPECT_EQ(t.second, 0);
  EXPECT_EQ(t.dayOfWeek, 4);
  EXPECT_EQ(t.milliseconds, 0);
}

TEST(PosixSeconds, RangeIsThe32BitPosixRange) {
  ScopedTZ zone("UTC0");
  QVTime t{};
  ASSERT_EQ(QVTimeFromPosix(INT32_MAX, &t), QV_S_OK);
  EXPECT_EQ(AsUtcSeconds(t), INT32_MAX);
  EXPECT_EQ(t.year, 2038);
  std::memset(&t, 0xFF, sizeof t);
  EXPECT_EQ(QVTimeFromPosix(-1, &t), QV_E_FAIL);
  EXPECT_EQ(t.year, 0);
  EXPECT_EQ(t.month, 0);
  EXPECT_EQ(t.milliseconds, 0);

  int32_t s = 7;
  QVTime epoch = MakeTime(1970, 1, 1);
  ASSERT_EQ(QVTimeToPosix(&epoch, &s), QV_S_OK);
  EXPECT_EQ(s, 0);
  QVTime last = MakeTime(2038, 1, 19, 3, 14, 7);
  ASSERT_EQ(QVTimeToPosix(&last, &s), QV_S_OK);
  EXPECT_EQ(s, INT32_MAX);
  for (QVTime outside : {MakeTime(2038, 1, 19, 3, 14, 8), MakeTime(1969, 12, 31, 23, 59, 59), MakeTime(1900, 1, 1),
                         MakeTime(65535, 12, 31)}) {
    s = 7;
    EXPECT_EQ(QVTimeToPosix(&outside, &s), QV_E_FAIL) << outside.year;
    EXPECT_EQ(s, -1);
  }
}

TEST(PosixSeconds, DaylightIsThatOfTheDateConverted) {
  ScopedTZ zone("EST5EDT,M3.2.0,M11.1.0");
  int32_t s = 0;
  QVTime winter = MakeTime(2026, 1, 15, 12);
  ASSERT_EQ(QVTimeToPosix(&winter, &s), QV_S_OK);
  EXPECT_EQ(s, 1768496400);  // 17:00 UTC
  QVTime summer = MakeTime(2026, 7, 1, 12);
  ASSERT_EQ(QVTimeToPosix(&summer, &s), QV_S_OK);
  EXPECT_EQ(s, 1782921600);  // 16:00 UTC
}

TEST(PosixSeconds, RoundTripInWinterAndInSummer) {
  // Whether daylight time is in force today must not shift the conversion of
  // a date on the other side of the year.
  int32_t now = static_cast<int32_t>(time(nullptr));
  for (const std::string& tz : {SummerNowZone(), WinterNowZone()}) {
    ScopedTZ zone(tz);
    for (int32_t instant : {now, now + 182 * 86400}) {
      QVTime local{};
      ASSERT_EQ(QVTimeFromPosix(instant, &local), QV_S_OK);
      int32_t back = 0;
      ASSERT_EQ(QVTimeToPosix(&local, &back), QV_S_OK);
      EXPECT_EQ(back, instant) << tz;
    }
  }
}

TEST(PosixSeconds, OutOfRangeFieldsAreRefusedNotShifted) {
  ScopedTZ zone("UTC0");
  QVTime good = MakeTime(2024, 2, 29, 23, 59, 59);
  int32_t s = 0;
  ASSERT_EQ(QVTimeToPosix(&good, &s), QV_S_OK);
  EXPECT_EQ(s, 1709251199);

  QVTime bad[] = {MakeTime(2024, 13, 1), MakeTime(2024, 0, 1), MakeTime(2024, 1, 0), MakeTime(2025, 2, 29),
                  MakeTime(2024, 4, 31), MakeTime(2024, 1, 1, 24), MakeTime(2024, 1, 1, 0, 60),
                  MakeTime(2024, 1, 1, 0, 0, 60), good, good};
  bad[8].milliseconds = 1000;
  bad[9].dayOfWeek = 7;
  for (const QVTime& t : bad) {
    s = 7;
    EXPECT_EQ(QVTimeToPosix(&t, &s), QV_E_INVALIDARG) << t.year << "-" << t.month << "-" << t.day;
    EXPECT_EQ(s, -1);
    QVTM tm{};
    EXPECT_EQ(QVTimeToTM(&t, &tm), QV_E_INVALIDARG);
  }
}

TEST(BrokenDown, FromTMCopiesTheFields) {
  QVTM tm{};
  tm.tm_year = 126;
  tm.tm_mon = 0;
  tm.tm_mday = 15;
  tm.tm_hour = 8;
  tm.tm_min = 30;
  tm.tm_sec = 59;
  tm.tm_wday = 4;
  tm.tm_yday = 300;  // not looked at
  QVTime t;
  std::memset(&t, 0xFF, sizeof t);
  ASSERT_EQ(QVTimeFromTM(&tm, &t), QV_S_OK);
  EXPECT_EQ(t.year, 2026);
  EXPECT_EQ(t.month, 1);
  EXPECT_EQ(t.day, 15);
  EXPECT_EQ(t.hour, 8);
  EXPECT_EQ(t.minute, 30);
  EXPECT_EQ(t.second, 59);
  EXPECT_EQ(t.dayOfWeek, 4);
  EXPECT_EQ(t.milliseconds, 0);

  for (auto spoil : {+[](QVTM& x) { x.tm_mon = 12; }, +[](QVTM& x) { x.tm_mon = -1; },
                     +[](QVTM& x) { x.tm_mday = 0; }, +[](QVTM& x) { x.tm_mday = 32; },
                     +[](QVTM& x) { x.tm_sec = 60; }, +[](QVTM& x) { x.tm_wday = 7; },
                     +[](QVTM& x) { x.tm_year = -1901; }, +[](QVTM& x) { x.tm_year = INT32_MAX; }}) {
    QVTM badTm = tm;
    spoil(badTm);
    std::memset(&t, 0xFF, sizeof t);
    EXPECT_EQ(QVTimeFromTM(&badTm, &t), QV_E_INVALIDARG);
    EXPECT_EQ(t.year, 0);
    EXPECT_EQ(t.month, 0);
  }
}

TEST(BrokenDown, ToTMCopiesTheFieldsWithTodaysDaylightFlag) {
  QVTime t = MakeTime(2024, 3, 1, 13, 45, 10);
  t.dayOfWeek = 5;
  t.milliseconds = 999;
  QVTM tm{};
  {
    ScopedTZ zone(WinterNowZone());
    ASSERT_EQ(QVTimeToTM(&t, &tm), QV_S_OK);
    EXPECT_EQ(tm.tm_year, 124);
    EXPECT_EQ(tm.tm_mon, 2);
    EXPECT_EQ(tm.tm_mday, 1);
    EXPECT_EQ(tm.tm_hour, 13);
    EXPECT_EQ(tm.tm_min, 45);
    EXPECT_EQ(tm.tm_sec, 10);
    EXPECT_EQ(tm.tm_wday, 5);
    EXPECT_EQ(tm.tm_yday, 60);  // leap year
    EXPECT_EQ(tm.tm_isdst, 0);
  }
  {
    ScopedTZ zone(SummerNowZone());
    ASSERT_EQ(QVTimeToTM(&t, &tm), QV_S_OK);
    EXPECT_EQ(tm.tm_isdst, 1);
  }
  QVTime back{};
  ASSERT_EQ(QVTimeFromTM(&tm, &back), QV_S_OK);
  t.milliseconds = 0;
  EXPECT_EQ(std::memcmp(&back, &t, sizeof t), 0);
}

TEST(Counters, PerformanceCounterAndTickAdvanceTogether) {
  int64_t frequency = QVPerfGetFreq();
  ASSERT_GT(frequency, 0);
  int64_t c0 = QVPerfGetCount();
  uint32_t m0 = QVPerfGetCountMS();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  int64_t c1 = QVPerfGetCount();
  uint32_t m1 = QVPerfGetCountMS();
  double seconds = static_cast<double>(c1 - c0) / static_cast<double>(frequency);
  EXPECT_GE(seconds, 0.029);
  EXPECT_LT(seconds, 5.0);
  EXPECT_GE(m1 - m0, 29u);
  EXPECT_LT(m1 - m0, 5000u);
}

TEST(BadInput, NullRecordsAreRefused) {
  QVTime t = MakeTime(2024, 1, 1);
  QVTM tm{};
  int32_t s = 0;
  EXPECT_EQ(QVTimeGetSystem(nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVTimeGetLocal(nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVTimeGetPreciseTimestamp(nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVTimeGetTimeOfDay(nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVTimeGetZone(nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVTimeToPosix(&t, nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVTimeToPosix(nullptr, &s), QV_E_INVALIDARG);
  EXPECT_EQ(s, -1);
  EXPECT_EQ(QVTimeFromPosix(0, nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVTimeToTM(&t, nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVTimeToTM(nullptr, &tm), QV_E_INVALIDARG);
  EXPECT_EQ(QVTimeFromTM(&tm, nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVTimeFromTM(nullptr, &t), QV_E_INVALIDARG);
  EXPECT_EQ(QVGetSystemInfo(nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVGetUserName(nullptr, 100), QV_E_INVALIDARG);
}
