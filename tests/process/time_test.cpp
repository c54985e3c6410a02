#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <sys/stat.h>

#include "process/time.h"
#include "qvcore5/qvcore.h"
#include "support/test_support.h"

namespace {

// Sets TZ for the test's duration and restores the previous zone after.
class ScopedTZ {
 public:
  explicit ScopedTZ(const std::string& tz) {
    if (const char* old = std::getenv("TZ")) m_old = old, m_had = true;
    setenv("TZ", tz.c_str(), 1);
    tzset();
  }
  ~ScopedTZ() {
    m_had ? setenv("TZ", m_old.c_str(), 1) : unsetenv("TZ");
    tzset();
  }

 private:
  bool m_had = false;
  std::string m_old;
};

// A zone whose 80-day daylight period is placed around today (`now`) or around
// the opposite side of the year: one hour east of UTC, daylight one hour more,
// unless `rules` gives other names and offsets.
std::string ZoneWithDaylight(bool now, const std::string& rules = "XST-1XDT") {
  time_t t = time(nullptr);
  tm today{};
  gmtime_r(&t, &today);
  int centre = today.tm_yday + (now ? 0 : 182);
  auto julian = [](int day) { return std::to_string((day % 365 + 365) % 365 + 1); };
  return rules + ",J" + julian(centre - 40) + ",J" + julian(centre + 40);
}

QVTime MakeTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return QVTime{static_cast<uint16_t>(year), static_cast<uint16_t>(month), 0, static_cast<uint16_t>(day),
                static_cast<uint16_t>(hour), static_cast<uint16_t>(minute), static_cast<uint16_t>(second), 0};
}

// The record's fields read as UTC, computed without the library.
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

int WeekdayOf(int64_t seconds) { return static_cast<int>((seconds / 86400 + 4) % 7); }

}  // namespace

TEST(PreciseClock, EpochGivesOneAndOneIntervalGivesHundred) {
  using qv::process::kEpoch1601;
  EXPECT_EQ(qv::process::TimestampFrom1601(kEpoch1601), 1);
  EXPECT_EQ(qv::process::TimestampFrom1601(0), 1);
  EXPECT_EQ(qv::process::TimestampFrom1601(kEpoch1601 + 1), 100);
  QVTimeOfDay tod{};
  qv::process::SplitTimestamp(1700000000500000000LL, &tod);
  EXPECT_EQ(tod.seconds, 1700000000);
  EXPECT_EQ(tod.nanoseconds, 500000000);
}

TEST(PreciseClock, FollowsTheSystemClock) {
  auto nowNs = [] {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
  };
  int64_t before = nowNs(), stamp = 0;
  ASSERT_EQ(QVTimeGetPreciseTimestamp(&stamp), QV_S_OK);
  QVTimeOfDay tod{};
  ASSERT_EQ(QVTimeGetTimeOfDay(&tod), QV_S_OK);
  int64_t after = nowNs();
  EXPECT_GE(stamp, before - 100);  // 100 ns steps
  EXPECT_EQ(stamp % 100, 0);
  int64_t todNs = tod.seconds * 1000000000 + tod.nanoseconds;
  EXPECT_GE(todNs, stamp);
  EXPECT_LE(todNs, after);
}

TEST(CalendarClock, SystemIsUtcAndLocalFollowsTheZone) {
  ScopedTZ zone("XST-1");
  int64_t t0 = time(nullptr);
  QVTime utc{}, local{};
  ASSERT_EQ(QVTimeGetSystem(&utc), QV_S_OK);
  ASSERT_EQ(QVTimeGetLocal(&local), QV_S_OK);
  int64_t t1 = time(nullptr);
  EXPECT_GE(AsUtcSeconds(utc), t0);
  EXPECT_LE(AsUtcSeconds(utc), t1);
  EXPECT_EQ(utc.dayOfWeek, WeekdayOf(AsUtcSeconds(utc)));
  EXPECT_GE(AsUtcSeconds(local) - 3600, t0);
  EXPECT_LE(AsUtcSeconds(local) - 3600, t1);
  EXPECT_EQ(local.dayOfWeek, WeekdayOf(AsUtcSeconds(local)));
}

TEST(TimeZone, BiasDaylightAndNamesOfTheZoneNow) {
  QVTimeZone z;
  {
    ScopedTZ zone("XST-1");
    std::memset(&z, 0xA5, sizeof z);
    ASSERT_EQ(QVTimeGetZone(&z), QV_S_OK);
    EXPECT_EQ(z.bias, -3600);
    EXPECT_EQ(z.daylight, 0);
    EXPECT_EQ(qvtest::U16(z.standardName), u"XST");
    EXPECT_EQ(qvtest::U16(z.daylightName), u"XST");
    for (int i = 3; i < 32; ++i) EXPECT_EQ(z.standardName[i], 0) << i;  // cleared, not leftovers
  }
  {
    ScopedTZ zone(ZoneWithDaylight(true));
    ASSERT_EQ(QVTimeGetZone(&z), QV_S_OK);
    EXPECT_EQ(z.bias, -7200);
    EXPECT_EQ(z.daylight, 1);
    EXPECT_EQ(qvtest::U16(z.daylightName), u"XDT");
  }
  {
    ScopedTZ zone(ZoneWithDaylight(false));
    ASSERT_EQ(QVTimeGetZone(&z), QV_S_OK);
    EXPECT_EQ(z.bias, -3600);
    EXPECT_EQ(z.daylight, 0);
    EXPECT_EQ(qvtest::U16(z.daylightName), u"XDT");
  }
}

