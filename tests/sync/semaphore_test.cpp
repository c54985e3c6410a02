#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "qvcore5/qvcore.h"
#include "support/test_support.h"
#include "sync/xproc.h"

using qvtest::Code;
using qvtest::HelperProcess;
using qvtest::ObjectExists;
using qvtest::UniqueName;

namespace {
const QVSEMAPHORE kNoSemaphore = reinterpret_cast<QVSEMAPHORE>(QV_INVALID_HANDLE);
}

TEST(Semaphore, CountsUnitsAndTryWaitFailsAtZero) {
  QVSEMAPHORE s;
  ASSERT_EQ(QVSemaphoreCreate(2, "local", 0, &s), QV_S_OK);
  EXPECT_EQ(QVSemaphoreTryWait(s), QV_S_OK);
  EXPECT_EQ(QVSemaphoreWait(s), QV_S_OK);
  EXPECT_EQ(QVSemaphoreTryWait(s), QV_E_FAIL);  // not the time-out code
  EXPECT_EQ(QVSemaphorePost(s), QV_S_OK);
  EXPECT_EQ(QVSemaphoreTryWait(s), QV_S_OK);
  int32_t value = 5;
  EXPECT_EQ(QVSemaphoreGetValue(s, &value), QV_S_OK);
  EXPECT_EQ(value, -1);  // no readable count
  EXPECT_EQ(QVSemaphoreDestroy(s), QV_S_OK);
}

TEST(Semaphore, PostingBeyondTheMaximumFailsAndKeepsTheCount) {
  QVSEMAPHORE s;
  ASSERT_EQ(QVSemaphoreCreate(QV_SEM_MAX_COUNT - 1, nullptr, 0, &s), QV_S_OK);
  EXPECT_EQ(QVSemaphorePost(s), QV_S_OK);
  EXPECT_EQ(QVSemaphorePost(s), QV_E_FAIL);  // error 298 mapped
  int taken = 0;
  while (QVSemaphoreTryWait(s) == QV_S_OK) ++taken;
  EXPECT_EQ(taken, QV_SEM_MAX_COUNT);
  QVSemaphoreDestroy(s);
}

