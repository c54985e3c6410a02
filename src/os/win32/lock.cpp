#include <windows.h>

#include "os/os_lock.h"

namespace qv::os {

static_assert(sizeof(native::LockType) == sizeof(CRITICAL_SECTION) &&
                  alignof(native::LockType) >= alignof(CRITICAL_SECTION),
              "LockType holds a CRITICAL_SECTION");

namespace native {

namespace {
CRITICAL_SECTION* Section(LockType* lock) noexcept { return reinterpret_cast<CRITICAL_SECTION*>(lock); }
}  // namespace

void InitRecursive(LockType* lock, uint32_t spinCount) noexcept {
  // Never fails from Windows Vista on; no debug information is allocated.
  InitializeCriticalSectionEx(Section(lock), spinCount, CRITICAL_SECTION_NO_DEBUG_INFO);
}

void Destroy(LockType* lock) noexcept { DeleteCriticalSection(Section(lock)); }

void Lock(LockType* lock) noexcept { EnterCriticalSection(Section(lock)); }

bool TryLock(LockType* lock) noexcept { return TryEnterCriticalSection(Section(lock)) != FALSE; }

void Unlock(LockType* lock) noexcept { LeaveCriticalSection(Section(lock)); }

}  // namespace native

// The critical section spins for its spin count before it blocks.
void CriticalSection::EnterContended() noexcept {
  native::Lock(&m_lock);
  // Counted by the new holder, so no two threads ever update it at once.
  m_contention.store(m_contention.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

}  // namespace qv::os
