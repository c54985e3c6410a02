// Unnamed semaphores count in one atomic word and sleep on its address;
// named ones are Windows semaphore objects, machine-wide, created with the
// restricted descriptor (all semaphore rights for authenticated users).
#include <windows.h>

#include <bit>
#include <new>
#include <string>

#include "os/os_error.h"
#include "os/os_object_name.h"
#include "os/os_security.h"
#include "os/os_semaphore.h"
#include "os/win32/wide_text.h"

namespace qv::os {

using native::SemaphoreCounter;

namespace {

constexpr uint64_t kOneWaiter = uint64_t{1} << 32;
constexpr DWORD kAllSemaphoreRights = 0x1F0003;
inline uint32_t Units(uint64_t word) noexcept { return static_cast<uint32_t>(word); }

// The word the sleepers wait on: the count half of the counter.
inline std::atomic<uint32_t>* CountWord(SemaphoreCounter& c) noexcept {
  auto* halves = reinterpret_cast<std::atomic<uint32_t>*>(&c.word);
  return std::endian::native == std::endian::little ? halves : halves + 1;
}
static_assert(std::atomic<uint64_t>::is_always_lock_free && sizeof(std::atomic<uint64_t>) == 8);

}  // namespace

struct Semaphore::Named {};

Semaphore* Semaphore::Create(int32_t initialCount, int32_t maximumCount) noexcept {
  if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) {
    StoreLastError(kErrorInvalidParameter);
    return nullptr;
  }
  auto* s = new (std::nothrow) Semaphore();
  if (s == nullptr) {
    StoreLastError(kErrorOutOfMemory);
    return nullptr;
  }
  s->m_local.maximum = static_cast<uint32_t>(maximumCount);
  s->m_local.word.store(static_cast<uint32_t>(initialCount), std::memory_order_relaxed);
  return s;
}

Semaphore* Semaphore::OpenNamed(std::string_view platformName, int32_t initialCount, int32_t maximumCount,
                                bool* existed) noexcept {
  if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) {
    StoreLastError(kErrorInvalidParameter);
    return nullptr;
  }
  try {
    std::string name;
    std::wstring wide;
    if (!MapObjectName(platformName, name) || !win32::AnsiToWide(name, wide)) return nullptr;
    SECURITY_DESCRIPTOR descriptor;
    void* accessList = nullptr;
    if (!RestrictedDescriptorBuild(&descriptor, kAllSemaphoreRights, &accessList)) return nullptr;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, TRUE};
    HANDLE handle = CreateSemaphoreW(&attributes, initialCount, maximumCount, wide.c_str());
    const DWORD error = GetLastError();
    RestrictedAccessListFree(accessList);
    if (handle == nullptr) {
      StoreLastError(error);
      return nullptr;
    }
    auto* s = new (std::nothrow) Semaphore();
    if (s == nullptr) {
      CloseHandle(handle);
      StoreLastError(kErrorOutOfMemory);
      return nullptr;
    }
    // Only a marker: the counter's handle is the object.
    static Named marker;
    s->m_named = &marker;
    s->m_local.named = handle;
    s->m_local.maximum = static_cast<uint32_t>(maximumCount);
    if (existed != nullptr) *existed = error == ERROR_ALREADY_EXISTS;
    return s;
  } catch (...) {
    StoreLastError(kErrorOutOfMemory);
    return nullptr;
  }
}

Semaphore::~Semaphore() {
  if (m_local.named != nullptr) CloseHandle(m_local.named);
}

bool native::SemaphoreFull() noexcept {
  StoreLastError(kErrorTooManyPosts);
  return false;
}

// A wake-up on memory freed meanwhile is harmless: the address is only a
// key, and the sleepers re-check their word.
void native::SemaphoreWake(SemaphoreCounter* counter, bool) noexcept { WakeByAddressSingle(CountWord(*counter)); }

bool native::SemaphoreNamedPost(SemaphoreCounter* counter) noexcept {
  return ReleaseSemaphore(counter->named, 1, nullptr) || win32::StoreNativeError();
}

bool native::SemaphoreNamedTryTake(SemaphoreCounter* counter) noexcept {
  DWORD waited = WaitForSingleObject(counter->named, 0);
  if (waited == WAIT_FAILED) win32::StoreNativeError();
  return waited == WAIT_OBJECT_0;
}

void Semaphore::SleepUntilTaken() noexcept {
  SemaphoreCounter& c = *m_counter;
  if (c.named != nullptr) {
    WaitForSingleObject(c.named, INFINITE);
    return;
  }
  uint64_t w = c.word.fetch_add(kOneWaiter, std::memory_order_relaxed) + kOneWaiter;
  for (;;) {
    if (Units(w) != 0) {
      // Take the unit and leave the sleepers in one step.
      if (c.word.compare_exchange_weak(w, w - 1 - kOneWaiter, std::memory_order_acquire, std::memory_order_relaxed))
        return;
      continue;
    }
    uint32_t zero = 0;
    WaitOnAddress(CountWord(c), &zero, sizeof zero, INFINITE);
    w = c.word.load(std::memory_order_relaxed);
  }
}

}  // namespace qv::os
