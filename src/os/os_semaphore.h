// Counting semaphores shaped like the Windows semaphore: a maximum count
// (posting beyond it fails with error 298) and no readable count. Unnamed
// semaphores serve one process; named ones are machine-wide and live until
// the last handle to them in any process is closed.
#pragma once
#include <atomic>
#include <cstdint>
#include <string_view>

namespace qv::os {

// The count (low half) and the number of sleepers (high half) in one word,
// so that a post is a single atomic step: a waiter may destroy the semaphore
// as soon as its wait returns, while the poster is still on its way out. A
// named semaphore keeps this in shared memory, so its layout is fixed.
struct SemaphoreCounter {
  std::atomic<uint64_t> word{0};
  uint32_t maximum = 0;
};

class Semaphore {
 public:
  // Null with the last error set: 87 for counts outside 0..maximum.
  static Semaphore* Create(int32_t initialCount, int32_t maximumCount) noexcept;
  // Opens the machine-wide semaphore of that name or creates it with the
  // initial count. When it existed, the initial count is ignored and its
  // count is shared. Null with the last error set (206: name too long).
  static Semaphore* OpenNamed(std::string_view platformName, int32_t initialCount, int32_t maximumCount,
                              bool* existed) noexcept;
  ~Semaphore();
  Semaphore(const Semaphore&) = delete;
  Semaphore& operator=(const Semaphore&) = delete;

  // The uncontended paths are inline atomics; only sleeping and waking
  // reach the platform.

  // False with last error 298 at the maximum.
  bool Post() noexcept {
    // Everything is read before the unit is added: from then on a waiter may
    // take it and destroy this object.
    SemaphoreCounter* c = m_counter;
    const bool shared = m_named != nullptr;
    const uint32_t maximum = c->maximum;
    uint64_t w = c->word.load(std::memory_order_relaxed);
    do {
      if (static_cast<uint32_t>(w) >= maximum) return Full();
    } while (!c->word.compare_exchange_weak(w, w + 1, std::memory_order_release, std::memory_order_relaxed));
    if ((w >> 32) != 0) Wake(c, shared);
    return true;
  }

  // No time limit.
  void Wait() noexcept {
    if (!TryWait()) SleepUntilTaken();
  }

  // True when a unit was taken.
  bool TryWait() noexcept {
    SemaphoreCounter* c = m_counter;
    uint64_t w = c->word.load(std::memory_order_relaxed);
    while (static_cast<uint32_t>(w) != 0) {
      if (c->word.compare_exchange_weak(w, w - 1, std::memory_order_acquire, std::memory_order_relaxed)) return true;
    }
    return false;
  }

 private:
  struct Named;
  Semaphore() = default;
  static bool Full() noexcept;
  // Touches only the address, which may belong to a freed semaphore.
  static void Wake(SemaphoreCounter* counter, bool shared) noexcept;
  void SleepUntilTaken() noexcept;

  SemaphoreCounter* m_counter = &m_local;
  SemaphoreCounter m_local;
  Named* m_named = nullptr;
};

}  // namespace qv::os
