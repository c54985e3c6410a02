// The exported mutex functions.
#include "core/handle.h"
#include "core/global_data.h"
#include "sync/lock_stat_hooks.h"
#include "sync/mutex.h"

using namespace qv::core;

namespace {
inline CQVMutex* Resolve(QVMUTEX handle) noexcept { return ObjectFromHandle<CQVMutex>(handle); }
}  // namespace

extern "C" {

QV_API QVRESULT QVMutexCreate(const char* name, uint32_t flags, QVMUTEX* mutex) {
  return BoundedOut(mutex, QV_INVALID_HANDLE, [&]() -> QVRESULT {
    CQVMutexProvider* provider = GlobalData().m_mutexProvider;
    if (provider == nullptr) return QV_E_FAIL;  // library not started
    CQVMutex* created = nullptr;
    QVRESULT r = provider->CreateMutex(name ? name : "", flags, &created);
    if (r < 0) return r;
    if (created->GetFlags() & QV_MUTEX_STATS) LockStatRegisterLive(created);
    *mutex = created->Handle();
    return QV_S_OK;
  });
}

QV_API int32_t QVMutexDestroy(QVMUTEX mutex) {
  return Bounded([&]() -> QVRESULT {
    CQVMutex* m = Resolve(mutex);
    if (m == nullptr) return QV_S_OK;  // like every other destroy function
    if ((m->GetFlags() & QV_MUTEX_STATS) && LockStatRetire(m)) return QV_S_OK;
    return static_cast<int32_t>(m->ReleaseReference());
  });
}

// Plain mutexes skip the virtual slot: the platform lock is all they have.
QV_API QVRESULT QVMutexAcquire(QVMUTEX mutex) {
  CQVMutex* m = Resolve(mutex);
  if (m == nullptr) return QV_E_HANDLE;
  if (m->IsPlain()) {
    static_cast<CQVCoreMutexImpl*>(m)->EnterPlain();
    return QV_S_OK;
  }
  return m->Acquire();
}

QV_API QVRESULT QVMutexTryAcquire(QVMUTEX mutex) {
  CQVMutex* m = Resolve(mutex);
  if (m == nullptr) return QV_E_HANDLE;
  if (m->IsPlain()) return static_cast<CQVCoreMutexImpl*>(m)->TryEnterPlain() ? QV_S_OK : QV_E_FAIL;
  return m->TryAcquire();
}

QV_API QVRESULT QVMutexRelease(QVMUTEX mutex) {
  CQVMutex* m = Resolve(mutex);
  if (m == nullptr) return QV_E_HANDLE;
  if (m->IsPlain()) {
    static_cast<CQVCoreMutexImpl*>(m)->LeavePlain();
    return QV_S_OK;
  }
  return m->Release();
}

QV_API int32_t QVMutexAssertOwnership(QVMUTEX mutex, int32_t expectOwned) {
  CQVMutex* m = Resolve(mutex);
  return m ? m->AssertOwnership(expectOwned) : 0;
}

QV_API void* QVMutexGetOSMutex(QVMUTEX mutex) {
  CQVMutex* m = Resolve(mutex);
  return m ? m->GetOSMutex() : nullptr;
}

}  // extern "C"
