#include <gtest/gtest.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/lifecycle.h"
#include "os/os_handle.h"
#include "os/os_thread_handle.h"
#include "process/thread_manager.h"
#include "qvcore5/qvcore.h"
#include "support/test_support.h"

using qv::process::CQVThreadManager;
using qv::process::ThreadManager;

namespace {

uint32_t ReturnArgument(void* argument) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(argument)); }
uint32_t WaitForGo(void* semaphore) { return QVSemaphoreWait(static_cast<QVSEMAPHORE>(semaphore)), 3; }

// Bounded, so a record that never goes fails instead of hanging.
bool EventuallyFinished(uint32_t id) {
  return qvtest::WaitUntil([id] { return QVThreadIsFinished(id) == 1; });
}

// A thread blocked until Go(); the semaphore is destroyed with it.
struct Blocked {
  QVSEMAPHORE go = nullptr;
  uint32_t thread = 0;
  Blocked() {
    EXPECT_EQ(QVSemaphoreCreate(0, nullptr, 0, &go), QV_S_OK);
    EXPECT_EQ(QVThreadCreate(&WaitForGo, go, 0, 0, &thread, nullptr), QV_S_OK);
  }
  void Go() { QVSemaphorePost(go); }
  ~Blocked() {
    EXPECT_TRUE(EventuallyFinished(thread));
    QVSemaphoreDestroy(go);
  }
};

// Runs `child` in a forked process; its exit code, or 1000 + signal.
int InChild(const std::function<int()>& child) {
  pid_t pid = fork();
  if (pid == 0) _exit(child());
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

}  // namespace

TEST(Thread, JoinReturnsTheExitCodeOnceAndTheRecordExistsFromTheStart) {
  struct Seen {
    std::atomic<uint32_t> id{0};
    std::atomic<int32_t> finished{-1};
  } seen;
  auto routine = [](void* argument) -> uint32_t {
    auto* s = static_cast<Seen*>(argument);
    s->id = QVThreadGetID();
    s->finished = QVThreadIsFinished(QVThreadGetID());
    return 7;
  };
  for (int i = 0; i < 20; ++i) {
    uint32_t thread = 0, id = 0, code = 0;
    ASSERT_EQ(QVThreadCreate(routine, &seen, 0, 0, &thread, &id), QV_S_OK);
    EXPECT_EQ(thread, id);
    EXPECT_EQ(QVThreadJoin(id, &code), QV_S_OK);
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(seen.id.load(), thread);
    EXPECT_EQ(seen.finished.load(), 0);  // tracked before the routine ran
    EXPECT_EQ(QVThreadIsFinished(id), 1);
    EXPECT_EQ(QVThreadJoin(id, &code), QV_E_HANDLE);
    EXPECT_EQ(code, 0u);
  }
  for (uint32_t size : {0u, 1u, 65537u, 1u << 20}) {  // stack sizes round up; zero is the default
    uint32_t thread, code = 0;
    ASSERT_EQ(QVThreadCreate(&ReturnArgument, reinterpret_cast<void*>(size), 0, size, &thread, nullptr), QV_S_OK);
    EXPECT_EQ(QVThreadJoin(thread, &code), QV_S_OK);
    EXPECT_EQ(code, size);
  }
}

