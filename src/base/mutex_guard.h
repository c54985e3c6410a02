// The library's one scoped hold of a mutex. It works on anything with
// GuardAcquire/GuardRelease overloads: library mutex handles here, and the
// mutex objects themselves (sync/mutex.h), which skip the handle check.
#pragma once
#include "qvcore5/qv_mutex.h"

namespace qv::base {

inline void GuardAcquire(QVMUTEX mutex) noexcept { QVMutexAcquire(mutex); }
inline void GuardRelease(QVMUTEX mutex) noexcept { QVMutexRelease(mutex); }

// For a mutex the caller already holds.
struct AdoptLock {};
inline constexpr AdoptLock kAdoptLock{};

template <class Mutex>
class Guard {
 public:
  explicit Guard(Mutex mutex) noexcept : m_mutex(mutex) { GuardAcquire(m_mutex); }
  Guard(Mutex mutex, AdoptLock) noexcept : m_mutex(mutex) {}
  ~Guard() { GuardRelease(m_mutex); }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  Mutex m_mutex;
};

using MutexGuard = Guard<QVMUTEX>;

}  // namespace qv::base
