#include <climits>

#include "sync/sync_test.h"
#include "sync/xproc.h"

using qvtest::HelperProcess;
using qvtest::OnThreads;
using qvtest::ObjectExists;
using qvtest::UniqueName;

const QVSEMAPHORE kNone = reinterpret_cast<QVSEMAPHORE>(QV_INVALID_HANDLE);

TEST(Semaphore, CountsUnitsUpToTheMaximum) {
  QVSEMAPHORE s;
  ASSERT_EQ(QVSemaphoreCreate(2, "local", 0, &s), QV_S_OK);
  EXPECT_EQ(QVSemaphoreTryWait(s), QV_S_OK);
  EXPECT_EQ(QVSemaphoreWait(s), QV_S_OK);
  EXPECT_EQ(QVSemaphoreTryWait(s), QV_E_FAIL);  // not the time-out code
  int32_t value = 5;
  EXPECT_EQ(QVSemaphoreGetValue(s, &value), QV_S_OK);
  EXPECT_EQ(value, -1);  // no readable count
  EXPECT_EQ(QVSemaphoreDestroy(s), QV_S_OK);
  ASSERT_EQ(QVSemaphoreCreate(QV_SEM_MAX_COUNT - 1, nullptr, 0, &s), QV_S_OK);
  EXPECT_EQ(QVSemaphorePost(s), QV_S_OK);
  EXPECT_EQ(QVSemaphorePost(s), QV_E_FAIL);  // beyond the maximum: the count stays
  int taken = 0;
  while (QVSemaphoreTryWait(s) == QV_S_OK) ++taken;
  EXPECT_EQ(taken, QV_SEM_MAX_COUNT);
  QVSemaphoreDestroy(s);
}

