// The exported mutex functions.
#include "base/handle.h"
#include "base/installed.h"
#include "sync/lock_stat_hooks.h"
#include "sync/mutex.h"

using namespace qv::sync;
namespace base = qv::base;

extern "C" {

QV_API QVRESULT QVMutexCreate(const char* name, uint32_t flags, QVMUTEX* mutex) {
  return base::BoundedOut(mutex, QV_INVALID_HANDLE, [&]() -> QVRESULT {
    CQVMutexProvider* provider = base::Installed<CQVMutexProvider>::Get();
    if (provider == nullptr) return QV_E_FAIL;  // library not started
    CQVMutex* created = nullptr;
    QVRESULT r = provider->MakeMutex(name ? name : "", flags, &created);
    if (r < 0) return r;
    if (created->GetFlags() & QV_MUTEX_STATS) LockStatRegisterLive(created);
    *mutex = created->Handle();
    return QV_S_OK;
  });
}

QV_API int32_t QVMutexDestroy(QVMUTEX mutex) {
  return base::Bounded([&]() -> QVRESULT {
    CQVMutex* m = CQVMutex::FromHandle(mutex);
    if (m == nullptr) return QV_S_OK;  // like every other destroy function
    if ((m->GetFlags() & QV_MUTEX_STATS) && LockStatRetire(m)) return QV_S_OK;
    return static_cast<int32_t>(m->ReleaseReference());
  });
}

// No error boundary on the hot paths: none of them throws.
QV_API QVRESULT QVMutexAcquire(QVMUTEX mutex) {
  CQVMutex* m = CQVMutex::FromHandle(mutex);
  return m ? m->AcquireFast() : QV_E_HANDLE;
}

QV_API QVRESULT QVMutexTryAcquire(QVMUTEX mutex) {
  CQVMutex* m = CQVMutex::FromHandle(mutex);
  return m ? m->TryAcquireFast() : QV_E_HANDLE;
}

QV_API QVRESULT QVMutexRelease(QVMUTEX mutex) {
  CQVMutex* m = CQVMutex::FromHandle(mutex);
  return m ? m->ReleaseFast() : QV_E_HANDLE;
}

QV_API int32_t QVMutexAssertOwnership(QVMUTEX mutex, int32_t expectOwned) {
  CQVMutex* m = CQVMutex::FromHandle(mutex);
  return m ? m->AssertOwnership(expectOwned) : 0;
}

QV_API void* QVMutexGetOSMutex(QVMUTEX mutex) {
  CQVMutex* m = CQVMutex::FromHandle(mutex);
  return m ? m->GetOSMutex() : nullptr;
}

}  // extern "C"
