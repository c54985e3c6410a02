#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "os/os_handle.h"
#include "os/os_thread_handle.h"
#include "process/thread_manager.h"
#include "qvcore5/qvcore.h"
#include "support/test_support.h"
#include "sync/mutex.h"

using qv::process::CQVThreadManager;
using qv::process::ThreadManager;

namespace {

uint32_t ReturnArgument(void* argument) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(argument)); }

// Blocks until the semaphore passed as argument is posted, then returns 3.
uint32_t WaitForGo(void* argument) {
  QVSemaphoreWait(static_cast<QVSEMAPHORE>(argument));
  return 3;
}

QVSEMAPHORE NewSemaphore() {
  QVSEMAPHORE s = nullptr;
  EXPECT_EQ(QVSemaphoreCreate(0, nullptr, 0, &s), QV_S_OK);
  return s;
}

// Waits until the record is gone; bounded so a fault fails instead of hanging.
bool EventuallyFinished(uint32_t id) {
  for (int i = 0; i < 200000; ++i) {
    if (QVThreadIsFinished(id) == 1) return true;
    QVThreadYield();
  }
  return false;
}

// Waits until the thread has fully ended, without joining it in the manager.
void WaitUntilEnded(uint32_t id) {
  qv::process::CQVThreadData* data = ThreadManager()->Lookup(id);
  ASSERT_NE(data, nullptr);
  EXPECT_TRUE(qv::os::WaitForThread(data->m_handle));
  data->ReleaseReference();
}

}  // namespace

TEST(Thread, JoinReturnsTheExitCodeOnce) {
  uint32_t thread = 0, id = 0;
  ASSERT_EQ(QVThreadCreate(&ReturnArgument, reinterpret_cast<void*>(7), 0, 0, &thread, &id), QV_S_OK);
  EXPECT_EQ(thread, id);
  EXPECT_NE(id, QVThreadGetID());
  uint32_t code = 0;
  EXPECT_EQ(QVThreadJoin(id, &code), QV_S_OK);
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(QVThreadIsFinished(id), 1);
  code = 99;
  EXPECT_EQ(QVThreadJoin(id, &code), QV_E_HANDLE);
  EXPECT_EQ(code, 0u);

  ASSERT_EQ(QVThreadCreate(&ReturnArgument, reinterpret_cast<void*>(0xFFFFFFFE), 0, 0, &thread, nullptr), QV_S_OK);
  EXPECT_EQ(QVThreadJoin(thread, nullptr), QV_S_OK);
}

TEST(Thread, TheRecordExistsBeforeTheStartRoutineRuns) {
  struct Seen {
    std::atomic<uint32_t> id{0};
    std::atomic<bool> tracked{false};
    std::atomic<int32_t> finished{-1};
  } seen;
  auto routine = [](void* argument) -> uint32_t {
    auto* s = static_cast<Seen*>(argument);
    s->id = QVThreadGetID();
    qv::process::CQVThreadData* data = ThreadManager()->Lookup(QVThreadGetID());
    s->tracked = data != nullptr;
    if (data != nullptr) data->ReleaseReference();
    s->finished = QVThreadIsFinished(QVThreadGetID());
    return 0;
  };
  for (int i = 0; i < 20; ++i) {
    uint32_t thread;
    ASSERT_EQ(QVThreadCreate(routine, &seen, 0, 0, &thread, nullptr), QV_S_OK);
    ASSERT_EQ(QVThreadJoin(thread, nullptr), QV_S_OK);
    EXPECT_EQ(seen.id.load(), thread);
    EXPECT_TRUE(seen.tracked.load());
    EXPECT_EQ(seen.finished.load(), 0);
  }
}

TEST(Thread, DetachedThreadReportsFinishedOnceItsRoutineReturns) {
  QVSEMAPHORE go = NewSemaphore();
  uint32_t thread;
  ASSERT_EQ(QVThreadCreate(&WaitForGo, go, 0, 0, &thread, nullptr), QV_S_OK);
  EXPECT_EQ(QVThreadDetach(thread), QV_S_OK);
  EXPECT_EQ(QVThreadIsFinished(thread), 0);
  // A second detach fails on the closed handle but keeps the record.
  EXPECT_EQ(QVThreadDetach(thread), QV_E_HANDLE);
  EXPECT_EQ(QVThreadIsFinished(thread), 0);
  EXPECT_EQ(QVThreadJoin(thread, nullptr), QV_E_HANDLE);  // its handle is closed
  QVSemaphorePost(go);
  EXPECT_TRUE(EventuallyFinished(thread));
  EXPECT_EQ(QVThreadDetach(thread), QV_E_HANDLE);
  QVSemaphoreDestroy(go);
}

