#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#if !defined(_WIN32)
#include <sys/wait.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

#include "core/lifecycle.h"
#include "os/os_handle.h"
#include "os/os_thread_handle.h"
#include "process/thread_manager.h"
#include "qvcore5/qvcore.h"
#include "support/results_and_text.h"
#include "support/test_support.h"

using qv::process::ThreadManager;

namespace {

// Start routines take the interface's calling convention (stdcall on 32-bit Windows).
uint32_t QV_CALL ReturnArgument(void* argument) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(argument)); }
uint32_t QV_CALL WaitForGo(void* semaphore) { return QVSemaphoreWait(static_cast<QVSEMAPHORE>(semaphore)), 3; }

std::atomic<int32_t> g_finishedInside{-1};
uint32_t QV_CALL NoteFinishedThenReturn(void* argument) {
  g_finishedInside = QVThreadIsFinished(QVThreadGetID());
  return ReturnArgument(argument);
}

std::atomic<QVRESULT> g_joinedItself{0};
uint32_t QV_CALL JoinSelf(void*) { return g_joinedItself = QVThreadJoin(QVThreadGetID(), nullptr), 1; }

bool EventuallyFinished(uint32_t id) { return qvtest::WaitUntil([id] { return QVThreadIsFinished(id) == 1; }); }

// A thread that returns 3 once Go() is called.
struct Blocked {
  QVSEMAPHORE go = nullptr;
  uint32_t thread = 0;
  Blocked() { EXPECT_EQ(QVSemaphoreCreate(0, nullptr, 0, &go) + QVThreadCreate(&WaitForGo, go, 0, 0, &thread, nullptr), 0); }
  void Go() { QVSemaphorePost(go); }
  ~Blocked() { bool ended = EventuallyFinished(thread); QVSemaphoreDestroy(go); EXPECT_TRUE(ended); }
};

#if !defined(_WIN32)
// Runs `child` in a forked process; its exit code, or 1000 + signal.
int InChild(const std::function<int()>& child) {
  pid_t pid = fork();
  if (pid == 0) _exit(child());
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}
#endif

}  // namespace

TEST(Thread, JoinReturnsTheExitCodeOnceAndTheRecordExistsFromTheStart) {
  for (uint32_t size : {0u, 1u, 65537u, 1u << 20, 0u, 0u, 0u, 0u}) {  // stack sizes round up; zero is the default
    uint32_t thread = 0, id = 0, code = 0;
    ASSERT_EQ(QVThreadCreate(&NoteFinishedThenReturn, reinterpret_cast<void*>(uintptr_t(size)), 0, size, &thread, &id), QV_S_OK);
    qvtest::ExpectResults({{thread == id, 1}, {QVThreadJoin(id, &code), QV_S_OK}, {code == size, 1},
                           {g_finishedInside.load(), 0},  // tracked before the routine ran
                           {QVThreadIsFinished(id), 1}, {QVThreadJoin(id, &code), QV_E_HANDLE}, {int32_t(code), 0}});
  }
}

