// The exported thread functions. A new thread first waits on its start
// semaphore, which the creator posts only once the thread's record exists,
// so the record is there before the start routine runs and before the thread
// can mark itself finished.
#include "base/boundary.h"
#include "os/os_handle.h"
#include "os/os_thread.h"
#include "os/os_thread_handle.h"
#include "process/thread_manager.h"
#include "qvcore5/qv_semaphore.h"
#include "qvcore5/qv_thread.h"

using namespace qv::process;
namespace base = qv::base;

namespace {

// Allocated by the creator; owned by the new thread once its wait returns.
struct ThreadStartBlock {
  QVTHREADPROC start;
  void* argument;
  QVSEMAPHORE startSemaphore;
  // Set when the creator could not record the thread: it then ends at once.
  bool abandoned = false;
};

// Not noexcept: a routine that ends its thread through the platform (thread
// exit, cancellation) unwinds through here, and the thread then simply ends
// without being marked finished.
uint32_t ThreadEntry(void* argument) {
  auto* block = static_cast<ThreadStartBlock*>(argument);
  QVSemaphoreWait(block->startSemaphore);
  QVSemaphoreDestroy(block->startSemaphore);
  QVTHREADPROC start = block->start;
  void* startArgument = block->argument;
  bool abandoned = block->abandoned;
  delete block;
  if (abandoned) return 0;
  uint32_t exitCode = start(startArgument);
  base::Bounded([] {
    MarkFinishedUnlessEnding(qv::os::CurrentThreadId());
    return QV_S_OK;
  });
  return exitCode;
}

CQVThreadManager& RequireManager() {
  CQVThreadManager* manager = ThreadManager();
  if (manager == nullptr) base::ThrowResult(QV_E_FAIL);  // library not started
  return *manager;
}

}  // namespace

extern "C" {

QV_API QVRESULT QVThreadCreate(QVTHREADPROC start, void* argument, uint32_t options, uint32_t stackSize,
                               uint32_t* thread, uint32_t* threadId) {
  (void)options;
  if (threadId != nullptr) *threadId = 0;
  return base::BoundedOut(thread, 0xFFFFFFFFu, [&]() -> QVRESULT {
    if (start == nullptr) return QV_E_INVALIDARG;
    CQVThreadManager& manager = RequireManager();
    auto* block = new ThreadStartBlock{start, argument, nullptr};
    QVRESULT r = QVSemaphoreCreate(0, nullptr, 0, &block->startSemaphore);
    if (r < 0) {
      delete block;
      return r;
    }
    void* handle = nullptr;
    uint32_t id = 0;
    if (!qv::os::ThreadStart(stackSize, &ThreadEntry, block, &handle, &id)) {
      r = base::LastErrorResult();
      QVSemaphoreDestroy(block->startSemaphore);
      delete block;
      return r;
    }
    // From here on the block belongs to the new thread, which waits for the post.
    QVSEMAPHORE startSemaphore = block->startSemaphore;
    try {
      manager.Add(id, handle);
    } catch (...) {
      // Without a record nobody could join the thread: let it end unrun.
      block->abandoned = true;
      QVSemaphorePost(startSemaphore);
      qv::os::HandleClose(handle);
      throw;
    }
    r = QVSemaphorePost(startSemaphore);
    if (r < 0) return r;
    if (threadId != nullptr) *threadId = id;
    *thread = id;
    return QV_S_OK;
  });
}

QV_API QVRESULT QVThreadJoin(uint32_t threadId, uint32_t* exitCode) {
  return base::Bounded([&]() -> QVRESULT { return RequireManager().Join(threadId, exitCode); });
}

QV_API QVRESULT QVThreadDetach(uint32_t threadId) {
  return base::Bounded([&]() -> QVRESULT { return RequireManager().Detach(threadId); });
}

QV_API int32_t QVThreadIsFinished(uint32_t threadId) {
  try {
    CQVThreadManager* manager = ThreadManager();
    return manager == nullptr || manager->IsFinished(threadId) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

QV_API QVHANDLE QVThreadGetHandle(void) { return qv::os::CurrentThreadPseudoHandle(); }

QV_API uint32_t QVThreadGetID(void) { return qv::os::CurrentThreadId(); }

QV_API QVRESULT QVThreadYield(void) {
  qv::os::YieldThread();
  return QV_S_OK;
}

QV_API QVRESULT QVGetSetCpuAffinity(uint32_t* affinity) {
  if (affinity == nullptr) return QV_E_INVALIDARG;
  *affinity = 0;
  return QV_S_OK;
}

QV_API QVRESULT QVSetCpuAffinity(uint32_t affinity) {
  (void)affinity;
  return QV_S_OK;
}

}  // extern "C"
