// The exported semaphore functions.

#include "base/handle.h"
#include "sync/semaphore.h"

using namespace qv::sync;
namespace base = qv::base;

namespace {

// The named open passes the named bit and a low bit that has no effect; both
// are kept so that the stored flags read as the design gives them.
constexpr uint32_t kNamedOpenFlags = QV_SEM_NAMED | 0x1u;

QVRESULT CreateSemaphoreObject(int32_t initialCount, const char* name, uint32_t flags, QVSEMAPHORE* out) {
  return base::BoundedOut(out, QV_INVALID_HANDLE, [&]() -> QVRESULT {
    *out = (new CQVSemaphore(initialCount, name, flags))->Handle();
    return QV_S_OK;
  });
}

}  // namespace

extern "C" {

QV_API QVRESULT QVSemaphoreCreate(int32_t initialCount, const char* name, uint32_t flags, QVSEMAPHORE* semaphore) {
  return CreateSemaphoreObject(initialCount, name, flags, semaphore);
}

QV_API QVRESULT QVSemaphoreDestroy(QVSEMAPHORE semaphore) {
  delete CQVSemaphore::FromHandle(semaphore);
  return QV_S_OK;
}

QV_API QVRESULT QVSemaphorePost(QVSEMAPHORE semaphore) {
  return base::BoundedOnHandle<CQVSemaphore>(semaphore, [](CQVSemaphore& s) {
    s.Post();
    return QV_S_OK;
  });
}

QV_API QVRESULT QVSemaphoreWait(QVSEMAPHORE semaphore) {
  return base::BoundedOnHandle<CQVSemaphore>(semaphore, [](CQVSemaphore& s) {
    s.Wait();
    return QV_S_OK;
  });
}

QV_API QVRESULT QVSemaphoreTryWait(QVSEMAPHORE semaphore) {
  return base::BoundedOnHandle<CQVSemaphore>(semaphore, [](CQVSemaphore& s) {
    return s.TryWait() ? QV_S_OK : QV_E_FAIL;
  });
}

QV_API QVRESULT QVSemaphoreGetValue(QVSEMAPHORE semaphore, int32_t* value) {
  (void)semaphore;
  if (value == nullptr) return QV_E_INVALIDARG;
  *value = -1;
  return QV_S_OK;
}

QV_API QVRESULT QVNamedSemOpen(const char* name, int32_t initialCount, QVSEMAPHORE* semaphore) {
  return CreateSemaphoreObject(initialCount, name, kNamedOpenFlags, semaphore);
}

QV_API QVRESULT QVNamedSemClose(QVSEMAPHORE semaphore) { return QVSemaphoreDestroy(semaphore); }
QV_API QVRESULT QVNamedSemPost(QVSEMAPHORE semaphore) { return QVSemaphorePost(semaphore); }
QV_API QVRESULT QVNamedSemWait(QVSEMAPHORE semaphore) { return QVSemaphoreWait(semaphore); }
QV_API QVRESULT QVNamedSemTryWait(QVSEMAPHORE semaphore) { return QVSemaphoreTryWait(semaphore); }
QV_API QVRESULT QVNamedSemGetValue(QVSEMAPHORE semaphore, int32_t* value) {
  return QVSemaphoreGetValue(semaphore, value);
}

}  // extern "C"