TEST(Thread, AnEndedThreadIsFinishedOnlyOnceJoinedOrDetached) {
  uint32_t joined, detached;
  ASSERT_EQ(QVThreadCreate(&ReturnArgument, reinterpret_cast<void*>(5), 0, 0, &joined, nullptr), QV_S_OK);
  ASSERT_EQ(QVThreadCreate(&ReturnArgument, nullptr, 0, 0, &detached, nullptr), QV_S_OK);
  WaitUntilEnded(joined);
  WaitUntilEnded(detached);
  EXPECT_EQ(QVThreadIsFinished(joined), 0);
  uint32_t code = 0;
  EXPECT_EQ(QVThreadJoin(joined, &code), QV_S_OK);
  EXPECT_EQ(code, 5u);
  EXPECT_EQ(QVThreadIsFinished(joined), 1);
  EXPECT_EQ(QVThreadIsFinished(detached), 0);
  EXPECT_EQ(QVThreadDetach(detached), QV_S_OK);  // removes the record at once
  EXPECT_EQ(QVThreadIsFinished(detached), 1);
}

TEST(Thread, TwoJoinersShareOneEnd) {
  // Both joiners may wait on the same handle; exactly one closes it.
  for (int round = 0; round < 20; ++round) {
    QVSEMAPHORE go = NewSemaphore();
    uint32_t thread;
    ASSERT_EQ(QVThreadCreate(&WaitForGo, go, 0, 0, &thread, nullptr), QV_S_OK);
    QVRESULT results[2];
    uint32_t codes[2] = {};
    std::thread a([&] { results[0] = QVThreadJoin(thread, &codes[0]); });
    std::thread b([&] { results[1] = QVThreadJoin(thread, &codes[1]); });
    QVSemaphorePost(go);
    a.join();
    b.join();
    int successes = 0;
    for (int i = 0; i < 2; ++i) {
      if (results[i] == QV_S_OK) {
        ++successes;
        EXPECT_EQ(codes[i], 3u);
      } else {
        EXPECT_EQ(results[i], QV_E_HANDLE);
      }
    }
    EXPECT_EQ(successes, 1);
    EXPECT_EQ(QVThreadIsFinished(thread), 1);
    QVSemaphoreDestroy(go);
  }
}

TEST(Thread, DetachWhileAnotherThreadJoinsKeepsTheWaitValid) {
  // Whether the detach closes the handle before or during the joiner's wait,
  // the joiner ends with the closed handle's error and nothing is freed
  // under it (the sanitizer builds check the latter).
  for (int round = 0; round < 20; ++round) {
    QVSEMAPHORE go = NewSemaphore();
    uint32_t thread;
    ASSERT_EQ(QVThreadCreate(&WaitForGo, go, 0, 0, &thread, nullptr), QV_S_OK);
    QVRESULT joined = QV_S_OK;
    std::thread joiner([&] { joined = QVThreadJoin(thread, nullptr); });
    for (int i = 0; i < round; ++i) QVThreadYield();
    EXPECT_EQ(QVThreadDetach(thread), QV_S_OK);
    QVSemaphorePost(go);
    joiner.join();
    EXPECT_EQ(joined, QV_E_HANDLE);
    EXPECT_TRUE(EventuallyFinished(thread));
    QVSemaphoreDestroy(go);
  }
}

TEST(Thread, UnknownAndStartingThreadsAreRefusedClearly) {
  uint32_t unknown = 0xFFFFFFF0u;
  EXPECT_EQ(QVThreadJoin(unknown, nullptr), QV_E_HANDLE);
  EXPECT_EQ(QVThreadDetach(unknown), QV_E_HANDLE);
  EXPECT_EQ(QVThreadIsFinished(unknown), 1);
  // The thread that started the library is known and never finishes; its
  // pseudo handle can be neither waited on nor closed.
  uint32_t self = QVThreadGetID();
  EXPECT_EQ(QVThreadIsFinished(self), 0);
  EXPECT_EQ(QVThreadJoin(self, nullptr), QV_E_HANDLE);
  EXPECT_EQ(QVThreadIsFinished(self), 0);
}

TEST(Thread, AThreadJoiningItselfFailsInsteadOfHanging) {
  struct Self {
    std::atomic<QVRESULT> result{0};
  } self;
  auto routine = [](void* argument) -> uint32_t {
    static_cast<Self*>(argument)->result = QVThreadJoin(QVThreadGetID(), nullptr);
    return 1;
  };
  uint32_t thread;
  ASSERT_EQ(QVThreadCreate(routine, &self, 0, 0, &thread, nullptr), QV_S_OK);
  uint32_t code = 0;
  EXPECT_EQ(QVThreadJoin(thread, &code), QV_S_OK);
  EXPECT_EQ(code, 1u);
  EXPECT_EQ(self.result.load(), QV_E_FAIL);  // error 1131, not in the mapping table
}

TEST(Thread, BadInputGetsAClearResult) {
  uint32_t thread = 1, id = 1;
  EXPECT_EQ(QVThreadCreate(nullptr, nullptr, 0, 0, &thread, &id), QV_E_INVALIDARG);
  EXPECT_EQ(thread, 0xFFFFFFFFu);
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(QVThreadCreate(&ReturnArgument, nullptr, 0, 0, nullptr, &id), QV_E_INVALIDARG);
  EXPECT_EQ(QVGetSetCpuAffinity(nullptr), QV_E_INVALIDARG);
}