TEST(TimeZone, LongNamesAreCutAt31Units) {
  ScopedTZ zone("<ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghij>-1<" + std::string(41, 'D') + ">,J1/0,J365/25");
  QVTimeZone z{};
  ASSERT_EQ(QVTimeGetZone(&z), QV_S_OK);
  EXPECT_EQ(qvtest::U16(z.standardName), u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcde");
  EXPECT_EQ(qvtest::U16(z.daylightName), std::u16string(31, u'D'));
}

TEST(PosixSeconds, FromPosixZeroOneHourEastIsThursdayOneOClock) {
  ScopedTZ zone("XST-1");
  QVTime t;
  std::memset(&t, 0xFF, sizeof t);
  ASSERT_EQ(QVTimeFromPosix(0, &t), QV_S_OK);
  QVTime expected = MakeTime(1970, 1, 1, 1);
  expected.dayOfWeek = 4;
  EXPECT_EQ(std::memcmp(&t, &expected, sizeof t), 0);
}

TEST(PosixSeconds, RangeIsThe32BitPosixRange) {
  ScopedTZ zone("UTC0");
  QVTime t{};
  ASSERT_EQ(QVTimeFromPosix(INT32_MAX, &t), QV_S_OK);
  EXPECT_EQ(AsUtcSeconds(t), INT32_MAX);
  std::memset(&t, 0xFF, sizeof t);
  EXPECT_EQ(QVTimeFromPosix(-1, &t), QV_E_FAIL);
  EXPECT_EQ(AsUtcSeconds(t), AsUtcSeconds(QVTime{}));  // left all zero
  EXPECT_EQ(t.milliseconds, 0);

  int32_t s = 7;
  QVTime first = MakeTime(1970, 1, 1), last = MakeTime(2038, 1, 19, 3, 14, 7);
  ASSERT_EQ(QVTimeToPosix(&first, &s), QV_S_OK);
  EXPECT_EQ(s, 0);
  ASSERT_EQ(QVTimeToPosix(&last, &s), QV_S_OK);
  EXPECT_EQ(s, INT32_MAX);
  for (QVTime outside : {MakeTime(2038, 1, 19, 3, 14, 8), MakeTime(1969, 12, 31, 23, 59, 59), MakeTime(65535, 1, 1)}) {
    s = 7;
    EXPECT_EQ(QVTimeToPosix(&outside, &s), QV_E_FAIL) << outside.year;
    EXPECT_EQ(s, -1);
  }
}

TEST(PosixSeconds, DaylightTimeIsThatOfTheDateInWinterAndInSummer) {
  {
    ScopedTZ zone("EST5EDT,M3.2.0,M11.1.0");
    int32_t s = 0;
    QVTime winter = MakeTime(2026, 1, 15, 12), summer = MakeTime(2026, 7, 1, 12);
    ASSERT_EQ(QVTimeToPosix(&winter, &s), QV_S_OK);
    EXPECT_EQ(s, 1768496400);  // 17:00 UTC
    ASSERT_EQ(QVTimeToPosix(&summer, &s), QV_S_OK);
    EXPECT_EQ(s, 1782921600);  // 16:00 UTC
  }
  // Whether daylight time is in force today must not shift a date on the
  // other side of the year: the round trip gives the value back.
  int32_t now = static_cast<int32_t>(time(nullptr));
  for (bool daylightNow : {true, false}) {
    ScopedTZ zone(ZoneWithDaylight(daylightNow));
    for (int32_t instant : {now, now + 182 * 86400}) {
      QVTime local{};
      int32_t back = 0;
      ASSERT_EQ(QVTimeFromPosix(instant, &local), QV_S_OK);
      ASSERT_EQ(QVTimeToPosix(&local, &back), QV_S_OK);
      EXPECT_EQ(back, instant) << "daylight now: " << daylightNow;
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
    QVTM tm{};
    EXPECT_EQ(QVTimeToPosix(&t, &s), QV_E_INVALIDARG) << t.year << "-" << t.month << "-" << t.day;
    EXPECT_EQ(s, -1);
    EXPECT_EQ(QVTimeToTM(&t, &tm), QV_E_INVALIDARG);
  }
}

TEST(BrokenDown, FromTMCopiesFieldsAndRefusesOutOfRangeOnes) {
  QVTM tm{59, 30, 8, 15, 0, 126, 4, 300, 0};
  QVTime t;
  std::memset(&t, 0xFF, sizeof t);
  ASSERT_EQ(QVTimeFromTM(&tm, &t), QV_S_OK);
  QVTime expected = MakeTime(2026, 1, 15, 8, 30, 59);
  expected.dayOfWeek = 4;
  EXPECT_EQ(std::memcmp(&t, &expected, sizeof t), 0);

  for (auto spoil : {+[](QVTM& x) { x.tm_mon = 12; }, +[](QVTM& x) { x.tm_mday = 0; }, +[](QVTM& x) { x.tm_sec = 60; },
                     +[](QVTM& x) { x.tm_wday = -1; }, +[](QVTM& x) { x.tm_year = INT32_MAX; }}) {
    QVTM badTm = tm;
    spoil(badTm);
    std::memset(&t, 0xFF, sizeof t);
    EXPECT_EQ(QVTimeFromTM(&badTm, &t), QV_E_INVALIDARG);
    EXPECT_EQ(t.year, 0);
  }
}

TEST(BrokenDown, ToTMFillsTheDayOfYearAndTodaysDaylightFlag) {
  QVTime t = MakeTime(2024, 3, 1, 13, 45, 10);
  t.dayOfWeek = 5;
  QVTM tm{};
  {
    ScopedTZ zone(ZoneWithDaylight(false));
    ASSERT_EQ(QVTimeToTM(&t, &tm), QV_S_OK);
    QVTM expected{10, 45, 13, 1, 2, 124, 5, 60, 0};  // day 60: leap year
    EXPECT_EQ(std::memcmp(&tm, &expected, sizeof tm), 0);
  }
  {
    ScopedTZ zone(ZoneWithDaylight(true));
    ASSERT_EQ(QVTimeToTM(&t, &tm), QV_S_OK);
    EXPECT_EQ(tm.tm_isdst, 1);
  }
  QVTime back{};
  ASSERT_EQ(QVTimeFromTM(&tm, &back), QV_S_OK);
  EXPECT_EQ(std::memcmp(&back, &t, sizeof t), 0);
}

TEST(Counters, PerformanceCounterAndTickAdvanceTogether) {
  int64_t frequency = QVPerfGetFreq();
  ASSERT_GT(frequency, 0);
  int64_t c0 = QVPerfGetCount();
  uint32_t m0 = QVPerfGetCountMS();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  double seconds = static_cast<double>(QVPerfGetCount() - c0) / static_cast<double>(frequency);
  uint32_t ms = QVPerfGetCountMS() - m0;
  EXPECT_GE(seconds, 0.029);
  EXPECT_LT(seconds, 5.0);
  EXPECT_GE(ms, 29u);
  EXPECT_LT(ms, 5000u);
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

// Zones whose data call winter the daylight period (negative DST, as
// Europe/Dublin): daylight means ahead of the year's standard offset.
TEST(NegativeDaylight, PeriodBehindTheStandardOffsetIsStandardTime) {
  for (bool behindNow : {true, false}) {
    ScopedTZ zone(ZoneWithDaylight(behindNow, "AAA-1BBB0"));
    QVTimeZone z;
    ASSERT_EQ(QVTimeGetZone(&z), QV_S_OK);
    EXPECT_EQ(z.bias, behindNow ? 0 : -3600) << behindNow;
    EXPECT_EQ(z.daylight, behindNow ? 0 : 1);
    EXPECT_EQ(qvtest::U16(z.standardName), u"BBB");
    EXPECT_EQ(qvtest::U16(z.daylightName), u"AAA");
    QVTime date = MakeTime(2026, 1, 15, 12);
    QVTM tm;
    ASSERT_EQ(QVTimeToTM(&date, &tm), QV_S_OK);
    EXPECT_EQ(tm.tm_isdst, behindNow ? 0 : 1);
  }
}

TEST(NegativeDaylight, DublinAndTheSameClockWithPositiveDaylightAgree) {
  struct stat st;
  bool zoneFiles = stat("/usr/share/zoneinfo/Europe/Dublin", &st) == 0;
  for (std::string tz : {"IST-1GMT0,M10.5.0,M3.5.0/1", "GMT0IST,M3.5.0/1,M10.5.0", "Europe/Dublin",
                         ":/usr/share/zoneinfo/Europe/Dublin"}) {
    if (tz.find("Dublin") != std::string::npos && !zoneFiles) continue;  // no tzdata
    ScopedTZ zone(tz);
    time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    bool summer = local.tm_gmtoff == 3600;
    ASSERT_TRUE(summer || local.tm_gmtoff == 0) << tz;
    QVTimeZone z;
    ASSERT_EQ(QVTimeGetZone(&z), QV_S_OK);
    EXPECT_EQ(z.bias, summer ? -3600 : 0) << tz;
    EXPECT_EQ(z.daylight, summer ? 1 : 0) << tz;
    EXPECT_EQ(qvtest::U16(z.standardName), u"GMT") << tz;
    EXPECT_EQ(qvtest::U16(z.daylightName), u"IST") << tz;
  }
}
