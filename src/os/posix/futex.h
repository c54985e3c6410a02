// Futex waits and wakes on a 32-bit atomic word (internal to the POSIX
// backend). Shared futexes work across processes on a shared mapping.
#pragma once
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdint>

namespace qv::os::posix {

// Sleeps while *word == expected; returns on a wake, a signal or a mismatch,
// so callers re-check their condition in a loop.
inline void FutexWait(std::atomic<uint32_t>* word, uint32_t expected, bool shared) noexcept {
  syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), shared ? FUTEX_WAIT : FUTEX_WAIT_PRIVATE, expected, nullptr,
          nullptr, 0);
}

inline void FutexWake(std::atomic<uint32_t>* word, int count, bool shared) noexcept {
  syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), shared ? FUTEX_WAKE : FUTEX_WAKE_PRIVATE, count, nullptr,
          nullptr, 0);
}

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) && std::atomic<uint32_t>::is_always_lock_free,
              "futex words must be plain lock-free 32-bit atomics");

}  // namespace qv::os::posix
