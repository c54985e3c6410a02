#include <pthread.h>
#include <windows.h>

#include "os/os_thread.h"

namespace qv::os {

namespace detail {
constinit thread_local uint32_t t_threadId __attribute__((tls_model("initial-exec"))) = 0;

uint32_t LookUpThreadId() noexcept {
  t_threadId = static_cast<uint32_t>(GetCurrentThreadId());
  return t_threadId;
}
}  // namespace detail

void SleepMs(uint32_t milliseconds) noexcept { Sleep(milliseconds); }

void YieldThread() noexcept { SwitchToThread(); }

void BreakIntoDebugger() noexcept { DebugBreak(); }

// Thread keys of the threads runtime (winpthread), which runs their
// routines for threads started by CreateThread too.
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