TEST(Thread, DetachedOrEndedThreadsAreFinishedOnlyOnceJoinedOrDetachedAndEnded) {
  {
    Blocked b;
    EXPECT_EQ(QVThreadDetach(b.thread), QV_S_OK);
    EXPECT_EQ(QVThreadDetach(b.thread), QV_E_HANDLE);  // the closed handle; the record stays
    EXPECT_EQ(QVThreadJoin(b.thread, nullptr), QV_E_HANDLE);
    EXPECT_EQ(QVThreadIsFinished(b.thread), 0);
    b.Go();
  }
  uint32_t joined, detached, code = 0;
  ASSERT_EQ(QVThreadCreate(&ReturnArgument, reinterpret_cast<void*>(5), 0, 0, &joined, nullptr), QV_S_OK);
  ASSERT_EQ(QVThreadCreate(&ReturnArgument, nullptr, 0, 0, &detached, nullptr), QV_S_OK);
  for (uint32_t id : {joined, detached}) {  // wait for the end without joining in the manager
    qv::process::CQVThreadData* data = ThreadManager()->Lookup(id);
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(qv::os::WaitForThread(data->m_handle));
    data->ReleaseReference();
    EXPECT_EQ(QVThreadIsFinished(id), 0);
  }
  EXPECT_EQ(QVThreadJoin(joined, &code), QV_S_OK);
  EXPECT_EQ(code, 5u);
  EXPECT_EQ(QVThreadIsFinished(joined), 1);
  EXPECT_EQ(QVThreadDetach(detached), QV_S_OK);  // removes the record at once
  EXPECT_EQ(QVThreadIsFinished(detached), 1);
}

TEST(Thread, RacingJoinersAndDetachersShareOneEnd) {
  for (int round = 0; round < 20; ++round) {
    QVRESULT results[2];
    uint32_t codes[2] = {};
    {
      Blocked b;  // both joiners may wait on the same handle; exactly one closes it
      std::thread x([&] { results[0] = QVThreadJoin(b.thread, &codes[0]); });
      std::thread y([&] { results[1] = QVThreadJoin(b.thread, &codes[1]); });
      b.Go();
      x.join(), y.join();
    }
    EXPECT_EQ((results[0] == QV_S_OK) + (results[1] == QV_S_OK), 1);
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(results[i] == QV_E_HANDLE || (results[i] == QV_S_OK && codes[i] == 3)) << i;
    // A detach before or during a join leaves the joiner a closed handle, never a freed one.
    Blocked b;
    QVRESULT joined = QV_S_OK;
    std::thread joiner([&] { joined = QVThreadJoin(b.thread, nullptr); });
    for (int i = 0; i < round; ++i) QVThreadYield();
    EXPECT_EQ(QVThreadDetach(b.thread), QV_S_OK);
    b.Go();
    joiner.join();
    EXPECT_EQ(joined, QV_E_HANDLE);
  }
}

TEST(Thread, BadInputUnknownAndOwnThreadsGetTheirExactResult) {
  uint32_t thread = 1, id = 1, unknown = 0xFFFFFFF0u, self = QVThreadGetID();
  EXPECT_EQ(QVThreadCreate(nullptr, nullptr, 0, 0, &thread, &id), QV_E_INVALIDARG);
  EXPECT_EQ(thread, 0xFFFFFFFFu);
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(QVThreadCreate(&ReturnArgument, nullptr, 0, 0, nullptr, &id), QV_E_INVALIDARG);
  EXPECT_EQ(QVGetSetCpuAffinity(nullptr), QV_E_INVALIDARG);
  EXPECT_EQ(QVThreadJoin(unknown, nullptr), QV_E_HANDLE);
  EXPECT_EQ(QVThreadDetach(unknown), QV_E_HANDLE);
  EXPECT_EQ(QVThreadIsFinished(unknown), 1);
  // The thread that started the library never finishes; its pseudo handle
  // can be neither waited on nor closed.
  EXPECT_EQ(QVThreadJoin(self, nullptr), QV_E_HANDLE);
  EXPECT_EQ(QVThreadIsFinished(self), 0);
  std::atomic<QVRESULT> joinedItself{0};
  auto routine = [](void* result) -> uint32_t {
    static_cast<std::atomic<QVRESULT>*>(result)->store(QVThreadJoin(QVThreadGetID(), nullptr));
    return 1;
  };
  ASSERT_EQ(QVThreadCreate(routine, &joinedItself, 0, 0, &thread, nullptr), QV_S_OK);
  EXPECT_EQ(QVThreadJoin(thread, nullptr), QV_S_OK);
  EXPECT_EQ(joinedItself.load(), QV_E_FAIL);  // fails instead of hanging; error 1131 is not in the mapping table
  EXPECT_EQ(QVThreadGetHandle(), QVThreadGetHandle());
  EXPECT_NE(QVThreadGetHandle(), QV_INVALID_HANDLE);
  uint32_t affinity = 9;
  EXPECT_EQ(QVGetSetCpuAffinity(&affinity), QV_S_OK);
  EXPECT_EQ(affinity, 0u);
  EXPECT_EQ(QVSetCpuAffinity(3), QV_S_OK);
}

