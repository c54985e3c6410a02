#include <sched.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "os/os_thread.h"

namespace qv::os {

namespace {
__attribute__((tls_model("initial-exec"))) thread_local uint32_t t_threadId = 0;
}

uint32_t CurrentThreadId() noexcept {
  uint32_t id = t_threadId;
  if (__builtin_expect(id == 0, 0)) {
    id = static_cast<uint32_t>(gettid());
    t_threadId = id;
  }
  return id;
}

void SleepMs(uint32_t milliseconds) noexcept {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  timespec ts{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

void YieldThread() noexcept { sched_yield(); }

void DebugBreak() noexcept { raise(SIGTRAP); }

}  // namespace qv::os