TEST(Semaphore, BadInputGetsItsExactResult) {
  std::string name = UniqueName("qvsem");
  QVSEMAPHORE s = nullptr;
  for (int32_t count : {-1, QV_SEM_MAX_COUNT + 1, INT32_MIN})
    for (uint32_t flags : {0u, uint32_t{QV_SEM_NAMED}}) {
      EXPECT_EQ(QVSemaphoreCreate(count, name.c_str(), flags, &s), QV_E_FAIL) << count;
      EXPECT_EQ(s, kNone);
    }
  s = nullptr;
  EXPECT_EQ(QVNamedSemOpen(name.c_str(), -1, &s), QV_E_FAIL);
  EXPECT_EQ(QVNamedSemOpen(std::string(300, 'x').c_str(), 1, &s), QV_E_FAIL);
  EXPECT_EQ(s, kNone);
  EXPECT_FALSE(ObjectExists(name));
  EXPECT_EQ(QVSemaphoreCreate(0, nullptr, 0, nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVNamedSemOpen(name.c_str(), 1, nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVSemaphoreGetValue(nullptr, nullptr), QV_E_INVALIDARG);
  for (QVSEMAPHORE h : {static_cast<QVSEMAPHORE>(nullptr), kNone}) {
    for (QVRESULT r : {QVSemaphorePost(h), QVSemaphoreWait(h), QVSemaphoreTryWait(h)}) EXPECT_EQ(r, QV_E_HANDLE);
    EXPECT_EQ(QVSemaphoreDestroy(h), QV_S_OK);
  }
  EXPECT_EQ(QVNamedSemClose(nullptr), QV_S_OK);
}

TEST(SemaphoreStress, WaitersAreWokenByPostsFromOtherThreads) {
  // A lost wake-up would hang, a double take would leave units missing.
  QVSEMAPHORE s;
  ASSERT_EQ(QVSemaphoreCreate(0, nullptr, 0, &s), QV_S_OK);
  constexpr int kUnits = 5000;
  std::atomic<int> taken{0}, role{0};
  OnThreads(8, [&] {
    bool poster = role++ % 2 == 0;
    for (int i = 0; i < kUnits; ++i) {
      if (!poster && QVSemaphoreWait(s) == QV_S_OK) ++taken;
      while (poster && QVSemaphorePost(s) != QV_S_OK) std::this_thread::yield();
    }
  });
  EXPECT_EQ(taken.load(), 4 * kUnits);
  EXPECT_EQ(QVSemaphoreTryWait(s), QV_E_FAIL);
  QVSemaphoreDestroy(s);
}

TEST(NamedSemaphore, NamesMapOneToOneAndTheFirstCountWins) {
  std::string base = UniqueName("qvsem");
  QVSEMAPHORE a, b, c, d;
  ASSERT_EQ(QVNamedSemOpen((base + "/a").c_str(), 1, &a), QV_S_OK);
  ASSERT_EQ(QVNamedSemOpen((base + "%2Fa").c_str(), 0, &b), QV_S_OK);
  ASSERT_EQ(QVNamedSemOpen(("Local\\" + base).c_str(), 0, &c), QV_S_OK);
  ASSERT_EQ(QVSemaphoreCreate(5, (base + "/a").c_str(), QV_SEM_NAMED, &d), QV_S_OK);
  EXPECT_EQ(QVNamedSemTryWait(b), QV_E_FAIL);
  EXPECT_EQ(QVNamedSemTryWait(c), QV_E_FAIL);
  EXPECT_EQ(QVNamedSemTryWait(d), QV_S_OK);
  EXPECT_EQ(QVNamedSemTryWait(a), QV_E_FAIL);  // d's 5 was ignored
  int32_t value = 0;
  EXPECT_EQ(QVNamedSemGetValue(a, &value), QV_S_OK);
  EXPECT_EQ(value, -1);
  for (QVSEMAPHORE h : {a, b, c, d}) QVNamedSemClose(h);
  EXPECT_FALSE(ObjectExists(base));
  QVSEMAPHORE n[3];  // null and empty names are one name
  ASSERT_EQ(QVNamedSemOpen(nullptr, 0, &n[0]), QV_S_OK);
  ASSERT_EQ(QVNamedSemOpen("", 0, &n[1]), QV_S_OK);
  ASSERT_EQ(QVSemaphoreCreate(0, nullptr, QV_SEM_NAMED, &n[2]), QV_S_OK);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(QVNamedSemPost(n[i]), QV_S_OK);
    EXPECT_EQ(QVNamedSemTryWait(n[(i + 1) % 3]), QV_S_OK) << i;
  }
  for (QVSEMAPHORE h : n) QVNamedSemClose(h);
}

TEST(SemaphoreStress, RacingOpensAndClosesNeverSplitOrLeaveTheObject) {
  // Without an anchor each round's object may die and be born again; the name must never outlive the last handle.
  std::string name = UniqueName("qvsem");
  OnThreads(4, [&] {
    for (int i = 0; i < 200; ++i) {
      QVSEMAPHORE s;
      ASSERT_EQ(QVNamedSemOpen(name.c_str(), 1, &s), QV_S_OK);
      QVNamedSemClose(s);
    }
  });
  EXPECT_FALSE(ObjectExists(name));
  QVSEMAPHORE anchor;  // with it open every opener must reach the one shared count
  ASSERT_EQ(QVNamedSemOpen(name.c_str(), 0, &anchor), QV_S_OK);
  OnThreads(4, [&] {
    for (int i = 0; i < 100; ++i) {
      QVSEMAPHORE s;
      ASSERT_EQ(QVNamedSemOpen(name.c_str(), 7, &s), QV_S_OK);
      EXPECT_EQ(QVNamedSemPost(s), QV_S_OK);
      QVNamedSemClose(s);
    }
  });
  int units = 0;
  while (QVNamedSemTryWait(anchor) == QV_S_OK) ++units;
  EXPECT_EQ(units, 400);
  QVNamedSemClose(anchor);
  EXPECT_FALSE(ObjectExists(name));
}

TEST(NamedSemaphoreAcrossProcesses, TwoProcessesShareOneCount) {
  std::string name = UniqueName("qvsem");
  QVSEMAPHORE s;
  ASSERT_EQ(QVNamedSemOpen(name.c_str(), 1, &s), QV_S_OK);
  HelperProcess helper;
  ASSERT_EQ(helper.Run("sem " + name + " 5"), QV_S_OK);
  EXPECT_EQ(helper.Run("trywait"), QV_S_OK);
  EXPECT_EQ(helper.Run("trywait"), QV_E_FAIL);  // its 5 was ignored
  helper.Write("wait");                         // blocks until this process posts
  EXPECT_EQ(QVNamedSemPost(s), QV_S_OK);
  EXPECT_EQ(qvtest::Code(helper.ReadLine()), QV_S_OK);
  EXPECT_EQ(helper.Run("post"), QV_S_OK);
  EXPECT_EQ(QVNamedSemWait(s), QV_S_OK);
  QVNamedSemClose(s);  // the helper's handle keeps the object
  ASSERT_EQ(helper.Run("post"), QV_S_OK);
  ASSERT_EQ(QVNamedSemOpen(name.c_str(), 0, &s), QV_S_OK);
  EXPECT_EQ(QVNamedSemTryWait(s), QV_S_OK);
  EXPECT_EQ(helper.Run("semclose"), QV_S_OK);
  QVNamedSemClose(s);
  EXPECT_FALSE(ObjectExists(name));
}