TEST(Semaphore, BadInputGetsAClearResult) {
  QVSEMAPHORE s = nullptr;
  EXPECT_EQ(QVSemaphoreCreate(-1, nullptr, 0, &s), QV_E_FAIL);
  EXPECT_EQ(s, kNoSemaphore);
  EXPECT_EQ(QVSemaphoreCreate(QV_SEM_MAX_COUNT + 1, nullptr, 0, &s), QV_E_FAIL);
  EXPECT_EQ(s, kNoSemaphore);
  EXPECT_EQ(QVSemaphoreCreate(0, nullptr, 0, nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVSemaphorePost(nullptr), QV_E_HANDLE);
  EXPECT_EQ(QVSemaphoreWait(kNoSemaphore), QV_E_HANDLE);
  EXPECT_EQ(QVSemaphoreTryWait(nullptr), QV_E_HANDLE);
  EXPECT_EQ(QVSemaphoreGetValue(nullptr, nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVSemaphoreDestroy(nullptr), QV_S_OK);
  EXPECT_EQ(QVSemaphoreDestroy(kNoSemaphore), QV_S_OK);
  EXPECT_EQ(QVNamedSemClose(nullptr), QV_S_OK);

  EXPECT_EQ(QVNamedSemOpen(std::string(300, 'x').c_str(), 1, &s), QV_E_FAIL);
  EXPECT_EQ(s, kNoSemaphore);
  EXPECT_EQ(QVNamedSemOpen(UniqueName("qvsem").c_str(), -1, &s), QV_E_FAIL);
  EXPECT_EQ(QVNamedSemOpen(UniqueName("qvsem").c_str(), 1, nullptr), QV_E_INVALIDARG);
}

TEST(Semaphore, WaitersAreWokenByPostsFromOtherThreads) {
  // Producers and consumers move many units through a small semaphore; a
  // lost wake-up would hang, a double take would leave units missing.
  QVSEMAPHORE s;
  ASSERT_EQ(QVSemaphoreCreate(0, nullptr, 0, &s), QV_S_OK);
  constexpr int kThreads = 4, kUnits = 5000;
  std::atomic<int> taken{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kUnits; ++i)
        if (QVSemaphoreWait(s) == QV_S_OK) taken.fetch_add(1);
    });
    threads.emplace_back([&] {
      for (int i = 0; i < kUnits; ++i)
        while (QVSemaphorePost(s) != QV_S_OK) std::this_thread::yield();
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(taken.load(), kThreads * kUnits);
  EXPECT_EQ(QVSemaphoreTryWait(s), QV_E_FAIL);
  QVSemaphoreDestroy(s);
}

TEST(NamedSemaphore, SecondOpenSharesTheCountAndIgnoresItsInitialCount) {
  std::string name = UniqueName("qvsem");
  QVSEMAPHORE a, b;
  ASSERT_EQ(QVNamedSemOpen(name.c_str(), 1, &a), QV_S_OK);
  ASSERT_EQ(QVSemaphoreCreate(5, name.c_str(), QV_SEM_NAMED, &b), QV_S_OK);
  EXPECT_EQ(QVNamedSemTryWait(b), QV_S_OK);
  EXPECT_EQ(QVNamedSemTryWait(a), QV_E_FAIL);
  EXPECT_EQ(QVNamedSemTryWait(b), QV_E_FAIL);
  EXPECT_EQ(QVNamedSemPost(a), QV_S_OK);
  EXPECT_EQ(QVNamedSemWait(b), QV_S_OK);
  int32_t value = 0;
  EXPECT_EQ(QVNamedSemGetValue(a, &value), QV_S_OK);
  EXPECT_EQ(value, -1);
  EXPECT_EQ(QVNamedSemClose(a), QV_S_OK);
  EXPECT_EQ(QVNamedSemClose(b), QV_S_OK);
}

TEST(NamedSemaphore, DisappearsWithItsLastHandle) {
  std::string name = UniqueName("qvsem");
  QVSEMAPHORE a, b;
  ASSERT_EQ(QVNamedSemOpen(name.c_str(), 2, &a), QV_S_OK);
  ASSERT_EQ(QVNamedSemOpen(name.c_str(), 0, &b), QV_S_OK);
  EXPECT_TRUE(ObjectExists(name));
  QVNamedSemClose(a);
  EXPECT_EQ(QVNamedSemTryWait(b), QV_S_OK);  // b still holds the object
  QVNamedSemClose(b);
  EXPECT_FALSE(ObjectExists(name));
  ASSERT_EQ(QVNamedSemOpen(name.c_str(), 0, &a), QV_S_OK);
  EXPECT_EQ(QVNamedSemTryWait(a), QV_E_FAIL);  // a new object with the new count
  QVNamedSemClose(a);
  EXPECT_FALSE(ObjectExists(name));
}

TEST(NamedSemaphore, NamesWithSlashesAndEscapesStayDistinct) {
  std::string base = UniqueName("qvsem");
  std::string slashed = base + "/a", escaped = base + "%2Fa", local = "Local\\" + base;
  QVSEMAPHORE a, b, c;
  ASSERT_EQ(QVNamedSemOpen(slashed.c_str(), 1, &a), QV_S_OK);
  ASSERT_EQ(QVNamedSemOpen(escaped.c_str(), 0, &b), QV_S_OK);
  ASSERT_EQ(QVNamedSemOpen(local.c_str(), 0, &c), QV_S_OK);
  EXPECT_EQ(QVNamedSemTryWait(b), QV_E_FAIL);
  EXPECT_EQ(QVNamedSemTryWait(c), QV_E_FAIL);
  EXPECT_EQ(QVNamedSemTryWait(a), QV_S_OK);
  QVNamedSemClose(a);
  QVNamedSemClose(b);
  QVNamedSemClose(c);
  EXPECT_FALSE(ObjectExists(base));
}

TEST(NamedSemaphore, ConcurrentOpensAndClosesNeverSplitTheObject) {
  // While one handle stays open, threads open and close the same name over
  // and over: every opener must reach the one shared count.
  std::string name = UniqueName("qvsem");
  QVSEMAPHORE anchor;
  ASSERT_EQ(QVNamedSemOpen(name.c_str(), 0, &anchor), QV_S_OK);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 100; ++i) {
        QVSEMAPHORE s;
        ASSERT_EQ(QVNamedSemOpen(name.c_str(), 7, &s), QV_S_OK);
        EXPECT_EQ(QVNamedSemPost(s), QV_S_OK);
        QVNamedSemClose(s);
      }
    });
  }
  for (auto& t : threads) t.join();
  int units = 0;
  while (QVNamedSemTryWait(anchor) == QV_S_OK) ++units;
  EXPECT_EQ(units, 400);
  QVNamedSemClose(anchor);
  EXPECT_FALSE(ObjectExists(name));
}

