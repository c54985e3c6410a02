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

// Scoped holds: the lock's paths throw only allocation failures, and those
// must not leave a mutex held.
using Held = base::Guard<CQVMutex*>;

}  // namespace

namespace {

constexpr uint64_t Word(uint32_t thread, uint32_t holds) noexcept { return (uint64_t{thread} << 32) | holds; }
constexpr uint32_t Owner(uint64_t word) noexcept { return static_cast<uint32_t>(word >> 32); }
constexpr uint32_t Holds(uint64_t word) noexcept { return static_cast<uint32_t>(word); }

// Per thread, over all reader-writer locks: records with read holds, and
// locks written. While they are 0, which is the common case, a thread knows
// without looking at any lock that it neither reads nor writes, and it
// touches no line another thread's record or the writer's fields live on.
thread_local constinit uint32_t t_readRecords __attribute__((tls_model("initial-exec"))) = 0;
thread_local constinit uint32_t t_writeLocks __attribute__((tls_model("initial-exec"))) = 0;
// Reads still to come that look for a writer before raising the count.
constexpr uint32_t kWriterSeenReads = 64;
thread_local constinit uint32_t t_writerSeen __attribute__((tls_model("initial-exec"))) = 0;

// Every thread that reads gets one of the slot indices for its life, the
// same in every lock, so that only that thread ever writes its slot and it
// needs no atomic read-modify-write there. 0: none yet; kNoIndex: the
// thread is ending. A thread without an index reads through the overflow
// list. The index goes back when the thread ends.
constexpr uint32_t kNoIndex = 0xFFFFFFFFu;
thread_local constinit uint32_t t_slotIndex __attribute__((tls_model("initial-exec"))) = 0;
static_assert(CQVRWLockImpl::kSlots <= 32, "one bit per slot index");
constinit std::atomic<uint32_t> g_slotIndicesInUse{0};  // never destroyed: late threads may still give theirs back

// The index goes back at thread end through a thread-end hook: the value is
// the index + 1, so the hook needs no thread-local storage then.
void ReturnSlotIndex(void* value) noexcept {
  const auto index = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(value));
  t_slotIndex = kNoIndex;
  g_slotIndicesInUse.fetch_and(~(1u << (index - 1)), std::memory_order_release);
}

os::ThreadEndHook& SlotIndexHook() noexcept {
  static os::ThreadEndHook* hook = new os::ThreadEndHook(&ReturnSlotIndex);
  return *hook;
}

}  // namespace

uint32_t CQVRWLockImpl::AssignSlotIndex() noexcept {
  uint32_t used = g_slotIndicesInUse.load(std::memory_order_relaxed);
  for (;;) {
    const uint32_t free = ~used & (kSlots == 32 ? 0xFFFFFFFFu : (1u << kSlots) - 1);
    if (free == 0) return kSlots;  // all taken: asked again next time
    const uint32_t index = static_cast<uint32_t>(__builtin_ctz(free));
    if (g_slotIndicesInUse.compare_exchange_weak(used, used | (1u << index), std::memory_order_acquire,
                                                 std::memory_order_relaxed)) {
      // Without a hook the index could never go back: the thread reads
      // through the overflow list instead.
      if (!SlotIndexHook().Arm(reinterpret_cast<void*>(static_cast<uintptr_t>(index + 1)))) {
        g_slotIndicesInUse.fetch_and(~(1u << index), std::memory_order_release);
        t_slotIndex = kNoIndex;
        return kSlots;
      }
      t_slotIndex = index + 1;
      return index;
    }
  }
}

[[gnu::always_inline]] inline uint32_t CQVRWLockImpl::SlotIndex() noexcept {
  const uint32_t index = t_slotIndex;
  if (__builtin_expect(index - 1 < kSlots, 1)) return index - 1;
  return index == 0 ? AssignSlotIndex() : kSlots;
}

