// Recursive critical section with an optional spin and a contention counter.
#pragma once
#include <atomic>
#include <cstdint>

namespace qv::os {

class CriticalSection {
 public:
  explicit CriticalSection(uint32_t spinCount = 0) noexcept;
  ~CriticalSection();
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void Enter() noexcept;
  bool TryEnter() noexcept;
  void Leave() noexcept;

  // Acquisitions that found the lock held by another thread.
  uint32_t ContentionCount() const noexcept { return m_contention.load(std::memory_order_relaxed); }
  void ResetContentionCount() noexcept { m_contention.store(0, std::memory_order_relaxed); }

  // The native lock (pthread_mutex_t* on POSIX) for platform calls.
  void* NativeHandle() noexcept { return m_storage; }

 private:
  void EnterContended() noexcept;

  alignas(16) unsigned char m_storage[48];
  uint32_t m_spinCount;
  std::atomic<uint32_t> m_contention{0};
};

}  // namespace qv::os
