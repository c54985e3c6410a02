// POSIX side of the primitives whose fast paths stay inline: the native
// types they embed and the few instructions an uncontended call costs.
// Included through os/os_native.h only.
#pragma once
#include <pthread.h>

#include <atomic>
#include <cstdint>

namespace qv::os::native {

// Critical section: an uncontended acquisition is one try-lock, no extra call.
using LockType = pthread_mutex_t;

// The spin count is kept by CriticalSection itself here.
void InitRecursive(LockType* lock, uint32_t spinCount) noexcept;
void Destroy(LockType* lock) noexcept;
void Lock(LockType* lock) noexcept;
inline bool TryLock(LockType* lock) noexcept { return pthread_mutex_trylock(lock) == 0; }
inline void Unlock(LockType* lock) noexcept { pthread_mutex_unlock(lock); }

// Event and condition variable.
using PlainMutexType = pthread_mutex_t;
using CondType = pthread_cond_t;

// Semaphore: the count (low half) and the number of sleepers (high half) in
// one word, so that a post is a single atomic step: a waiter may destroy the
// semaphore as soon as its wait returns, while the poster is still on its way
// out. A named semaphore keeps this in shared memory, so its layout is fixed.
struct SemaphoreCounter {
  std::atomic<uint64_t> word{0};
  uint32_t maximum = 0;
};

// Sets last error 298 and returns false.
bool SemaphoreFull() noexcept;
// Touches only the address, which may belong to a freed semaphore.
void SemaphoreWake(SemaphoreCounter* counter, bool shared) noexcept;

// False with last error 298 at the maximum.
inline bool SemaphorePost(SemaphoreCounter* c, bool shared) noexcept {
  // Everything is read before the unit is added: from then on a waiter may
  // take it and destroy the semaphore.
  const uint32_t maximum = c->maximum;
  uint64_t w = c->word.load(std::memory_order_relaxed);
  do {
    if (static_cast<uint32_t>(w) >= maximum) return SemaphoreFull();
  } while (!c->word.compare_exchange_weak(w, w + 1, std::memory_order_release, std::memory_order_relaxed));
  if ((w >> 32) != 0) SemaphoreWake(c, shared);
  return true;
}

// True when a unit was taken.
inline bool SemaphoreTryTake(SemaphoreCounter* c) noexcept {
  uint64_t w = c->word.load(std::memory_order_relaxed);
  while (static_cast<uint32_t>(w) != 0) {
    if (c->word.compare_exchange_weak(w, w - 1, std::memory_order_acquire, std::memory_order_relaxed)) return true;
  }
  return false;
}

}  // namespace qv::os::native
