#include "os/os_lock.h"

namespace qv::os {

namespace native {

void InitRecursive(LockType* lock) noexcept {
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
  m_contention.fetch_add(1, std::memory_order_relaxed);
  for (uint32_t i = 0; i < m_spinCount; ++i) {
    if (native::TryLock(&m_lock)) return;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }
  native::Lock(&m_lock);
}

}  // namespace qv::os
