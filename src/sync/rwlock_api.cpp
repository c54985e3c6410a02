// The exported reader-writer lock functions.
#include "core/boundary.h"
#include "sync/rwlock.h"

using namespace qv::core;

namespace {

// A null or all-ones handle is refused instead of crashing.
inline CQVRWLockImpl* Resolve(QVRWLOCK handle) noexcept {
  if (handle == nullptr || handle == reinterpret_cast<QVRWLOCK>(QV_INVALID_HANDLE)) return nullptr;
  return CQVRWLockImpl::FromHandle(handle);
}

template <class Body>
QVRESULT WithLock(QVRWLOCK handle, Body&& body) noexcept {
  CQVRWLockImpl* l = Resolve(handle);
  if (l == nullptr) return QV_E_HANDLE;
  return Bounded([&] { return body(*l); });
}

}  // namespace

extern "C" {

QV_API QVRESULT QVRWLockCreate(const char* name, uint32_t flags, QVRWLOCK* lock) {
  return BoundedOut(lock, QV_INVALID_HANDLE, [&] {
    *lock = (new CQVRWLockImpl(name, flags))->Handle();
    return QV_S_OK;
  });
}

QV_API QVRESULT QVRWLockDestroy(QVRWLOCK lock) {
  delete Resolve(lock);
  return QV_S_OK;
}

QV_API QVRESULT QVRWLockAcquireRead(QVRWLOCK lock) {
  return WithLock(lock, [](CQVRWLockImpl& l) { return l.AcquireRead(); });
}

QV_API QVRESULT QVRWLockAcquireWrite(QVRWLOCK lock) {
  return WithLock(lock, [](CQVRWLockImpl& l) { return l.AcquireWrite(); });
}

QV_API QVRESULT QVRWLockReleaseRead(QVRWLOCK lock) {
  return WithLock(lock, [](CQVRWLockImpl& l) { return l.ReleaseRead(); });
}

QV_API QVRESULT QVRWLockReleaseWrite(QVRWLOCK lock) {
  return WithLock(lock, [](CQVRWLockImpl& l) { return l.ReleaseWrite(); });
}

QV_API QVRESULT QVRWLockTryAcquireRead(QVRWLOCK lock) {
  return WithLock(lock, [](CQVRWLockImpl& l) { return l.TryAcquireRead(); });
}

QV_API QVRESULT QVRWLockTryAcquireWrite(QVRWLOCK lock) {
  return WithLock(lock, [](CQVRWLockImpl& l) { return l.TryAcquireWrite(); });
}

}  // extern "C"
