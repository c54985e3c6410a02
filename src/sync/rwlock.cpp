// The reader-writer lock and its exports.
#include "sync/rwlock.h"

#include "base/boundary.h"
#include "base/handle.h"
#include "base/exception.h"
#include "os/os_signal.h"
#include "os/os_thread.h"
#include "sync/event.h"
#include "sync/mutex.h"

namespace qv::sync {

namespace {

// The lock's mutexes are plain (flags 0): their platform lock is taken
// directly, without the virtual slot, as the mutex exports do.
inline void Enter(CQVMutex* m) noexcept { m->AcquireFast(); }
inline bool TryEnter(CQVMutex* m) noexcept { return m->TryAcquireFast() == QV_S_OK; }
inline void Leave(CQVMutex* m) noexcept { m->ReleaseFast(); }

// Scoped holds of a library mutex (Adopted: already taken). The lock's paths
// throw only allocation failures, and those must not leave a mutex held.
class Adopted {
 public:
  explicit Adopted(CQVMutex* held) noexcept : m_mutex(held) {}
  ~Adopted() { Leave(m_mutex); }
  Adopted(const Adopted&) = delete;
  Adopted& operator=(const Adopted&) = delete;

 private:
  CQVMutex* m_mutex;
};

class Held : public Adopted {
 public:
  explicit Held(CQVMutex* mutex) noexcept : Adopted((Enter(mutex), mutex)) {}
};

}  // namespace

CQVRWLockImpl::CQVRWLockImpl(const char* name, uint32_t /*flags*/) : m_name(name ? name : "") {
  try {
    m_writerGate = CQVEvent::CreateGate((m_name + "::CQVRWLockImpl::m_writerGate").c_str(), 0)->Handle();
    m_readers.reserve(8);
    base::ThrowIfFailed(QVMutexCreate((m_name + "::CQVRWLockImpl::m_lock").c_str(), 0, &m_lock));
    base::ThrowIfFailed(QVMutexCreate((m_name + "::CQVRWLockImpl::m_arrayLock").c_str(), 0, &m_arrayLock));
    Gate()->Signal();
  } catch (...) {
    DestroyParts();
    throw;
  }
}

CQVRWLockImpl::~CQVRWLockImpl() { DestroyParts(); }

void CQVRWLockImpl::DestroyParts() noexcept {
  QVMutexDestroy(m_arrayLock);
  QVMutexDestroy(m_lock);
  delete Gate();
  m_arrayLock = m_lock = nullptr;
  m_writerGate = nullptr;
}

CQVMutex* CQVRWLockImpl::Lock() const noexcept { return CQVMutex::FromHandle(m_lock); }
CQVMutex* CQVRWLockImpl::ArrayLock() const noexcept { return CQVMutex::FromHandle(m_arrayLock); }
CQVEvent* CQVRWLockImpl::Gate() const noexcept { return CQVEvent::FromHandle(m_writerGate); }

// Changes to the hold count never overlap: readers change it under
// m_arrayLock, the writer only while no reader can. So a load and a store
// suffice; it stays atomic because other threads read it.
[[gnu::always_inline]] inline uint32_t CQVRWLockImpl::AddHolds(int32_t delta) noexcept {
  const uint32_t now = m_holdCount.load(std::memory_order_relaxed) + static_cast<uint32_t>(delta);
  m_holdCount.store(now, std::memory_order_relaxed);
  return now;
}

[[gnu::always_inline]] inline CQVRWLockImpl::ReaderEntry* CQVRWLockImpl::FindLocked(uint32_t thread) noexcept {
  for (ReaderEntry& e : m_readers)
    if (e.thread == thread) return &e;
  return nullptr;
}

[[gnu::always_inline]] inline void CQVRWLockImpl::AppendLocked(uint32_t thread, uint32_t holds) {
  m_readers.push_back({thread, holds});
  m_readerCount.store(static_cast<uint32_t>(m_readers.size()), std::memory_order_relaxed);
}

[[gnu::always_inline]] inline void CQVRWLockImpl::RemoveLocked(ReaderEntry* entry) noexcept {
  if (entry == &m_readers.back())
    m_readers.pop_back();
  else
    m_readers.erase(m_readers.begin() + (entry - m_readers.data()));  // keeps the order of the others
  m_readerCount.store(static_cast<uint32_t>(m_readers.size()), std::memory_order_relaxed);
}

std::vector<CQVRWLockImpl::ReaderEntry> CQVRWLockImpl::Readers() {
  Held a(ArrayLock());
  return m_readers;
}

[[gnu::always_inline]] inline bool CQVRWLockImpl::ReenterLocked(uint32_t self) noexcept {
  ReaderEntry* entry = FindLocked(self);
  if (entry == nullptr) return false;
  if (m_writer.load(std::memory_order_relaxed) == self) {
    ++m_savedReadCount;
  } else {
    AddHolds(1);
    ++entry->holds;
  }
  return true;
}

// The caller is the writer (it holds m_lock). Its reads outlive the write
// release, so it gets an entry now, while a failed allocation can still be
// reported as this acquisition's failure.
void CQVRWLockImpl::NewReaderWhileWritingLocked(uint32_t self) {
  if (FindLocked(self) == nullptr) AppendLocked(self, 0);
  ++m_savedReadCount;
}

[[gnu::always_inline]] inline void CQVRWLockImpl::NewReaderLocked(uint32_t self) {
  if (m_writeLocked.load(std::memory_order_relaxed)) return NewReaderWhileWritingLocked(self);
  AppendLocked(self, 1);  // first, so that a failed allocation changes nothing
  if (AddHolds(1) == 1) Gate()->Reset();
}

// Under m_arrayLock: no writer holds the lock or is on its way to it. A
// writer announces itself under m_arrayLock (m_pendingWriter) and keeps the
// announcement until m_writeLocked is set, so a reader registered while this
// holds is seen by the writer's decision to wait.
[[gnu::always_inline]] inline bool CQVRWLockImpl::NoWriterLocked() const noexcept {
  return m_pendingWriter.load(std::memory_order_acquire) == 0 && !m_writeLocked.load(std::memory_order_acquire);
}

// No thread but the caller has an entry.
[[gnu::always_inline]] inline bool CQVRWLockImpl::NoOtherReaderLocked(uint32_t self) const noexcept {
  return m_readers.empty() || (m_readers.size() == 1 && m_readers[0].thread == self);
}

[[gnu::always_inline]] inline QVRESULT CQVRWLockImpl::AcquireRead() {
  const uint32_t self = os::CurrentThreadId();
  {
    Held a(ArrayLock());
    if (m_readerCount.load(std::memory_order_relaxed) != 0 && ReenterLocked(self)) return QV_S_OK;
    // Without a writer about, taking m_lock first would change nothing.
    if (NoWriterLocked()) {
      NewReaderLocked(self);
      return QV_S_OK;
    }
  }
  // Blocks while a writer holds or waits for the lock.
  Held l(Lock());
  Held a(ArrayLock());
  NewReaderLocked(self);
  return QV_S_OK;
}

QVRESULT CQVRWLockImpl::TryAcquireRead() {
  const uint32_t self = os::CurrentThreadId();
  if (!TryEnter(ArrayLock())) return QV_E_FAIL;
  {
    Adopted a(ArrayLock());
    if (m_readerCount.load(std::memory_order_relaxed) != 0 && ReenterLocked(self)) return QV_S_OK;
    if (NoWriterLocked()) {
      NewReaderLocked(self);
      return QV_S_OK;
    }
  }
  if (!TryEnter(Lock())) return QV_E_FAIL;
  Adopted l(Lock());
  if (!TryEnter(ArrayLock())) return QV_E_FAIL;
  Adopted a(ArrayLock());
  NewReaderLocked(self);
  return QV_S_OK;
}

[[gnu::always_inline]] inline QVRESULT CQVRWLockImpl::ReleaseRead() {
  const uint32_t self = os::CurrentThreadId();
  if (m_writer.load(std::memory_order_relaxed) == self) {
    if (m_savedReadCount == 0) return QV_E_FAIL;
    --m_savedReadCount;
    return QV_S_OK;
  }
  if (m_readerCount.load(std::memory_order_relaxed) == 0) return QV_E_FAIL;
  Held a(ArrayLock());
  ReaderEntry* entry = FindLocked(self);
  if (entry == nullptr) return QV_E_FAIL;
  if (--entry->holds == 0) RemoveLocked(entry);
  const uint32_t left = AddHolds(-1);
  const uint32_t pending = m_pendingWriter.load(std::memory_order_relaxed);
  if (pending == 0) {
    // Only a writer waits on the gate, and it announces itself under
    // m_arrayLock first: with no announcement there is nobody to wake.
    if (left == 0) Gate()->SignalUnwaited();
  } else if (left == 0 || NoOtherReaderLocked(pending)) {
    Gate()->Signal();
  }
  return QV_S_OK;
}

bool CQVRWLockImpl::HoldsReads(uint32_t self) {
  if (m_readerCount.load(std::memory_order_relaxed) == 0) return false;
  Held a(ArrayLock());
  return FindLocked(self) != nullptr;
}

// A reader must never block on m_lock: a writer waiting there for the gate
// waits for this very reader to leave, and neither would ever move. Other
// holders of m_lock (new readers, a writer on its way to waiting) keep it
// only for a moment.
bool CQVRWLockImpl::TakeLockForWrite(uint32_t self) {
  if (TryEnter(Lock())) return true;
  if (!HoldsReads(self)) {
    Enter(Lock());
    return true;
  }
  for (;;) {
    {
      Held a(ArrayLock());
      const uint32_t pending = m_pendingWriter.load(std::memory_order_relaxed);
      if (pending != 0 && pending != self) return false;
    }
    if (TryEnter(Lock())) return true;
    os::YieldThread();
  }
}

// The caller holds m_lock and no other thread reads any more: its own read
// holds (if any) are kept aside until the write release.
void CQVRWLockImpl::BecomeWriter(uint32_t self) noexcept {
  m_savedReadCount = m_holdCount.load(std::memory_order_relaxed);
  m_holdCount.store(1, std::memory_order_relaxed);
  m_writer.store(self, std::memory_order_relaxed);
  m_writeLocked.store(true, std::memory_order_relaxed);
  // Readers that see the announcement gone see m_writeLocked set.
  m_pendingWriter.store(0, std::memory_order_release);
}

QVRESULT CQVRWLockImpl::AcquireWrite() {
  const uint32_t self = os::CurrentThreadId();
  if (m_writer.load(std::memory_order_relaxed) == self) {
    Enter(Lock());
    AddHolds(1);
    return QV_S_OK;
  }
  if (!TakeLockForWrite(self)) return QV_E_FAIL;
  {
    Held a(ArrayLock());
    if (NoOtherReaderLocked(self)) {
      BecomeWriter(self);
      return QV_S_OK;
    }
    m_pendingWriter.store(self, std::memory_order_relaxed);
  }
  // m_lock stays held: no new reader enters, while threads that already read
  // may still take further holds and then leave.
  QVRESULT r = QV_E_FAIL;
  try {
    r = Gate()->Wait(os::kInfinite);
  } catch (...) {
    m_pendingWriter.store(0, std::memory_order_relaxed);
    Leave(Lock());
    throw;
  }
  if (r < 0) {
    m_pendingWriter.store(0, std::memory_order_relaxed);
    Leave(Lock());
    return r;
  }
  BecomeWriter(self);
  return QV_S_OK;
}

QVRESULT CQVRWLockImpl::TryAcquireWrite() {
  const uint32_t self = os::CurrentThreadId();
  if (!TryEnter(Lock())) return QV_E_FAIL;
  if (m_writeLocked.load(std::memory_order_relaxed)) {  // the caller writes already
    AddHolds(1);
    return QV_S_OK;
  }
  if (!TryEnter(ArrayLock())) {
    Leave(Lock());
    return QV_E_FAIL;
  }
  bool available;
  {
    Adopted a(ArrayLock());
    // The gate is looked at under m_arrayLock, so no reader changes it
    // between the decision and the look.
    available = NoOtherReaderLocked(self) || Gate()->TryWait() == QV_S_OK;
    if (available) BecomeWriter(self);
  }
  if (!available) Leave(Lock());
  return available ? QV_S_OK : QV_E_FAIL;
}

QVRESULT CQVRWLockImpl::ReleaseWrite() {
  const uint32_t self = os::CurrentThreadId();
  if (m_writer.load(std::memory_order_relaxed) != self) return QV_E_FAIL;
  if (AddHolds(-1) > 0) {
    Leave(Lock());
    return QV_S_OK;
  }
  const uint32_t saved = m_savedReadCount;
  m_savedReadCount = 0;
  m_writer.store(0, std::memory_order_relaxed);
  if (saved == 0 && m_readerCount.load(std::memory_order_relaxed) == 0) {
    // No entry and no reads: the writer found no readers and the gate open,
    // and it is still open. Readers that see the flag clear see all of this.
    m_writeLocked.store(false, std::memory_order_release);
  } else {
    Held a(ArrayLock());
    ReaderEntry* entry = FindLocked(self);
    if (saved == 0) {
      if (entry != nullptr) RemoveLocked(entry);
    } else if (entry != nullptr) {  // it exists: had before, or made with the first read while writing
      entry->holds = saved;
    }
    m_holdCount.store(saved, std::memory_order_relaxed);
    // Reads kept past the write release close the gate as a first reader
    // would; the next writer then waits for them.
    if (saved == 0)
      Gate()->Signal();
    else
      Gate()->Reset();
    m_writeLocked.store(false, std::memory_order_release);
  }
  Leave(Lock());
  return QV_S_OK;
}

}  // namespace qv::sync

