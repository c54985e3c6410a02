#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <new>
#include <string>

#include "os/os_error.h"
#include "os/os_object_name.h"
#include "os/os_semaphore.h"
#include "os/posix/futex.h"
#include "os/posix/named_object.h"
#include "os/posix/errno_map.h"

namespace qv::os {

using posix::FutexWait;
using posix::FutexWake;
using native::SemaphoreCounter;

namespace {

// The shared-memory layout of a named semaphore. `state` is written last by
// the creator; a different value means the object is not built yet.
struct SharedSemaphore {
  std::atomic<uint32_t> state{0};
  uint32_t reserved = 0;
  SemaphoreCounter counter;
};
constexpr uint32_t kSharedReady = 0x51560502;  // also versions the layout
static_assert(std::atomic<uint32_t>::is_always_lock_free);

struct BuildContext {
  int32_t initialCount;
  int32_t maximumCount;
  void* mapping = nullptr;
};

void* MapShared(int fd) noexcept {
  void* p = mmap(nullptr, sizeof(SharedSemaphore), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (p == MAP_FAILED) {
    StoreLastErrorFromErrno(errno);
    return nullptr;
  }
  return p;
}

bool InitializeShared(int fd, void* context) {
  auto* build = static_cast<BuildContext*>(context);
  if (ftruncate(fd, sizeof(SharedSemaphore)) != 0) {
    StoreLastErrorFromErrno(errno);
    return false;
  }
  void* p = MapShared(fd);
  if (p == nullptr) return false;
  auto* shared = static_cast<SharedSemaphore*>(p);
  shared->counter.maximum = static_cast<uint32_t>(build->maximumCount);
  shared->counter.word.store(static_cast<uint32_t>(build->initialCount), std::memory_order_relaxed);
  shared->state.store(kSharedReady, std::memory_order_release);
  build->mapping = p;
  return true;
}

bool SharedReady(int fd, void* context) {
  auto* build = static_cast<BuildContext*>(context);
  struct stat st;
  if (fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(sizeof(SharedSemaphore))) return false;
  void* p = MapShared(fd);
  if (p == nullptr) return false;
  if (static_cast<SharedSemaphore*>(p)->state.load(std::memory_order_acquire) != kSharedReady) {
    munmap(p, sizeof(SharedSemaphore));
    return false;
  }
  build->mapping = p;
  return true;
}

constexpr uint64_t kOneWaiter = uint64_t{1} << 32;
inline uint32_t Units(uint64_t word) noexcept { return static_cast<uint32_t>(word); }

// The futex word: the count half of the counter.
inline std::atomic<uint32_t>* CountWord(SemaphoreCounter& c) noexcept {
  auto* halves = reinterpret_cast<std::atomic<uint32_t>*>(&c.word);
  return std::endian::native == std::endian::little ? halves : halves + 1;
}
static_assert(std::atomic<uint64_t>::is_always_lock_free && sizeof(std::atomic<uint64_t>) == 8);

}  // namespace

struct Semaphore::Named {
  posix::NamedObjectRef object;
  void* mapping = nullptr;
};

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
    if (!MapObjectName(platformName, name)) return nullptr;
    auto named = new Named();
    BuildContext build{initialCount, maximumCount};
    posix::NamedObjectBuilder builder{&InitializeShared, &SharedReady, &build};
    int opened = posix::OpenNamedObject(name, posix::NamedOpen::kOpenOrCreate, true, builder, named->object);
    if (opened < 0) {
      delete named;
      return nullptr;
    }
    named->mapping = build.mapping;
    auto* s = new (std::nothrow) Semaphore();
    if (s == nullptr) {
      munmap(named->mapping, sizeof(SharedSemaphore));
      posix::ReleaseNamedObject(named->object);
      delete named;
      StoreLastError(kErrorOutOfMemory);
      return nullptr;
    }
    s->m_named = named;
    s->m_counter = &static_cast<SharedSemaphore*>(named->mapping)->counter;
    if (existed != nullptr) *existed = opened == 0;
    return s;
  } catch (...) {
    StoreLastError(kErrorOutOfMemory);
    return nullptr;
  }
}

Semaphore::~Semaphore() {
  if (m_named != nullptr) {
    munmap(m_named->mapping, sizeof(SharedSemaphore));
    posix::ReleaseNamedObject(m_named->object);
    delete m_named;
  }
}

bool native::SemaphoreFull() noexcept {
  StoreLastError(kErrorTooManyPosts);
  return false;
}

// A wake-up on memory freed meanwhile is harmless: the kernel only uses the
// address as a key, and futex users tolerate spurious wake-ups.
void native::SemaphoreWake(SemaphoreCounter* counter, bool shared) noexcept {
  FutexWake(CountWord(*counter), 1, shared);
}

void Semaphore::SleepUntilTaken() noexcept {
  SemaphoreCounter& c = *m_counter;
  const bool shared = m_named != nullptr;
  // A sleeper killed in here leaves the waiter count one too high; that
  // costs later posts a spare wake-up call, never a lost wake-up.
  uint64_t w = c.word.fetch_add(kOneWaiter, std::memory_order_relaxed) + kOneWaiter;
  for (;;) {
    if (Units(w) != 0) {
      // Take the unit and leave the sleepers in one step.
      if (c.word.compare_exchange_weak(w, w - 1 - kOneWaiter, std::memory_order_acquire, std::memory_order_relaxed))
        return;
      continue;
    }
    FutexWait(CountWord(c), 0, shared);
    w = c.word.load(std::memory_order_relaxed);
  }
}

}  // namespace qv::os