TEST(ThreadManager, RegistersItsCreatorAndAReusedIdClosesTheOldHandle) {
  auto names = qvtest::MutexesCreatedBy([] {
    std::thread([] {
      CQVThreadManager manager;
      EXPECT_EQ(manager.TrackedCount(), 1u);
      EXPECT_EQ(manager.Detach(QVThreadGetID()), QV_E_HANDLE);  // the pseudo handle is not closed
      EXPECT_FALSE(manager.IsFinished(QVThreadGetID()));
    }).join();
  });
  EXPECT_EQ(names, std::vector<std::string>{"CQVThreadManager::m_mapMutex"});
  CQVThreadManager manager;
  uint32_t thread;
  ASSERT_EQ(QVThreadCreate(&ReturnArgument, nullptr, 0, 0, &thread, nullptr), QV_S_OK);
  qv::process::CQVThreadData* data = ThreadManager()->Lookup(thread);
  ASSERT_NE(data, nullptr);
  QVHANDLE handle = data->m_handle;
  data->ReleaseReference();
  manager.Add(4242, handle);  // as if the id had been reused
  manager.Add(4242, qv::os::CurrentThreadPseudoHandle());
  EXPECT_FALSE(qv::os::HandleClose(handle));  // closed by the replacement
  EXPECT_EQ(QVThreadDetach(thread), QV_E_HANDLE);
  EXPECT_TRUE(EventuallyFinished(thread));
}

TEST(ThreadStress, ManyCreatorsJoinOrDetachAtRandom) {
  size_t handlesBefore = qv::os::OpenHandleCount();
  std::atomic<int> failures{0};
  std::vector<std::thread> creators;
  for (int c = 0; c < 8; ++c) {
    creators.emplace_back([&, c] {
      std::mt19937 random(1234 + c);
      std::vector<uint32_t> detached;
      for (int i = 0; i < 200; ++i) {
        uint32_t thread, code = 0;
        if (QVThreadCreate(&ReturnArgument, reinterpret_cast<void*>(uintptr_t(i)), 0, 0, &thread, nullptr) != QV_S_OK) {
          ++failures;
          continue;
        }
        QVThreadIsFinished(thread);
        if (random() % 2 == 0)
          failures += QVThreadJoin(thread, &code) != QV_S_OK || code != uint32_t(i);
        else
          failures += QVThreadDetach(thread) != QV_S_OK, detached.push_back(thread);
        for (uint32_t d : detached) QVThreadIsFinished(d);  // polled while new threads come and go
      }
      for (uint32_t d : detached) failures += !EventuallyFinished(d);
    });
  }
  for (auto& t : creators) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(ThreadManager()->TrackedCount(), 1u);  // only the thread that started the library
  EXPECT_EQ(qv::os::OpenHandleCount(), handlesBefore);
}

#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer reports threads nobody joins at exit as leaks, and sleeps a second in every exit.
constexpr int kDetachEvery = 1, kChildren = 20;
#else
constexpr int kDetachEvery = 2, kChildren = 300;
#endif
std::atomic<bool> g_release{false};