TEST(Thread, StackSizesAreRoundedUpAndZeroMeansDefault) {
  for (uint32_t size : {0u, 1u, 65537u, 1u << 20}) {
    uint32_t thread;
    ASSERT_EQ(QVThreadCreate(&ReturnArgument, reinterpret_cast<void*>(size), 0, size, &thread, nullptr), QV_S_OK)
        << size;
    uint32_t code = 0;
    EXPECT_EQ(QVThreadJoin(thread, &code), QV_S_OK);
    EXPECT_EQ(code, size);
  }
}

TEST(Thread, CallingThreadServices) {
  EXPECT_EQ(QVThreadGetHandle(), QVThreadGetHandle());
  EXPECT_NE(QVThreadGetHandle(), QV_INVALID_HANDLE);
  EXPECT_EQ(QVThreadYield(), QV_S_OK);
  uint32_t affinity = 9;
  EXPECT_EQ(QVGetSetCpuAffinity(&affinity), QV_S_OK);
  EXPECT_EQ(affinity, 0u);
  EXPECT_EQ(QVSetCpuAffinity(3), QV_S_OK);
  uint32_t other = 0;
  std::thread([&] { other = QVThreadGetID(); }).join();
  EXPECT_NE(other, QVThreadGetID());
  EXPECT_NE(other, 0u);
}

TEST(ThreadManager, RegistersItsCreatorWithItsNamedMutex) {
  auto names = qvtest::MutexesCreatedBy([] {
    std::thread([] {
      CQVThreadManager manager;
      EXPECT_EQ(manager.TrackedCount(), 1u);
      EXPECT_FALSE(manager.IsFinished(QVThreadGetID()));
      EXPECT_EQ(manager.Detach(QVThreadGetID()), QV_E_HANDLE);  // the pseudo handle is not closed
      EXPECT_FALSE(manager.IsFinished(QVThreadGetID()));
    }).join();
  });
  EXPECT_EQ(names, std::vector<std::string>{"CQVThreadManager::m_mapMutex"});
}

TEST(ThreadManager, AReusedIdentifierReplacesTheOldRecordAndClosesItsHandle) {
  CQVThreadManager manager;
  uint32_t thread;
  ASSERT_EQ(QVThreadCreate(&ReturnArgument, nullptr, 0, 0, &thread, nullptr), QV_S_OK);
  qv::process::CQVThreadData* data = ThreadManager()->Lookup(thread);
  ASSERT_NE(data, nullptr);
  QVHANDLE handle = data->m_handle;
  data->ReleaseReference();
  // Hand the handle to the private manager, as if the id had been reused.
  manager.Add(4242, handle);
  manager.Add(4242, qv::os::CurrentThreadPseudoHandle());
  EXPECT_FALSE(qv::os::CloseHandle(handle));  // closed by the replacement
  EXPECT_EQ(QVThreadDetach(thread), QV_E_HANDLE);
  EXPECT_TRUE(EventuallyFinished(thread));
}

TEST(ThreadStress, ManyCreatorsJoinOrDetachAtRandom) {
  size_t handlesBefore = qv::os::OpenHandleCount();
  size_t trackedBefore = ThreadManager()->TrackedCount();
  constexpr int kCreators = 8, kThreadsEach = 200;
  std::atomic<int> failures{0};
  std::vector<std::thread> creators;
  for (int c = 0; c < kCreators; ++c) {
    creators.emplace_back([&, c] {
      std::mt19937 random(1234 + c);
      std::vector<uint32_t> detached;
      for (int i = 0; i < kThreadsEach; ++i) {
        uint32_t thread;
        if (QVThreadCreate(&ReturnArgument, reinterpret_cast<void*>(uintptr_t(i)), 0, 0, &thread, nullptr) !=
            QV_S_OK) {
          ++failures;
          continue;
        }
        QVThreadIsFinished(thread);
        if (random() % 2 == 0) {
          uint32_t code = 0;
          if (QVThreadJoin(thread, &code) != QV_S_OK || code != uint32_t(i)) ++failures;
        } else {
          if (QVThreadDetach(thread) != QV_S_OK) ++failures;
          detached.push_back(thread);
        }
        // Poll what was detached earlier while new threads come and go.
        for (uint32_t d : detached) QVThreadIsFinished(d);
      }
      for (uint32_t d : detached)
        if (!EventuallyFinished(d)) ++failures;
    });
  }
  for (auto& t : creators) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(ThreadManager()->TrackedCount(), trackedBefore);
  EXPECT_EQ(trackedBefore, 1u);  // only the thread that started the library
  EXPECT_EQ(qv::os::OpenHandleCount(), handlesBefore);
}
