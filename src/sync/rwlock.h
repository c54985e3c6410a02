// The reader-writer lock: two library mutexes, a gate, an atomic hold count
// and the list of reading threads with their holds.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "base/handle.h"
#include "qvcore5/qv_mutex.h"
#include "qvcore5/qv_rwlock.h"
#include "qvcore5/qv_signal.h"

namespace qv::sync {

class CQVMutex;
class CQVEvent;

class CQVRWLockImpl {
 public:
  // Throws base::EQVCoreException when a part cannot be made.
  CQVRWLockImpl(const char* name, uint32_t flags);  // no flag has an effect
  ~CQVRWLockImpl();
  CQVRWLockImpl(const CQVRWLockImpl&) = delete;
  CQVRWLockImpl& operator=(const CQVRWLockImpl&) = delete;

  QVRESULT AcquireRead();
  QVRESULT AcquireWrite();
  QVRESULT ReleaseRead();
  QVRESULT ReleaseWrite();
  QVRESULT TryAcquireRead();
  QVRESULT TryAcquireWrite();

  struct ReaderEntry {
    uint32_t thread;
    uint32_t holds;
  };

  // For tests: a copy of the reader list and the parts' handles.
  std::vector<ReaderEntry> Readers();
  QVMUTEX LockHandle() const noexcept { return m_lock; }
  QVMUTEX ArrayLockHandle() const noexcept { return m_arrayLock; }
  QVGATE GateHandle() const noexcept { return m_writerGate; }

  // Null for a null or all-ones handle.
  static CQVRWLockImpl* FromHandle(QVRWLOCK handle) noexcept { return base::ObjectFromHandle<CQVRWLockImpl>(handle); }
  QVRWLOCK Handle() noexcept { return reinterpret_cast<QVRWLOCK>(this); }

 private:
  void DestroyParts() noexcept;
  CQVMutex* Lock() const noexcept;
  CQVMutex* ArrayLock() const noexcept;
  CQVEvent* Gate() const noexcept;

  uint32_t AddHolds(int32_t delta) noexcept;
  ReaderEntry* FindLocked(uint32_t thread) noexcept;
  void AppendLocked(uint32_t thread, uint32_t holds);
  void RemoveLocked(ReaderEntry* entry) noexcept;
  bool ReenterLocked(uint32_t self) noexcept;
  void NewReaderLocked(uint32_t self);
  void NewReaderWhileWritingLocked(uint32_t self);
  bool NoWriterLocked() const noexcept;
  bool NoOtherReaderLocked(uint32_t self) const noexcept;
  bool HoldsReads(uint32_t self);
  bool TakeLockForWrite(uint32_t self);
  void BecomeWriter(uint32_t self) noexcept;

  QVMUTEX m_lock = nullptr;
  QVGATE m_writerGate = nullptr;
  std::atomic<uint32_t> m_holdCount{0};
  uint32_t m_savedReadCount = 0;
  std::vector<ReaderEntry> m_readers;
  std::atomic<uint32_t> m_pendingWriter{0};
  QVMUTEX m_arrayLock = nullptr;
  std::atomic<bool> m_writeLocked{false};
  std::string m_name;
  // The writing thread, so that a release by any other thread is refused
  // (m_writeLocked alone cannot tell who writes).
  std::atomic<uint32_t> m_writer{0};
  // The length of m_readers, readable without m_arrayLock: a thread sees 0
  // only when it has no entry itself, since only it adds or removes its own.
  std::atomic<uint32_t> m_readerCount{0};
};

}  // namespace qv::sync
