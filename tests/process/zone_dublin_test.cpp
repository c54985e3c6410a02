// Zones whose data call winter the daylight period (negative DST, as
// Europe/Dublin): daylight means ahead of the year's standard offset.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "qvcore5/qvcore.h"
#include "support/test_support.h"

namespace {

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

// "Standard" AAA one hour east of UTC, with an 80-day "daylight" period BBB
// at UTC itself placed around today or around the opposite side of the year.
std::string NegativeZone(bool behindNow) {
  time_t t = time(nullptr);
  tm today{};
  gmtime_r(&t, &today);
  int centre = today.tm_yday + (behindNow ? 0 : 182);
  auto julian = [](int day) { return std::to_string((day % 365 + 365) % 365 + 1); };
  return "AAA-1BBB0,J" + julian(centre - 40) + ",J" + julian(centre + 40);
}

// What the record must say in a zone with GMT in winter and IST in summer.
void ExpectIrishZone(const std::string& tz) {
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

}  // namespace

TEST(NegativeDaylight, PeriodBehindTheStandardOffsetIsStandardTime) {
  for (bool behindNow : {true, false}) {
    std::string tz = NegativeZone(behindNow);
    ScopedTZ zone(tz);
    QVTimeZone z;
    ASSERT_EQ(QVTimeGetZone(&z), QV_S_OK);
    EXPECT_EQ(z.bias, behindNow ? 0 : -3600) << tz;
    EXPECT_EQ(z.daylight, behindNow ? 0 : 1) << tz;
    EXPECT_EQ(qvtest::U16(z.standardName), u"BBB") << tz;
    EXPECT_EQ(qvtest::U16(z.daylightName), u"AAA") << tz;
    QVTime date{2026, 1, 4, 15, 12, 0, 0, 0};
    QVTM tm;
    ASSERT_EQ(QVTimeToTM(&date, &tm), QV_S_OK);
    EXPECT_EQ(tm.tm_isdst, behindNow ? 0 : 1) << tz;
  }
}

TEST(NegativeDaylight, DublinRulesAsAPosixString) { ExpectIrishZone("IST-1GMT0,M10.5.0,M3.5.0/1"); }

TEST(NegativeDaylight, DublinZoneFile) {
  struct stat st;
  if (stat("/usr/share/zoneinfo/Europe/Dublin", &st) != 0) GTEST_SKIP() << "no zoneinfo for Europe/Dublin (tzdata)";
  ExpectIrishZone("Europe/Dublin");
  ExpectIrishZone(":/usr/share/zoneinfo/Europe/Dublin");
}

TEST(NegativeDaylight, UsualZonesKeepTheirMeaning) {
  ExpectIrishZone("GMT0IST,M3.5.0/1,M10.5.0");  // the same clock with positive DST
  struct stat st;
  if (stat("/usr/share/zoneinfo/Europe/London", &st) != 0) GTEST_SKIP() << "no zoneinfo for Europe/London";
  ScopedTZ zone("Europe/London");
  QVTimeZone z;
  ASSERT_EQ(QVTimeGetZone(&z), QV_S_OK);
  EXPECT_EQ(qvtest::U16(z.standardName), u"GMT");
  EXPECT_EQ(qvtest::U16(z.daylightName), u"BST");
}
