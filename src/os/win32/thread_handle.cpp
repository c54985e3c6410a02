// Threads are Windows threads; the thread's own handle does the waiting and
// keeps the exit code, and the handle-table value holds it.
#include <windows.h>

#include <new>

#include "os/os_error.h"
#include "os/os_handle.h"
#include "os/os_thread.h"
#include "os/os_thread_handle.h"
#include "os/win32/wide_text.h"

namespace qv::os {

namespace {

class ThreadObject final : public LibraryObject {
 public:
  ThreadObject(ThreadRoutine routine, void* argument) noexcept : m_routine(routine), m_argument(argument) {}
  ~ThreadObject() override {
    if (m_thread != nullptr) CloseHandle(m_thread);
  }

  static DWORD WINAPI Entry(void* self);

  HANDLE m_thread = nullptr;
  DWORD m_id = 0;

 private:
  ThreadRoutine m_routine;
  void* m_argument;
};

DWORD WINAPI ThreadObject::Entry(void* self) {
  auto* object = static_cast<ThreadObject*>(self);
  ThreadRoutine routine = object->m_routine;
  void* argument = object->m_argument;
  object->Release();  // the reference the creator handed to this thread
  return routine(argument);
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
  // Nobody else sees the value before this returns, so m_thread is complete
  // before any wait uses it.
  HANDLE thread = CreateThread(nullptr, stackSize, &ThreadObject::Entry, object,
                               stackSize != 0 ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0, &object->m_id);
  if (thread == nullptr) {
    const DWORD error = GetLastError();
    object->Release();  // the new thread's reference
    HandleClose(value);
    StoreLastError(error);
    return false;
  }
  object->m_thread = thread;
  *threadId = object->m_id;
  *handle = value;
  return true;
}

bool WaitForThread(void* handle) noexcept {
  LibraryObjectRef<ThreadObject> thread = ReferenceAs<ThreadObject>(handle);
  if (!thread) return false;
  // A thread cannot outlive its own wait.
  if (thread->m_id == GetCurrentThreadId()) {
    StoreLastError(kErrorPossibleDeadlock);
    return false;
  }
  return WaitForSingleObject(thread->m_thread, INFINITE) == WAIT_OBJECT_0 || win32::StoreNativeError();
}

bool ThreadExitCode(void* handle, uint32_t* exitCode) noexcept {
  LibraryObjectRef<ThreadObject> thread = ReferenceAs<ThreadObject>(handle);
  if (!thread) return false;
  // Until the thread has ended, the code reads kStillActive (259).
  DWORD code = 0;
  if (!GetExitCodeThread(thread->m_thread, &code)) return win32::StoreNativeError();
  *exitCode = code;
  return true;
}

void* CurrentThreadPseudoHandle() noexcept { return reinterpret_cast<void*>(static_cast<intptr_t>(-2)); }

}  // namespace qv::os
