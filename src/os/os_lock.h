// Recursive critical section with an optional spin and a contention counter.
#pragma once
#include <atomic>
#include <cstdint>

#include "os/os_native.h"

namespace qv::os {

class CriticalSection {
 public:
  explicit CriticalSection(uint32_t spinCount = 0) noexcept : m_spinCount(spinCount) {
    native::InitRecursive(&m_lock, spinCount);
  }
  ~CriticalSection() { native::Destroy(&m_lock); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  // The fast path is one try-lock: a recursive lock succeeds at once for its
  // owner, so a failure always means another thread holds it.
  void Enter() noexcept {
    if (!native::TryLock(&m_lock)) EnterContended();
  }
  bool TryEnter() noexcept { return native::TryLock(&m_lock); }
  void Leave() noexcept { native::Unlock(&m_lock); }

  // Acquisitions that found the lock held by another thread.
  uint32_t ContentionCount() const noexcept { return m_contention.load(std::memory_order_relaxed); }
  void ResetContentionCount() noexcept { m_contention.store(0, std::memory_order_relaxed); }

  // The backend's native lock, for its own calls.
  void* NativeHandle() noexcept { return &m_lock; }

  // The rest of Enter after a failed TryEnter: counts the contention, spins
  // when asked to, then blocks.
  void EnterContended() noexcept;

 private:

  native::LockType m_lock;
  uint32_t m_spinCount;
  std::atomic<uint32_t> m_contention{0};
};

}  // namespace qv::os