TEST(ThreadAtProcessEnd, FinishingThreadsNeverCrashTheEnd) {
  // Children end the library while all their threads (some detached, the
  // rest joined by nobody) finish at once: through exit, or through the end
  // itself, which exit runs last and which leaves the threads no time.
  for (int i = 0; i < kChildren; ++i) {
    int status = InChild([i] {
      for (int t = 0; t < 16; ++t) {
        uint32_t thread = 0;
        auto spin = [](void*) -> uint32_t {
          while (!g_release.load()) sched_yield();
          return 0;
        };
        if (QVThreadCreate(spin, nullptr, 0, 0, &thread, nullptr) != QV_S_OK) return 3;
        if (t % kDetachEvery == 0 && QVThreadDetach(thread) != QV_S_OK) return 4;
      }
      g_release.store(true);
      if (i % 2 == 1) std::exit(0);
      qv::core::LibraryEnd();
      for (int k = 0; k < 1000; ++k) sched_yield();  // late threads must not touch what the end freed
      return 0;
    });
    ASSERT_EQ(status, 0) << "child " << i << " (1000 + signal)";
  }
}

TEST(ThreadAtProcessEnd, ForkedChildSeesItsOwnThreadIds) {
  uint32_t parentId = QVThreadGetID();  // cached before the fork
  ASSERT_EQ(parentId, static_cast<uint32_t>(gettid()));
  EXPECT_EQ(InChild([parentId] {
              uint32_t id = QVThreadGetID(), thread = 0, threadId = 0, threadsOwnId = 0;
              if (id == parentId || id != static_cast<uint32_t>(getpid())) return 1;  // the child's only thread
              QVMUTEX m;
              if (QVMutexCreate("fork-owner", QV_MUTEX_CHECKED, &m) != QV_S_OK || QVMutexAcquire(m) != QV_S_OK ||
                  QVMutexAssertOwnership(m, 1) == 0)
                return 2;
              auto ownId = [](void*) { return QVThreadGetID(); };
              if (QVThreadCreate(ownId, nullptr, 0, 0, &thread, &threadId) != QV_S_OK ||
                  QVThreadJoin(thread, &threadsOwnId) != QV_S_OK || threadsOwnId != threadId || threadId == id)
                return 3;
              return QVMutexRelease(m) == QV_S_OK ? 0 : 4;
            }),
            0);
  EXPECT_EQ(QVThreadGetID(), parentId);
}

std::atomic<pthread_t> g_routineThread{};
std::atomic<bool> g_routineStarted{false};

// Runs in a death-test child: a forced unwind (pthread_exit or cancel) passes
// through the library's thread entry without ending the process, and the
// thread is joined but never marked finished, so its record stays.
[[noreturn]] void EndThreadThroughPlatform(bool cancel) {
  auto exitNow = [](void*) -> uint32_t { pthread_exit(reinterpret_cast<void*>(uintptr_t(5))); };
  auto block = [](void*) -> uint32_t {
    g_routineThread = pthread_self(), g_routineStarted = true;
    for (;;) pause();  // a cancellation point
  };
  uint32_t thread = 0, code = 0;
  if (QVThreadCreate(cancel ? +block : +exitNow, nullptr, 0, 0, &thread, nullptr) != QV_S_OK) std::exit(10);
  if (cancel && (!qvtest::WaitUntil([] { return g_routineStarted.load(); }, std::chrono::seconds(20)) ||
                 pthread_cancel(g_routineThread.load()) != 0))
    std::exit(11);
  if (QVThreadJoin(thread, &code) != QV_S_OK) std::exit(12);
  if (code != (cancel ? uint32_t(reinterpret_cast<uintptr_t>(PTHREAD_CANCELED)) : 5u)) std::exit(13);
  std::exit(QVThreadIsFinished(thread) != 0 ? 14 : 0);
}

class ThreadEndedByPlatform : public ::testing::TestWithParam<bool> {};
TEST_P(ThreadEndedByPlatform, ThreadEndsUnmarkedAndProcessLivesOn) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(EndThreadThroughPlatform(GetParam()), ::testing::ExitedWithCode(0), "");
}
INSTANTIATE_TEST_SUITE_P(Ways, ThreadEndedByPlatform, ::testing::Values(false, true),
                         [](const auto& info) { return std::string(info.param ? "Cancel" : "ThreadExit"); });
