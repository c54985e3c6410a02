// Windows side of the primitives whose fast paths stay inline. It names no
// Windows header: the types are storage of the right size and alignment for
// the Windows objects (checked where <windows.h> is included), so the
// neutral headers that include this one stay free of Windows macros.
// Included through os/os_native.h only.
#pragma once
#include <atomic>
#include <cstdint>

namespace qv::os::native {

// Critical section: storage for a CRITICAL_SECTION (six pointer-sized words).
struct alignas(void*) LockType {
  unsigned char storage[6 * sizeof(void*) - (sizeof(void*) == 8 ? 8 : 0)];
};

// The Windows critical section spins by itself for the given count.
void InitRecursive(LockType* lock, uint32_t spinCount) noexcept;
void Destroy(LockType* lock) noexcept;
void Lock(LockType* lock) noexcept;
bool TryLock(LockType* lock) noexcept;
void Unlock(LockType* lock) noexcept;

// Event and condition variable: a slim reader-writer lock and a condition
// variable, one pointer each and statically initialised to zero.
struct PlainMutexType {
  void* word = nullptr;
};
struct CondType {
  void* word = nullptr;
};

// Semaphore. An unnamed one is the count (low half) and the number of
// sleepers (high half) in one word, sleeping on the address; a named one is
// a Windows semaphore object (`named`), machine-wide.
struct SemaphoreCounter {
  std::atomic<uint64_t> word{0};
  uint32_t maximum = 0;
  void* named = nullptr;
};

// Sets last error 298 and returns false.
bool SemaphoreFull() noexcept;
// Touches only the address, which may belong to a freed semaphore.
void SemaphoreWake(SemaphoreCounter* counter, bool shared) noexcept;
bool SemaphoreNamedPost(SemaphoreCounter* counter) noexcept;
bool SemaphoreNamedTryTake(SemaphoreCounter* counter) noexcept;

// False with last error 298 at the maximum.
inline bool SemaphorePost(SemaphoreCounter* c, bool shared) noexcept {
  if (shared) return SemaphoreNamedPost(c);
  // Everything is read before the unit is added: from then on a waiter may
  // take it and destroy the semaphore.
  const uint32_t maximum = c->maximum;
  uint64_t w = c->word.load(std::memory_order_relaxed);
  do {
    if (static_cast<uint32_t>(w) >= maximum) return SemaphoreFull();
  } while (!c->word.compare_exchange_weak(w, w + 1, std::memory_order_release, std::memory_order_relaxed));
  if ((w >> 32) != 0) SemaphoreWake(c, false);
  return true;
}

// True when a unit was taken.
inline bool SemaphoreTryTake(SemaphoreCounter* c) noexcept {
  if (c->named != nullptr) return SemaphoreNamedTryTake(c);
  uint64_t w = c->word.load(std::memory_order_relaxed);
  while (static_cast<uint32_t>(w) != 0) {
    if (c->word.compare_exchange_weak(w, w - 1, std::memory_order_acquire, std::memory_order_relaxed)) return true;
  }
  return false;
}

}  // namespace qv::os::native
