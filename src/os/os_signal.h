// Signalling primitives shaped like the Windows ones: the event object
// (manual or auto reset) and the condition variable that sleeps on a
// critical section. Time-outs are milliseconds of the monotonic clock, so a
// change of the wall clock neither shortens nor lengthens a wait.
#pragma once
#include <atomic>
#include <cstdint>

#include "os/os_lock.h"
#include "os/os_native.h"

namespace qv::os {

// Time-out meaning no limit.
constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// Results of Event::Wait, numbered as the Windows wait functions number them.
enum : uint32_t { kWaitObject0 = 0, kWaitTimeout = 258, kWaitFailed = 0xFFFFFFFFu };

class Event {
 public:
  Event() noexcept = default;
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  // Makes the platform objects; false with the last error set on failure.
  bool Create(bool manualReset, bool initialState) noexcept;

  // A manual-reset event releases every thread waiting at the time of the
  // Set, even when a Reset follows at once; an auto-reset one releases
  // exactly one thread per Set (waiting or, failing that, the next to come).
  bool Set() noexcept {
    if (!m_manualReset) return SetAuto();
    // Either a waiter that registers later sees the signal, or this Set sees
    // the waiter: both sides store, then load, in one total order.
    m_signalled.store(1, std::memory_order_seq_cst);
    return m_waiters.load(std::memory_order_seq_cst) == 0 || WakeAll();
  }
  // Set for an owner that knows no thread waits or can start waiting before
  // it looks at the signal under a lock the owner shares: no fence, no wake.
  void SetUnwaited() noexcept { m_signalled.store(1, std::memory_order_release); }
  // A glance at the state, for an owner that orders it by other means.
  bool IsSetRelaxed() const noexcept { return m_signalled.load(std::memory_order_relaxed) != 0; }
  void Reset() noexcept { m_signalled.store(0, std::memory_order_release); }
  // kWaitObject0 once signalled, kWaitTimeout when the time ran out,
  // kWaitFailed with the last error set.
  uint32_t Wait(uint32_t timeoutMs) noexcept;

  bool IsManualReset() const noexcept { return m_manualReset; }
  // Threads inside a blocking Wait right now.
  uint32_t WaiterCount() const noexcept { return m_waiters.load(std::memory_order_relaxed); }

 private:
  bool SetAuto() noexcept;
  bool WakeAll() noexcept;
  bool TryTakeAuto() noexcept;
  uint32_t WaitSlow(uint32_t timeoutMs) noexcept;

  native::PlainMutexType m_mutex;
  native::CondType m_cond;
  // Readable without the mutex so that the common cases (waiting on a set
  // event, setting or resetting one nobody waits on) take no lock.
  std::atomic<uint32_t> m_signalled{0};
  std::atomic<uint32_t> m_waiters{0};
  // Under m_mutex: auto reset, waiters released by a Set that have not yet
  // woken; manual reset, the number of Sets that found waiters.
  uint32_t m_released = 0;
  uint64_t m_generation = 0;
  bool m_manualReset = false;
  bool m_created = false;
};

class ConditionVariable {
 public:
  ConditionVariable() noexcept = default;
  ~ConditionVariable();
  ConditionVariable(const ConditionVariable&) = delete;
  ConditionVariable& operator=(const ConditionVariable&) = delete;

  bool Create() noexcept;
  // The caller holds the section exactly once; it is released while
  // sleeping and held again on return, whatever the outcome. False with the
  // last error set: kErrorTimeout (1460) when the time ran out.
  bool SleepOn(CriticalSection& section, uint32_t timeoutMs) noexcept;
  void Wake() noexcept;
  void WakeAll() noexcept;

 private:
  native::CondType m_cond;
  bool m_created = false;
};

}  // namespace qv::os