// ---- exports ----------------------------------------------------------------

using namespace qv::sync;
namespace base = qv::base;

extern "C" {

QV_API QVRESULT QVRWLockCreate(const char* name, uint32_t flags, QVRWLOCK* lock) {
  return base::BoundedOut(lock, QV_INVALID_HANDLE, [&] {
    *lock = (new CQVRWLockImpl(name, flags))->Handle();
    return QV_S_OK;
  });
}

QV_API QVRESULT QVRWLockDestroy(QVRWLOCK lock) {
  delete CQVRWLockImpl::FromHandle(lock);
  return QV_S_OK;
}

QV_API QVRESULT QVRWLockAcquireRead(QVRWLOCK lock) {
  return base::BoundedOnHandle<CQVRWLockImpl>(lock, [](CQVRWLockImpl& l) { return l.AcquireRead(); });
}

QV_API QVRESULT QVRWLockAcquireWrite(QVRWLOCK lock) {
  return base::BoundedOnHandle<CQVRWLockImpl>(lock, [](CQVRWLockImpl& l) { return l.AcquireWrite(); });
}

QV_API QVRESULT QVRWLockReleaseRead(QVRWLOCK lock) {
  return base::BoundedOnHandle<CQVRWLockImpl>(lock, [](CQVRWLockImpl& l) { return l.ReleaseRead(); });
}

QV_API QVRESULT QVRWLockReleaseWrite(QVRWLOCK lock) {
  return base::BoundedOnHandle<CQVRWLockImpl>(lock, [](CQVRWLockImpl& l) { return l.ReleaseWrite(); });
}

QV_API QVRESULT QVRWLockTryAcquireRead(QVRWLOCK lock) {
  return base::BoundedOnHandle<CQVRWLockImpl>(lock, [](CQVRWLockImpl& l) { return l.TryAcquireRead(); });
}

QV_API QVRESULT QVRWLockTryAcquireWrite(QVRWLOCK lock) {
  return base::BoundedOnHandle<CQVRWLockImpl>(lock, [](CQVRWLockImpl& l) { return l.TryAcquireWrite(); });
}

}  // extern "C"
