#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "os/os_thread.h"

namespace qv::os {

namespace detail {
// initial-exec keeps the access a plain TLS load; the library is loaded with
// the program, so the static TLS block has room for it.
constinit thread_local uint32_t t_threadId __attribute__((tls_model("initial-exec"))) = 0;

uint32_t LookUpThreadId() noexcept {
  t_threadId = static_cast<uint32_t>(gettid());
  return t_threadId;
}

namespace {
// The child of a fork runs on a new thread whose id is its process id; the
// id cached from the parent would name another thread.
void ForgetIdInChild() noexcept { t_threadId = 0; }

[[maybe_unused]] const int s_forkHandlerRegistered = pthread_atfork(nullptr, nullptr, &ForgetIdInChild);
}  // namespace
}  // namespace detail

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

void BreakIntoDebugger() noexcept { raise(SIGTRAP); }

static_assert(sizeof(pthread_key_t) <= sizeof(uintptr_t), "a key fits the hook");

ThreadEndHook::ThreadEndHook(void (*routine)(void* value)) noexcept {
  pthread_key_t key;
  m_valid = pthread_key_create(&key, routine) == 0;
  if (m_valid) m_key = static_cast<uintptr_t>(key);
}

bool ThreadEndHook::Arm(void* value) noexcept {
  return m_valid && pthread_setspecific(static_cast<pthread_key_t>(m_key), value) == 0;
}

}  // namespace qv::os
