// The exported semaphore functions.

#include "core/boundary.h"
#include "sync/semaphore.h"

using namespace qv::core;

namespace {

QVRESULT CreateSemaphoreObject(int32_t initialCount, const char* name, uint32_t flags, QVSEMAPHORE* out) {
  return BoundedOut(out, QV_INVALID_HANDLE, [&]() -> QVRESULT {
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
  return Bounded([&]() -> QVRESULT {
    CQVSemaphore* s = CQVSemaphore::FromHandle(semaphore);
    if (s == nullptr) return QV_E_HANDLE;
    s->Post();
    return QV_S_OK;
  });
}

QV_API QVRESULT QVSemaphoreWait(QVSEMAPHORE semaphore) {
  return Bounded([&]() -> QVRESULT {
    CQVSemaphore* s = CQVSemaphore::FromHandle(semaphore);
    if (s == nullptr) return QV_E_HANDLE;
    s->Wait();
    return QV_S_OK;
  });
}

QV_API QVRESULT QVSemaphoreTryWait(QVSEMAPHORE semaphore) {
  return Bounded([&]() -> QVRESULT {
    CQVSemaphore* s = CQVSemaphore::FromHandle(semaphore);
    if (s == nullptr) return QV_E_HANDLE;
    return s->TryWait() ? QV_S_OK : QV_E_FAIL;
  });
}

QV_API QVRESULT QVSemaphoreGetValue(QVSEMAPHORE semaphore, int32_t* value) {
  (void)semaphore;
  if (value == nullptr) return QV_E_INVALIDARG;
  *value = -1;
  return QV_S_OK;
}

QV_API QVRESULT QVNamedSemOpen(const char* name, int32_t initialCount, QVSEMAPHORE* semaphore) {
  return CreateSemaphoreObject(initialCount, name, 0x3, semaphore);
}

QV_API QVRESULT QVNamedSemClose(QVSEMAPHORE semaphore) { return QVSemaphoreDestroy(semaphore); }
QV_API QVRESULT QVNamedSemPost(QVSEMAPHORE semaphore) { return QVSemaphorePost(semaphore); }
QV_API QVRESULT QVNamedSemWait(QVSEMAPHORE semaphore) { return QVSemaphoreWait(semaphore); }
QV_API QVRESULT QVNamedSemTryWait(QVSEMAPHORE semaphore) { return QVSemaphoreTryWait(semaphore); }
QV_API QVRESULT QVNamedSemGetValue(QVSEMAPHORE semaphore, int32_t* value) {
  return QVSemaphoreGetValue(semaphore, value);
}

}  // extern "C"
