// POSIX side of the critical section, inline so that an uncontended
// acquisition costs one try-lock and no extra call. Include os/os_lock.h.
#pragma once
#include <pthread.h>

namespace qv::os::native {

using LockType = pthread_mutex_t;

void InitRecursive(LockType* lock) noexcept;
void Destroy(LockType* lock) noexcept;
void Lock(LockType* lock) noexcept;
inline bool TryLock(LockType* lock) noexcept { return pthread_mutex_trylock(lock) == 0; }
inline void Unlock(LockType* lock) noexcept { pthread_mutex_unlock(lock); }

}  // namespace qv::os::native
