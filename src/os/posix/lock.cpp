#include "os/os_lock.h"

namespace qv::os {

namespace native {

void InitRecursive(LockType* lock, uint32_t) noexcept {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(lock, &attr);
  pthread_mutexattr_destroy(&attr);
}

void Destroy(LockType* lock) noexcept { pthread_mutex_destroy(lock); }

void Lock(LockType* lock) noexcept { pthread_mutex_lock(lock); }

}  // namespace native

void CriticalSection::EnterContended() noexcept {
  bool acquired = false;
  for (uint32_t i = 0; i < m_spinCount && !acquired; ++i) {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
    acquired = native::TryLock(&m_lock);
  }
  if (!acquired) native::Lock(&m_lock);
  // Counted by the new holder, so no two threads ever update it at once and
  // the waiters do not fight over its cache line.
  m_contention.store(m_contention.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

}  // namespace qv::os
