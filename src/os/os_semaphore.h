// Counting semaphores shaped like the Windows semaphore: a maximum count
// (posting beyond it fails with error 298) and no readable count. Unnamed
// semaphores serve one process; named ones are machine-wide and live until
// the last handle to them in any process is closed.
#pragma once
#include <cstdint>
#include <string_view>

#include "os/os_native.h"

namespace qv::os {

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
  bool Post() noexcept { return native::SemaphorePost(m_counter, m_named != nullptr); }

  // No time limit.
  void Wait() noexcept {
    if (!TryWait()) SleepUntilTaken();
  }

  // True when a unit was taken.
  bool TryWait() noexcept { return native::SemaphoreTryTake(m_counter); }

 private:
  struct Named;
  Semaphore() = default;
  void SleepUntilTaken() noexcept;

  native::SemaphoreCounter* m_counter = &m_local;
  native::SemaphoreCounter m_local;
  Named* m_named = nullptr;
};

}  // namespace qv::os
