// The reader-writer lock: two library mutexes, a gate, a state word with the
// number of reading threads and a writer flag, and one record per reading
// thread with its holds (a slot, or the overflow list under m_arrayLock).
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

  static constexpr uint32_t kSlots = 32;

  struct ReaderEntry {
    uint32_t thread;
    uint32_t holds;
  };

  // For tests: a copy of the reader list (slots first, then the overflow
  // list) and the parts' handles.
  std::vector<ReaderEntry> Readers();
  QVMUTEX LockHandle() const noexcept { return m_lock; }
  QVMUTEX ArrayLockHandle() const noexcept { return m_arrayLock; }
  QVGATE GateHandle() const noexcept { return m_writerGate; }
  // Reading threads kept in the overflow list (they found no slot).
  uint32_t OverflowCount() const noexcept { return m_overflowCount.load(std::memory_order_relaxed); }

  // Null for a null or all-ones handle.
  static CQVRWLockImpl* FromHandle(QVRWLOCK handle) noexcept { return base::ObjectFromHandle<CQVRWLockImpl>(handle); }
  QVRWLOCK Handle() noexcept { return reinterpret_cast<QVRWLOCK>(this); }

 private:
  // A reading thread's record: owner thread in the high half, its read holds
  // in the low half. Slot i belongs to the thread holding slot index i, and
  // only that thread writes it.
  struct alignas(64) Slot {
    std::atomic<uint64_t> word{0};
  };
  // m_state: reading threads in the low bits; kWriterBit while a writer
  // waits or writes (new readers then queue on m_lock).
  static constexpr uint32_t kWriterBit = 0x80000000u;
  static constexpr uint32_t kCountMask = kWriterBit - 1;
  // Busy waits before sleeping: a new reader while a writer is about, and a
  // writer while readers are still in.
  static constexpr uint32_t kReaderSpins = 100;
  static constexpr uint32_t kWriterSpins = 100;
  static constexpr uint32_t kWriterYields = 4;

  // Where the calling thread's record is: a slot, the overflow list, or none.
  struct Own {
    Slot* slot = nullptr;
    ReaderEntry* overflow = nullptr;  // valid only under m_arrayLock
    uint32_t holds = 0;
  };

  void DestroyParts() noexcept;
  CQVMutex* Lock() const noexcept;
  CQVMutex* ArrayLock() const noexcept;
  CQVEvent* Gate() const noexcept;

  // The calling thread's slot index, kSlots when it has none.
  static uint32_t SlotIndex() noexcept;
  static uint32_t AssignSlotIndex() noexcept;
  Slot* FindSlot(uint32_t self) noexcept;
  Slot* FreeSlot(uint32_t self) noexcept;
  ReaderEntry* FindOverflowLocked(uint32_t self) noexcept;
  void RemoveOverflowLocked(ReaderEntry* entry) noexcept;
  uint32_t OwnHolds(uint32_t self);

  bool TryEnterFast(uint32_t self) noexcept;
  void EnterQueued(uint32_t self);
  void AddReader(uint32_t self);
  void DropReader() noexcept;
  void WakeWriter() noexcept;
  void ReadWhileWriting(uint32_t self);
  QVRESULT ReleaseOverflow(uint32_t self);

  bool TakeLockForWrite(uint32_t self);
  QVRESULT WaitForReaders(uint32_t self, uint32_t ownReads);
  void BecomeWriter(uint32_t self, uint32_t ownHolds) noexcept;
  void AbandonWrite() noexcept;

  // Read-mostly: the parts and the overflow size.
  QVMUTEX m_lock = nullptr;
  QVGATE m_writerGate = nullptr;
  QVMUTEX m_arrayLock = nullptr;
  // The length of m_readers, readable without m_arrayLock: a thread sees 0
  // only when it has no entry there itself, since only it adds or removes its own.
  std::atomic<uint32_t> m_overflowCount{0};
  // Written by each writer (a line of its own, so readers' reads of the
  // parts above do not miss after every write). The writing thread, so that
  // releases by any other thread are refused.
  alignas(64) std::atomic<uint32_t> m_writer{0};
  // The writer's own: recursion depth and the read holds it keeps for after
  // its write release.
  uint32_t m_writeDepth = 0;
  uint32_t m_savedReadCount = 0;
  // Under m_arrayLock: the thread waiting to write and whether it reads
  // itself (then it waits for one reading thread, itself, not none).
  std::atomic<uint32_t> m_pendingWriter{0};
  uint32_t m_pendingReads = 0;
  // Readers beyond the slots (under m_arrayLock), in order of arrival.
  std::vector<ReaderEntry> m_readers;
  std::string m_name;

  // Written by every new and leaving reader: a line of its own.
  alignas(64) std::atomic<uint32_t> m_state{0};
  Slot m_slots[kSlots];
};

}  // namespace qv::sync