TEST(NamedSemaphore, RacingLastClosersAndOpenersLeaveNoStrayObject) {
  // Without an anchor each round's object may die and be born again; the
  // name must never outlive the last handle.
  std::string name = UniqueName("qvsem");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        QVSEMAPHORE s;
        ASSERT_EQ(QVNamedSemOpen(name.c_str(), 1, &s), QV_S_OK);
        QVNamedSemClose(s);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_FALSE(ObjectExists(name));
}

TEST(NamedSemaphoreAcrossProcesses, TwoProcessesShareOneCount) {
  std::string name = UniqueName("qvsem");
  QVSEMAPHORE s;
  ASSERT_EQ(QVNamedSemOpen(name.c_str(), 1, &s), QV_S_OK);
  HelperProcess helper;
  ASSERT_EQ(Code(helper.Send("sem " + name + " 5")), QV_S_OK);
  EXPECT_EQ(Code(helper.Send("trywait")), QV_S_OK);
  EXPECT_EQ(Code(helper.Send("trywait")), QV_E_FAIL);  // its 5 was ignored
  EXPECT_EQ(QVNamedSemTryWait(s), QV_E_FAIL);
  // The helper blocks until this process posts.
  helper.Write("wait");
  EXPECT_EQ(QVNamedSemPost(s), QV_S_OK);
  EXPECT_EQ(Code(helper.ReadLine()), QV_S_OK);
  EXPECT_EQ(Code(helper.Send("post")), QV_S_OK);
  EXPECT_EQ(QVNamedSemWait(s), QV_S_OK);
  // This process closes first: the helper's handle keeps the object.
  QVNamedSemClose(s);
  ASSERT_EQ(Code(helper.Send("post")), QV_S_OK);
  ASSERT_EQ(QVNamedSemOpen(name.c_str(), 0, &s), QV_S_OK);
  EXPECT_EQ(QVNamedSemTryWait(s), QV_S_OK);
  EXPECT_EQ(Code(helper.Send("semclose")), QV_S_OK);
  QVNamedSemClose(s);
  EXPECT_FALSE(ObjectExists(name));
  ASSERT_EQ(QVNamedSemOpen(name.c_str(), 0, &s), QV_S_OK);
  EXPECT_EQ(QVNamedSemTryWait(s), QV_E_FAIL);
  QVNamedSemClose(s);
}

TEST(NamedSemaphoreAcrossProcesses, AKilledHolderLeavesNothingBehind) {
  std::string shared = UniqueName("qvsem"), alone = UniqueName("qvsem");
  QVSEMAPHORE s;
  ASSERT_EQ(QVNamedSemOpen(shared.c_str(), 0, &s), QV_S_OK);
  {
    HelperProcess helper;
    ASSERT_EQ(Code(helper.Send("sem " + shared + " 0")), QV_S_OK);
    EXPECT_EQ(Code(helper.Send("post")), QV_S_OK);
    HelperProcess lonely;
    ASSERT_EQ(Code(lonely.Send("sem " + alone + " 3")), QV_S_OK);
    helper.Kill();
    lonely.Kill();
  }
  EXPECT_EQ(QVNamedSemTryWait(s), QV_S_OK);  // the killed helper's post stays
  QVNamedSemClose(s);
  EXPECT_FALSE(ObjectExists(shared));
  // The object only the killed process held is gone for a new opener.
  ASSERT_EQ(QVNamedSemOpen(alone.c_str(), 0, &s), QV_S_OK);
  EXPECT_EQ(QVNamedSemTryWait(s), QV_E_FAIL);
  QVNamedSemClose(s);
  EXPECT_FALSE(ObjectExists(alone));
}
