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

  bool Post() noexcept;     // false with last error 298 at the maximum
  bool Wait() noexcept;     // no time limit
  bool TryWait() noexcept;  // true when a unit was taken

 private:
  struct Named;
  Semaphore() = default;
  void SleepUntilTaken() noexcept;

  SemaphoreCounter* m_counter = &m_local;
  SemaphoreCounter m_local;
  Named* m_named = nullptr;
};

}  // namespace qv::os
