// Threads of QVThreadCreate that end in unusual ways: through the platform
// instead of returning, or while the process (and with it the library) ends.
#include <gtest/gtest.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>

#include "core/lifecycle.h"
#include "qvcore5/qvcore.h"

namespace {

#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer reports threads that nobody joins at exit as leaks, and
// sleeps a second in every exit.
constexpr int kDetachEvery = 1;
constexpr int kChildren = 20;
#else
constexpr int kDetachEvery = 2;
constexpr int kChildren = 300;
#endif

std::atomic<bool> g_release{false};

uint32_t SpinUntilReleasedThenReturn(void*) {
  while (!g_release.load()) sched_yield();
  return 0;
}

// A child that starts threads (half detached, half joined by nobody) and
// ends the library while all of them finish at once, either through the
// unload-time end of exit or through the end itself, which is what exit runs
// last and leaves no time for the threads to get through first.
[[noreturn]] void RunChildThatEndsWithFinishingThreads(int threads, bool endDirectly) {
  for (int i = 0; i < threads; ++i) {
    uint32_t thread = 0, id = 0;
    if (QVThreadCreate(&SpinUntilReleasedThenReturn, nullptr, 0, 0, &thread, &id) != QV_S_OK) _exit(3);
    if (i % kDetachEvery == 0 && QVThreadDetach(thread) != QV_S_OK) _exit(4);
  }
  g_release.store(true);
  if (endDirectly) {
    qv::core::LibraryEnd();
    // Threads that finish after the end must not touch what it freed either.
    for (int i = 0; i < 1000; ++i) sched_yield();
    _exit(0);
  }
  std::exit(0);
}

TEST(ThreadAtProcessEnd, FinishingThreadsNeverCrashTheEnd) {
  for (int i = 0; i < kChildren; ++i) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) RunChildThatEndsWithFinishingThreads(16, i % 2 == 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "child " << i << ": " << (WIFSIGNALED(status) ? "signal " : "exit ")
        << (WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status));
  }
}

struct PlatformEndCase {
  const char* name;
  bool cancel;  // else the routine ends its thread itself
};

std::atomic<pthread_t> g_routineThread{};
std::atomic<bool> g_routineStarted{false};

uint32_t ExitThroughPlatform(void*) {
  pthread_exit(reinterpret_cast<void*>(static_cast<uintptr_t>(5)));
}

uint32_t BlockUntilCancelled(void*) {
  g_routineThread.store(pthread_self());
  g_routineStarted.store(true);
  for (;;) {
    pause();  // a cancellation point
  }
}

// Runs in a death-test child: a forced unwind must pass through the
// library's thread entry without ending the process, and must not mark the
// thread finished.
void EndThreadThroughPlatform(bool cancel) {
  uint32_t thread = 0, id = 0;
  if (QVThreadCreate(cancel ? &BlockUntilCancelled : &ExitThroughPlatform, nullptr, 0, 0, &thread, &id) != QV_S_OK)
    std::exit(10);
  if (cancel) {
    for (int i = 0; !g_routineStarted.load(); ++i) {
      if (i > 20000) std::exit(11);  // about 20 seconds
      poll(nullptr, 0, 1);
    }
    if (pthread_cancel(g_routineThread.load()) != 0) std::exit(12);
  }
  uint32_t code = 0;
  if (QVThreadJoin(thread, &code) != QV_S_OK) std::exit(13);
  uint32_t expected = cancel ? static_cast<uint32_t>(reinterpret_cast<uintptr_t>(PTHREAD_CANCELED)) : 5u;
  if (code != expected) std::exit(14);
  // Joined but never marked finished: the record stays, so the thread does
  // not report finished.
  if (QVThreadIsFinished(thread) != 0) std::exit(15);
  std::exit(0);
}

class ThreadEndedByPlatform : public ::testing::TestWithParam<PlatformEndCase> {};

TEST_P(ThreadEndedByPlatform, ThreadEndsUnmarkedAndProcessLivesOn) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(EndThreadThroughPlatform(GetParam().cancel), ::testing::ExitedWithCode(0), "");
}

INSTANTIATE_TEST_SUITE_P(Ways, ThreadEndedByPlatform,
                         ::testing::Values(PlatformEndCase{"ThreadExit", false}, PlatformEndCase{"Cancel", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