TEST(Thread, DetachedOrEndedThreadsAreFinishedOnlyOnceJoinedOrDetachedAndEnded) {
  {
    Blocked b;  // the second detach finds the closed handle; the record stays
    qvtest::ExpectResults({{QVThreadDetach(b.thread), QV_S_OK}, {QVThreadDetach(b.thread), QV_E_HANDLE},
                           {QVThreadJoin(b.thread, nullptr), QV_E_HANDLE}, {QVThreadIsFinished(b.thread), 0}});
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
  qvtest::ExpectResults({{QVThreadJoin(joined, &code), QV_S_OK}, {int32_t(code), 5}, {QVThreadIsFinished(joined), 1},
                         {QVThreadDetach(detached), QV_S_OK}, {QVThreadIsFinished(detached), 1}});  // removed at once
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
    // The loser may read the code before its close fails, as on Windows; the winner always has it.
    int winner = results[0] == QV_S_OK ? 0 : 1;
    EXPECT_TRUE(results[winner] == QV_S_OK && results[1 - winner] == QV_E_HANDLE && codes[winner] == 3);
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
  uint32_t thread = 1, id = 1, unknown = 0xFFFFFFF0u, self = QVThreadGetID(), affinity = 9;
  // The thread that started the library never finishes; its pseudo handle can be neither waited on nor closed.
  qvtest::ExpectResults({{QVThreadCreate(nullptr, nullptr, 0, 0, &thread, &id), QV_E_INVALIDARG},
                         {thread == 0xFFFFFFFFu && id == 0, 1}, {QVThreadCreate(&ReturnArgument, nullptr, 0, 0, nullptr, &id), QV_E_INVALIDARG},
                         {QVGetSetCpuAffinity(nullptr), QV_E_INVALIDARG}, {QVThreadJoin(unknown, nullptr), QV_E_HANDLE},
                         {QVThreadDetach(unknown), QV_E_HANDLE}, {QVThreadIsFinished(unknown), 1},
                         {QVThreadJoin(self, nullptr), QV_E_HANDLE}, {QVThreadIsFinished(self), 0},
                         {QVThreadCreate(&JoinSelf, nullptr, 0, 0, &thread, nullptr), QV_S_OK}, {QVThreadJoin(thread, nullptr), QV_S_OK},
                         {g_joinedItself.load(), QV_E_FAIL},  // instead of hanging; 1131 is not in the mapping table
                         {QVGetSetCpuAffinity(&affinity), QV_S_OK}, {int32_t(affinity), 0}, {QVSetCpuAffinity(3), QV_S_OK}});
  EXPECT_TRUE(QVThreadGetHandle() == QVThreadGetHandle() && QVThreadGetHandle() != QV_INVALID_HANDLE);
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
        uint32_t thread = 0, code = 0;
        if (QVThreadCreate(&ReturnArgument, reinterpret_cast<void*>(uintptr_t(i)), 0, 0, &thread, nullptr) != QV_S_OK)
          ++failures;
        else if (QVThreadIsFinished(thread), random() % 2 == 0)
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

#if !defined(_WIN32)
// The process end, fork and the threads runtime's own exit and cancel: POSIX
// only (the Windows thread end is checked by the os suite's thread-end test).
#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer reports threads nobody joins at exit as leaks, and sleeps a second in every exit.
constexpr int kDetachEvery = 1, kChildren = 20;
#else
constexpr int kDetachEvery = 2, kChildren = 300;
#endif
std::atomic<bool> g_release{false};

// Children end the library (through exit, or directly, leaving the threads no time) while all their threads,
// some detached and the rest joined by nobody, finish at once.
TEST(ThreadAtProcessEnd, FinishingThreadsNeverCrashTheEnd) {
  for (int i = 0; i < kChildren; ++i) {
    int status = InChild([i] {
      for (int t = 0; t < 16; ++t) {
        uint32_t thread = 0;
        auto spin = [](void*) -> uint32_t { while (!g_release.load()) sched_yield(); return 0; };
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
    if (QVMutexCreate("fork-owner", QV_MUTEX_CHECKED, &m) || QVMutexAcquire(m) || !QVMutexAssertOwnership(m, 1)) return 2;
    auto ownId = [](void*) { return QVThreadGetID(); };
    if (QVThreadCreate(ownId, nullptr, 0, 0, &thread, &threadId) || QVThreadJoin(thread, &threadsOwnId) ||
        threadsOwnId != threadId || threadId == id)
      return 3;
    return QVMutexRelease(m) == QV_S_OK ? 0 : 4;
  }), 0);
  EXPECT_EQ(QVThreadGetID(), parentId);
}

std::atomic<pthread_t> g_routineThread{};
std::atomic<bool> g_routineStarted{false};

// A forced unwind (pthread_exit or cancel) passes through the library's thread entry without ending the
// process; the thread is joined but never marked finished, so its record stays.
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

TEST(ThreadEndedByPlatform, ThreadExitOrCancelEndsUnmarkedAndTheProcessLivesOn) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (bool cancel : {false, true}) EXPECT_EXIT(EndThreadThroughPlatform(cancel), ::testing::ExitedWithCode(0), "") << cancel;
}
#endif
