#include "sync/rwlock.h"

#include <algorithm>

#include "core/exception.h"
#include "os/os_signal.h"
#include "os/os_thread.h"
#include "sync/event.h"
#include "sync/mutex.h"

namespace qv::core {

namespace {

// Holds a library mutex for a scope; the lock's paths throw only allocation
// failures, and those must not leave a mutex held.
class Held {
 public:
  explicit Held(CQVMutex* mutex) noexcept : m_mutex(mutex) { m_mutex->Acquire(); }
  ~Held() { m_mutex->Release(); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;

 private:
  CQVMutex* m_mutex;
};

bool IsHandle(const void* handle) noexcept { return handle != nullptr && handle != QV_INVALID_HANDLE; }

}  // namespace

CQVRWLockImpl::CQVRWLockImpl(const char* name, uint32_t flags) : m_name(name ? name : ""), m_flags(flags) {
  try {
    m_writerGate = CQVEvent::CreateGate((m_name + "::CQVRWLockImpl::m_writerGate").c_str(), 0)->Handle();
    m_readers.reserve(8);
    ThrowIfFailed(QVMutexCreate((m_name + "::CQVRWLockImpl::m_lock").c_str(), 0, &m_lock));
    ThrowIfFailed(QVMutexCreate((m_name + "::CQVRWLockImpl::m_arrayLock").c_str(), 0, &m_arrayLock));
    Gate()->Signal();
  } catch (...) {
    DestroyParts();
    throw;
  }
}

CQVRWLockImpl::~CQVRWLockImpl() { DestroyParts(); }

void CQVRWLockImpl::DestroyParts() noexcept {
  if (IsHandle(m_arrayLock)) QVMutexDestroy(m_arrayLock);
  if (IsHandle(m_lock)) QVMutexDestroy(m_lock);
  if (IsHandle(m_writerGate)) delete Gate();
  m_arrayLock = m_lock = nullptr;
  m_writerGate = nullptr;
}

CQVMutex* CQVRWLockImpl::Lock() const noexcept { return CQVMutex::FromHandle(m_lock); }
CQVMutex* CQVRWLockImpl::ArrayLock() const noexcept { return CQVMutex::FromHandle(m_arrayLock); }
CQVEvent* CQVRWLockImpl::Gate() const noexcept { return CQVEvent::FromHandle(m_writerGate); }

// Changes to the hold count never overlap (readers change it under
// m_arrayLock, the writer only while no other thread can), but it is read
// across threads, so it stays atomic.
uint32_t CQVRWLockImpl::AddHolds(int32_t delta) noexcept {
  return m_holdCount.fetch_add(static_cast<uint32_t>(delta), std::memory_order_relaxed) + static_cast<uint32_t>(delta);
}

CQVRWLockImpl::ReaderEntry* CQVRWLockImpl::FindLocked(uint32_t thread) noexcept {
  for (ReaderEntry& e : m_readers)
    if (e.thread == thread) return &e;
  return nullptr;
}

void CQVRWLockImpl::RemoveLocked(ReaderEntry* entry) noexcept {
  m_readers.erase(m_readers.begin() + (entry - m_readers.data()));
  m_readerCount.store(static_cast<uint32_t>(m_readers.size()), std::memory_order_relaxed);
}

std::vector<CQVRWLockImpl::ReaderEntry> CQVRWLockImpl::Readers() {
  Held a(ArrayLock());
  return m_readers;
}

bool CQVRWLockImpl::ReenterLocked(uint32_t self) noexcept {
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

void CQVRWLockImpl::NewReaderLocked(uint32_t self) {
  if (m_writeLocked.load(std::memory_order_relaxed)) {
    // The caller is the writer (it holds m_lock). Its reads outlive the write
    // release, so it gets an entry now, while a failed allocation can still
    // be reported as this acquisition's failure.
    if (FindLocked(self) == nullptr) {
      m_readers.push_back({self, 0});
      m_readerCount.store(static_cast<uint32_t>(m_readers.size()), std::memory_order_relaxed);
    }
    ++m_savedReadCount;
    return;
  }
  m_readers.push_back({self, 1});  // first, so that a failed allocation changes nothing
  m_readerCount.store(static_cast<uint32_t>(m_readers.size()), std::memory_order_relaxed);
  if (AddHolds(1) == 1) Gate()->Reset();
}

QVRESULT CQVRWLockImpl::AcquireRead() {
  const uint32_t self = os::CurrentThreadId();
  if (m_readerCount.load(std::memory_order_relaxed) != 0) {
    Held a(ArrayLock());
    if (ReenterLocked(self)) return QV_S_OK;
  }
  // Blocks while a writer holds or waits for the lock.
  Held l(Lock());
  Held a(ArrayLock());
  NewReaderLocked(self);
  return QV_S_OK;
}

QVRESULT CQVRWLockImpl::TryAcquireRead() {
  const uint32_t self = os::CurrentThreadId();
  if (m_readerCount.load(std::memory_order_relaxed) != 0) {
    if (ArrayLock()->TryAcquire() < 0) return QV_E_FAIL;
    const bool reentered = ReenterLocked(self);
    ArrayLock()->Release();
    if (reentered) return QV_S_OK;
  }
  if (Lock()->TryAcquire() < 0) return QV_E_FAIL;
  QVRESULT result = QV_E_FAIL;
  if (ArrayLock()->TryAcquire() == QV_S_OK) {
    try {
      NewReaderLocked(self);
      result = QV_S_OK;
    } catch (...) {
      ArrayLock()->Release();
      Lock()->Release();
      throw;
    }
    ArrayLock()->Release();
  }
  Lock()->Release();
  return result;
}

QVRESULT CQVRWLockImpl::ReleaseRead() {
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
  if (left == 0 ||
      (pending != 0 && (m_readers.empty() || (m_readers.size() == 1 && m_readers[0].thread == pending))))
    Gate()->Signal();
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
  if (Lock()->TryAcquire() == QV_S_OK) return true;
  if (!HoldsReads(self)) {
    Lock()->Acquire();
    return true;
  }
  for (;;) {
    {
      Held a(ArrayLock());
      const uint32_t pending = m_pendingWriter.load(std::memory_order_relaxed);
      if (pending != 0 && pending != self) return false;
    }
    if (Lock()->TryAcquire() == QV_S_OK) return true;
    os::YieldThread();
  }
}

// The caller holds m_lock and no other thread reads any more: its own read
// holds (if any) are kept aside until the write release.
void CQVRWLockImpl::BecomeWriter(uint32_t self) noexcept {
  m_savedReadCount = m_holdCount.load(std::memory_order_relaxed);
  m_holdCount.store(0, std::memory_order_relaxed);
  m_pendingWriter.store(0, std::memory_order_relaxed);
  m_writer.store(self, std::memory_order_relaxed);
  m_writeLocked.store(true, std::memory_order_relaxed);
}

QVRESULT CQVRWLockImpl::AcquireWrite() {
  const uint32_t self = os::CurrentThreadId();
  if (m_writer.load(std::memory_order_relaxed) == self) {
    Lock()->Acquire();
    AddHolds(1);
    return QV_S_OK;
  }
  if (!TakeLockForWrite(self)) return QV_E_FAIL;
  bool wait;
  {
    Held a(ArrayLock());
    m_pendingWriter.store(self, std::memory_order_relaxed);
    wait = !(m_readers.empty() || (m_readers.size() == 1 && m_readers[0].thread == self));
  }
  if (wait) {
    // m_lock stays held: no new reader enters, while threads that already
    // read may still take further holds and then leave.
    QVRESULT r = QV_E_FAIL;
    try {
      r = Gate()->Wait(os::kInfinite);
    } catch (...) {
      m_pendingWriter.store(0, std::memory_order_relaxed);
      Lock()->Release();
      throw;
    }
    if (r < 0) {
      m_pendingWriter.store(0, std::memory_order_relaxed);
      Lock()->Release();
      return r;
    }
  }
  BecomeWriter(self);
  AddHolds(1);
  return QV_S_OK;
}

QVRESULT CQVRWLockImpl::TryAcquireWrite() {
  const uint32_t self = os::CurrentThreadId();
  if (Lock()->TryAcquire() < 0) return QV_E_FAIL;
  if (m_writeLocked.load(std::memory_order_relaxed)) {  // the caller writes already
    AddHolds(1);
    return QV_S_OK;
  }
  if (ArrayLock()->TryAcquire() < 0) {
    Lock()->Release();
    return QV_E_FAIL;
  }
  // The gate is looked at under m_arrayLock, so no reader changes it between
  // the decision and the look.
  bool available = m_readers.empty() || (m_readers.size() == 1 && m_readers[0].thread == self);
  if (!available) {
    try {
      available = Gate()->TryWait() == QV_S_OK;
    } catch (...) {
      ArrayLock()->Release();
      Lock()->Release();
      throw;
    }
  }
  ArrayLock()->Release();
  if (!available) {
    Lock()->Release();
    return QV_E_FAIL;
  }
  BecomeWriter(self);
  AddHolds(1);
  return QV_S_OK;
}

QVRESULT CQVRWLockImpl::ReleaseWrite() {
  const uint32_t self = os::CurrentThreadId();
  if (m_writer.load(std::memory_order_relaxed) != self) return QV_E_FAIL;
  if (AddHolds(-1) > 0) {
    Lock()->Release();
    return QV_S_OK;
  }
  const uint32_t saved = m_savedReadCount;
  // Without an entry and without reads the writer found no readers and the
  // gate open, and it is still open: nothing to update under m_arrayLock.
  if (saved != 0 || m_readerCount.load(std::memory_order_relaxed) != 0) {
    Held a(ArrayLock());
    ReaderEntry* entry = FindLocked(self);
    if (saved == 0) {
      if (entry != nullptr) RemoveLocked(entry);
    } else {
      // The entry exists: the writer had it before, or got it with its first
      // read while writing.
      if (entry != nullptr) entry->holds = saved;
    }
    m_holdCount.store(saved, std::memory_order_relaxed);
    // Reads kept past the write release close the gate as a first reader
    // would; the next writer then waits for them.
    if (saved == 0)
      Gate()->Signal();
    else
      Gate()->Reset();
  }
  m_savedReadCount = 0;
  m_writer.store(0, std::memory_order_relaxed);
  m_writeLocked.store(false, std::memory_order_relaxed);
  Lock()->Release();
  return QV_S_OK;
}

}  // namespace qv::core