CQVRWLockImpl::CQVRWLockImpl(const char* name, uint32_t /*flags*/) : m_name(name ? name : "") {
  try {
    m_writerGate = CQVEvent::MakeGate((m_name + "::CQVRWLockImpl::m_writerGate").c_str(), 0)->Handle();
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

// ---- reader records ---------------------------------------------------------

// The caller's slot with holds, if it has one.
[[gnu::always_inline]] inline CQVRWLockImpl::Slot* CQVRWLockImpl::FindSlot(uint32_t self) noexcept {
  const uint32_t index = SlotIndex();
  if (index >= kSlots) return nullptr;
  Slot& slot = m_slots[index];
  const uint64_t word = slot.word.load(std::memory_order_relaxed);
  return Owner(word) == self && Holds(word) != 0 ? &slot : nullptr;
}

// The caller's slot, given 1 hold; null when the caller has no slot index
// or a thread that ended while reading left its holds there.
[[gnu::always_inline]] inline CQVRWLockImpl::Slot* CQVRWLockImpl::FreeSlot(uint32_t self) noexcept {
  const uint32_t index = SlotIndex();
  if (index >= kSlots) return nullptr;
  Slot& slot = m_slots[index];
  if (Holds(slot.word.load(std::memory_order_relaxed)) != 0) return nullptr;
  slot.word.store(Word(self, 1), std::memory_order_relaxed);
  return &slot;
}

CQVRWLockImpl::ReaderEntry* CQVRWLockImpl::FindOverflowLocked(uint32_t self) noexcept {
  for (ReaderEntry& e : m_readers)
    if (e.thread == self) return &e;
  return nullptr;
}

void CQVRWLockImpl::RemoveOverflowLocked(ReaderEntry* entry) noexcept {
  m_readers.erase(m_readers.begin() + (entry - m_readers.data()));  // keeps the order of the others
  m_overflowCount.store(static_cast<uint32_t>(m_readers.size()), std::memory_order_relaxed);
}

// The caller's read holds as its record shows them (0 without a record).
uint32_t CQVRWLockImpl::OwnHolds(uint32_t self) {
  if (t_readRecords == 0) return 0;
  if (Slot* slot = FindSlot(self)) return Holds(slot->word.load(std::memory_order_relaxed));
  if (m_overflowCount.load(std::memory_order_relaxed) == 0) return 0;
  Held a(ArrayLock());
  const ReaderEntry* e = FindOverflowLocked(self);
  return e ? e->holds : 0;
}

std::vector<CQVRWLockImpl::ReaderEntry> CQVRWLockImpl::Readers() {
  Held a(ArrayLock());
  std::vector<ReaderEntry> all;
  for (Slot& slot : m_slots) {
    const uint64_t word = slot.word.load(std::memory_order_relaxed);
    if (Holds(word) != 0) all.push_back({Owner(word), Holds(word)});
  }
  all.insert(all.end(), m_readers.begin(), m_readers.end());
  return all;
}

// ---- reading ----------------------------------------------------------------

// A new reader without a writer about: a slot and one more reading thread,
// with no mutex. The count and the writer flag share one word, so either
// the writer sees this reader or this reader sees the writer. The count is
// raised before the flag is looked at (one atomic step, and no read of a
// line that other threads write first); with the flag set the reader backs
// out again as a leaving reader would.
[[gnu::always_inline]] inline bool CQVRWLockImpl::TryEnterFast(uint32_t self) noexcept {
  // A thread that lately ran into a writer looks first, rather than raise
  // the count and take it back (two needless writes to the busiest line).
  if (t_writerSeen != 0 && (m_state.load(std::memory_order_relaxed) & kWriterBit)) return false;
  Slot* slot = FreeSlot(self);
  if (slot == nullptr) return false;
  const uint32_t state = m_state.fetch_add(1, std::memory_order_acquire);
  if (state & kWriterBit) {
    t_writerSeen = kWriterSeenReads;
    slot->word.store(Word(self, 0), std::memory_order_relaxed);
    ++t_readRecords;  // DropReader counts it down again
    DropReader();
    return false;
  }
  if (t_writerSeen != 0) --t_writerSeen;
  ++t_readRecords;
  return true;
}

// A record with 1 hold and one more reading thread. Runs under m_lock: no
// writer waits or writes, or the caller is the writer.
void CQVRWLockImpl::AddReader(uint32_t self) {
  if (FreeSlot(self) == nullptr) {
    Held a(ArrayLock());
    m_readers.push_back({self, 1});  // first, so that a failed allocation changes nothing
    m_overflowCount.store(static_cast<uint32_t>(m_readers.size()), std::memory_order_relaxed);
  }
  ++t_readRecords;
  m_state.fetch_add(1, std::memory_order_acquire);
}

// Blocks while a writer holds or waits for the lock.
void CQVRWLockImpl::EnterQueued(uint32_t self) {
  Held l(Lock());
  AddReader(self);
}

// One reading thread fewer. With a writer waiting, the last reader other
// than the writer itself opens the gate for it. The writer announces itself
// and then looks at the count, the reader counts down and then looks for an
// announcement, both in one total order: one of them sees the other.
[[gnu::always_inline]] inline void CQVRWLockImpl::DropReader() noexcept {
  --t_readRecords;
  const uint32_t state = m_state.fetch_sub(1, std::memory_order_seq_cst) - 1;
  if (state & kWriterBit) {
    WakeWriter();
  } else if (state == 0) {
    // Reads kept past a write release closed the gate; the last of them
    // opens it. Nobody waits on it: a writer sets the flag first.
    Gate()->OpenIfClosedUnwaited();
  }
}

void CQVRWLockImpl::WakeWriter() noexcept {
  if (m_pendingWriter.load(std::memory_order_seq_cst) == 0) return;
  Held a(ArrayLock());
  if (m_pendingWriter.load(std::memory_order_relaxed) != 0 &&
      (m_state.load(std::memory_order_relaxed) & kCountMask) <= m_pendingReads)
    Gate()->Signal();
}

// The writer reads: the holds are kept aside until its write release. Its
// first read makes its record now, while a failed allocation can still be
// reported as this acquisition's failure.
void CQVRWLockImpl::ReadWhileWriting(uint32_t self) {
  if (OwnHolds(self) == 0) AddReader(self);
  ++m_savedReadCount;
}

[[gnu::always_inline]] inline QVRESULT CQVRWLockImpl::AcquireRead() {
  const uint32_t self = os::CurrentThreadId();
  if (t_writeLocks != 0 && m_writer.load(std::memory_order_relaxed) == self) {
    ReadWhileWriting(self);
    return QV_S_OK;
  }
  // A thread that reads already never waits, not even for a waiting writer.
  if (t_readRecords != 0) {
    if (Slot* slot = FindSlot(self)) {
      slot->word.store(slot->word.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
      return QV_S_OK;
    }
    if (m_overflowCount.load(std::memory_order_relaxed) != 0) {
      Held a(ArrayLock());
      if (ReaderEntry* e = FindOverflowLocked(self)) {
        ++e->holds;
        return QV_S_OK;
      }
    }
  }
  if (TryEnterFast(self)) return QV_S_OK;
  // A writer's turn is short: waiting it out here costs less than sleeping
  // on m_lock behind it.
  for (uint32_t i = 0; i < kReaderSpins && (m_state.load(std::memory_order_relaxed) & kWriterBit); ++i) {
    os::SpinPause();
    if (!(m_state.load(std::memory_order_relaxed) & kWriterBit) && TryEnterFast(self)) return QV_S_OK;
  }
  EnterQueued(self);
  return QV_S_OK;
}

QVRESULT CQVRWLockImpl::TryAcquireRead() {
  const uint32_t self = os::CurrentThreadId();
  if (t_writeLocks != 0 && m_writer.load(std::memory_order_relaxed) == self) {
    ReadWhileWriting(self);
    return QV_S_OK;
  }
  if (t_readRecords != 0) {
    if (Slot* slot = FindSlot(self)) {
      slot->word.store(slot->word.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
      return QV_S_OK;
    }
    if (m_overflowCount.load(std::memory_order_relaxed) != 0) {
      if (!TryEnter(ArrayLock())) return QV_E_FAIL;
      Held a(ArrayLock(), base::kAdoptLock);
      if (ReaderEntry* e = FindOverflowLocked(self)) {
        ++e->holds;
        return QV_S_OK;
      }
    }
  }
  if (TryEnterFast(self)) return QV_S_OK;
  if (!TryEnter(Lock())) return QV_E_FAIL;
  Held l(Lock(), base::kAdoptLock);
  AddReader(self);
  return QV_S_OK;
}

QVRESULT CQVRWLockImpl::ReleaseOverflow(uint32_t self) {
  {
    Held a(ArrayLock());
    ReaderEntry* e = FindOverflowLocked(self);
    if (e == nullptr) return QV_E_FAIL;
    if (--e->holds != 0) return QV_S_OK;
    RemoveOverflowLocked(e);
  }
  DropReader();
  return QV_S_OK;
}

[[gnu::always_inline]] inline QVRESULT CQVRWLockImpl::ReleaseRead() {
  const uint32_t self = os::CurrentThreadId();
  if (t_writeLocks != 0 && m_writer.load(std::memory_order_relaxed) == self) {
    if (m_savedReadCount == 0) return QV_E_FAIL;
    --m_savedReadCount;
    return QV_S_OK;
  }
  if (t_readRecords == 0) return QV_E_FAIL;
  if (Slot* slot = FindSlot(self)) {
    const uint64_t word = slot->word.load(std::memory_order_relaxed);
    if (Holds(word) > 1) {
      slot->word.store(word - 1, std::memory_order_relaxed);
      return QV_S_OK;
    }
    slot->word.store(Word(self, 0), std::memory_order_relaxed);
    DropReader();
    return QV_S_OK;
  }
  if (m_overflowCount.load(std::memory_order_relaxed) != 0) return ReleaseOverflow(self);
  return QV_E_FAIL;
}

// ---- writing ----------------------------------------------------------------

// A reader must never block on m_lock: a writer waiting there for the gate
// waits for this very reader to leave, and neither would ever move. Other
// holders of m_lock (new readers, a writer on its way to waiting) keep it
// only for a moment.
bool CQVRWLockImpl::TakeLockForWrite(uint32_t self) {
  if (TryEnter(Lock())) return true;
  if (OwnHolds(self) == 0) {
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

// The caller holds m_lock and the writer flag, and no other thread reads:
// its own read holds (if any) are kept aside until the write release.
void CQVRWLockImpl::BecomeWriter(uint32_t self, uint32_t ownHolds) noexcept {
  m_savedReadCount = ownHolds;
  m_writeDepth = 1;
  m_writer.store(self, std::memory_order_relaxed);
  ++t_writeLocks;
}

// A wait that failed: the writer gives up its claim and lets readers in.
void CQVRWLockImpl::AbandonWrite() noexcept {
  {
    Held a(ArrayLock());
    m_pendingWriter.store(0, std::memory_order_relaxed);
  }
  m_state.fetch_and(~kWriterBit, std::memory_order_release);
  Leave(Lock());
}

// The writer flag is set: new readers keep out, readers that are in leave.
// Readers hold the lock briefly, so the writer first watches the count for
// a while (yielding lets a reader that lost its processor finish) and only
// then announces itself and sleeps on the gate.
QVRESULT CQVRWLockImpl::WaitForReaders(uint32_t self, uint32_t ownReads) {
  auto drained = [&] { return (m_state.load(std::memory_order_acquire) & kCountMask) <= ownReads; };
  for (uint32_t i = 0; i < kWriterSpins; ++i) {
    if (drained()) return QV_S_OK;
    os::SpinPause();
  }
  for (uint32_t i = 0; i < kWriterYields; ++i) {
    if (drained()) return QV_S_OK;
    os::YieldThread();
  }
  {
    Held a(ArrayLock());
    Gate()->Reset();
    m_pendingReads = ownReads;
    m_pendingWriter.store(self, std::memory_order_seq_cst);
    if ((m_state.load(std::memory_order_seq_cst) & kCountMask) <= ownReads) {
      m_pendingWriter.store(0, std::memory_order_relaxed);
      return QV_S_OK;
    }
  }
  for (;;) {
    const QVRESULT r = Gate()->Wait(os::kInfinite);
    if (r < 0) return r;
    // The gate may also have been opened by a reader that left before the
    // flag was set; only the count tells.
    Held a(ArrayLock());
    if ((m_state.load(std::memory_order_acquire) & kCountMask) <= m_pendingReads) {
      m_pendingWriter.store(0, std::memory_order_relaxed);
      return QV_S_OK;
    }
    Gate()->Reset();
  }
}

QVRESULT CQVRWLockImpl::AcquireWrite() {
  const uint32_t self = os::CurrentThreadId();
  if (t_writeLocks != 0 && m_writer.load(std::memory_order_relaxed) == self) {
    Enter(Lock());
    ++m_writeDepth;
    return QV_S_OK;
  }
  if (!TakeLockForWrite(self)) return QV_E_FAIL;
  const uint32_t ownHolds = OwnHolds(self);
  const uint32_t ownReads = ownHolds != 0 ? 1 : 0;
  // From here on new readers queue on m_lock, which this thread holds;
  // threads that read already may still take further holds and leave.
  if ((m_state.fetch_or(kWriterBit, std::memory_order_acquire) & kCountMask) > ownReads) {
    QVRESULT r = QV_E_FAIL;
    try {
      r = WaitForReaders(self, ownReads);
    } catch (...) {
      AbandonWrite();
      throw;
    }
    if (r < 0) {
      AbandonWrite();
      return r;
    }
  }
  BecomeWriter(self, ownHolds);
  return QV_S_OK;
}

QVRESULT CQVRWLockImpl::TryAcquireWrite() {
  const uint32_t self = os::CurrentThreadId();
  if (!TryEnter(Lock())) return QV_E_FAIL;
  if (m_writer.load(std::memory_order_relaxed) == self) {  // the caller writes already
    ++m_writeDepth;
    return QV_S_OK;
  }
  const uint32_t ownHolds = OwnHolds(self);
  const uint32_t ownReads = ownHolds != 0 ? 1 : 0;
  // The flag is set only while no other thread reads, so nobody is left
  // waiting for it when that is not the case.
  uint32_t state = m_state.load(std::memory_order_relaxed);
  while ((state & kCountMask) <= ownReads) {
    if (m_state.compare_exchange_weak(state, state | kWriterBit, std::memory_order_acquire,
                                      std::memory_order_relaxed)) {
      BecomeWriter(self, ownHolds);
      return QV_S_OK;
    }
  }
  Leave(Lock());
  return QV_E_FAIL;
}

QVRESULT CQVRWLockImpl::ReleaseWrite() {
  const uint32_t self = os::CurrentThreadId();
  if (t_writeLocks == 0 || m_writer.load(std::memory_order_relaxed) != self) return QV_E_FAIL;
  if (--m_writeDepth > 0) {
    Leave(Lock());
    return QV_S_OK;
  }
  const uint32_t saved = m_savedReadCount;
  m_savedReadCount = 0;
  // The record exists when saved is above 0: it was there before the write
  // or made with the first read while writing.
  bool dropped = false;
  Slot* slot = t_readRecords != 0 ? FindSlot(self) : nullptr;
  if (slot != nullptr) {
    slot->word.store(Word(self, saved), std::memory_order_relaxed);
    dropped = saved == 0;
  } else if (t_readRecords != 0 && m_overflowCount.load(std::memory_order_relaxed) != 0) {
    Held a(ArrayLock());
    if (ReaderEntry* e = FindOverflowLocked(self)) {
      e->holds = saved;
      if (saved == 0) RemoveOverflowLocked(e);
      dropped = saved == 0;
    }
  }
  if (dropped) {
    --t_readRecords;
    m_state.fetch_sub(1, std::memory_order_relaxed);
  }
  m_writer.store(0, std::memory_order_relaxed);
  --t_writeLocks;
  // Reads kept past the write release close the gate as a first reader
  // would. No thread waits on it: writers wait only while holding m_lock.
  if (saved == 0)
    Gate()->OpenIfClosedUnwaited();
  else
    Gate()->Reset();
  m_state.fetch_and(~kWriterBit, std::memory_order_release);
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
