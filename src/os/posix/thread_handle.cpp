#include <limits.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <new>

#include "os/os_error.h"
#include "os/os_handle.h"
#include "os/os_thread.h"
#include "os/os_thread_handle.h"
#include "os/posix/futex.h"
#include "os/posix/errno_map.h"

namespace qv::os {

namespace {

// The id word the new thread publishes its id in: 0 before, kIdAwaited
// while the creator sleeps on it.
constexpr uint32_t kIdAwaited = 0xFFFFFFFFu;

// The pthread behind a handle. The pthread is joined by the first waiter;
// if nobody ever waits, the last reference detaches it so that it frees
// itself when it ends.
class ThreadObject final : public LibraryObject {
 public:
  ThreadObject(ThreadRoutine routine, void* argument) : m_routine(routine), m_argument(argument) {}
  ~ThreadObject() override {
    if (m_started && m_state != State::kJoined) pthread_detach(m_thread);
  }

  // Not noexcept: thread exit and cancellation unwind through it.
  static void* Entry(void* self);
  uint32_t AwaitId() noexcept;
  bool Wait() noexcept;
  uint32_t ExitCode() noexcept {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_state == State::kJoined ? m_exitCode : kStillActive;
  }

  pthread_t m_thread{};
  bool m_started = false;

 private:
  enum class State { kRunning, kJoining, kJoined };

  ThreadRoutine m_routine;
  void* m_argument;
  std::atomic<uint32_t> m_id{0};
  std::mutex m_lock;
  std::condition_variable m_joined;
  State m_state = State::kRunning;
  uint32_t m_exitCode = kStillActive;
};

void* ThreadObject::Entry(void* self) {
  auto* object = static_cast<ThreadObject*>(self);
  ThreadRoutine routine = object->m_routine;
  void* argument = object->m_argument;
  if (object->m_id.exchange(CurrentThreadId(), std::memory_order_acq_rel) == kIdAwaited)
    posix::FutexWake(&object->m_id, INT_MAX, false);
  object->Release();  // the reference the creator handed to this thread
  return reinterpret_cast<void*>(static_cast<uintptr_t>(routine(argument)));
}

uint32_t ThreadObject::AwaitId() noexcept {
  uint32_t id = 0;
  if (m_id.compare_exchange_strong(id, kIdAwaited, std::memory_order_acq_rel)) id = kIdAwaited;
  while (id == kIdAwaited) {
    posix::FutexWait(&m_id, kIdAwaited, false);
    id = m_id.load(std::memory_order_acquire);
  }
  return id;
}

// The kernel's id of a thread that is still alive, without waiting for it to
// run: a thread's CPU-time clock id encodes it (kernel ABI: ~tid << 3 | 6),
// and the kernel stores the tid before pthread_create returns.
uint32_t KernelThreadId(pthread_t thread) noexcept {
  clockid_t clock;
  if (pthread_getcpuclockid(thread, &clock) != 0 || (clock & 7) != 6) return 0;
  auto id = static_cast<int32_t>(~(static_cast<uint32_t>(clock) >> 3) & 0x1FFFFFFFu);
  return id > 0 ? static_cast<uint32_t>(id) : 0;
}

bool ThreadObject::Wait() noexcept {
  // A thread cannot outlive its own wait, whoever else is waiting already.
  if (m_id.load(std::memory_order_acquire) == CurrentThreadId()) {
    StoreLastError(kErrorPossibleDeadlock);
    return false;
  }
  std::unique_lock<std::mutex> lock(m_lock);
  for (;;) {
    if (m_state == State::kJoined) return true;
    if (m_state == State::kRunning) {
      m_state = State::kJoining;
      lock.unlock();
      void* result = nullptr;
      int rc = pthread_join(m_thread, &result);
      lock.lock();
      if (rc != 0) {
        m_state = State::kRunning;
        m_joined.notify_all();
        StoreLastErrorFromErrno(rc);
        return false;
      }
      m_exitCode = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(result));
      m_state = State::kJoined;
      m_joined.notify_all();
      return true;
    }
    m_joined.wait(lock);
  }
}

}  // namespace

bool ThreadStart(uint32_t stackSize, ThreadRoutine routine, void* argument, void** handle,
                  uint32_t* threadId) noexcept {
  auto* object = new (std::nothrow) ThreadObject(routine, argument);
  if (object == nullptr) {
    StoreLastError(kErrorOutOfMemory);
    return false;
  }
  object->AddRef();  // handed to the new thread
  void* value = InsertHandle(object);
  if (value == nullptr) {
    object->Release();
    return false;
  }
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  int rc = 0;
  if (stackSize != 0) {
    // Like Windows, round a small or odd size up rather than refuse it.
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_t size = (static_cast<size_t>(stackSize) + page - 1) / page * page;
    if (size < static_cast<size_t>(PTHREAD_STACK_MIN)) size = PTHREAD_STACK_MIN;
    rc = pthread_attr_setstacksize(&attr, size);
  }
  if (rc == 0) rc = pthread_create(&object->m_thread, &attr, &ThreadObject::Entry, object);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    object->Release();  // the new thread's reference
    HandleClose(value);
    StoreLastErrorFromErrno(rc);
    return false;
  }
  object->m_started = true;
  // The new thread also reports its id itself: the fallback where the clock
  // id does not tell.
  uint32_t id = KernelThreadId(object->m_thread);
  *threadId = id != 0 ? id : object->AwaitId();
  *handle = value;
  return true;
}

bool WaitForThread(void* handle) noexcept {
  LibraryObjectRef<ThreadObject> thread = ReferenceAs<ThreadObject>(handle);
  return thread && thread->Wait();
}

bool ThreadExitCode(void* handle, uint32_t* exitCode) noexcept {
  LibraryObjectRef<ThreadObject> thread = ReferenceAs<ThreadObject>(handle);
  if (!thread) return false;
  *exitCode = thread->ExitCode();
  return true;
}

void* CurrentThreadPseudoHandle() noexcept { return reinterpret_cast<void*>(static_cast<intptr_t>(-2)); }

}  // namespace qv::os
