#include "sync/mutex.h"

#include "os/os_clock.h"
#include "os/os_thread.h"
#include "qvcore5/qv_diag.h"
#include "base/wide.h"

using qv::WChar;

namespace qv::sync {

namespace {
constexpr uint32_t kSpinCount = 4000;
constexpr WChar kCheckCaption[] = u"QVCore Critical Error";

void CheckFailed(const WChar* text) noexcept { QVErrorAlert(0, qv::Api(kCheckCaption), qv::Api(text)); }
}  // namespace

std::atomic<int64_t> CQVCoreMutexChecked::s_tickFrequency{0};

int64_t TicksToMicroseconds(int64_t ticks) noexcept {
  int64_t frequency = CQVCoreMutexChecked::TickFrequency();
  if (frequency <= 0) return 0;
  // A 128-bit product: with nanosecond ticks a 64-bit one would overflow
  // after about two and a half hours of accumulated time.
#if defined(__SIZEOF_INT128__)
  return static_cast<int64_t>(static_cast<__int128>(ticks) * 1000000 / frequency);
#else
  // 32-bit targets: whole periods, then the rest (below the frequency, so
  // times 10^6 it stays far inside 64 bits).
  return ticks / frequency * 1000000 + ticks % frequency * 1000000 / frequency;
#endif
}

// ---- plain ----------------------------------------------------------------

CQVCoreMutexImpl::CQVCoreMutexImpl(std::string name, uint32_t flags)
    : CQVMutex(std::move(name), flags), m_lock((flags & QV_MUTEX_SPIN) ? kSpinCount : 0) {}

QVRESULT CQVCoreMutexImpl::Acquire() noexcept {
  EnterPlain();
  return QV_S_OK;
}

QVRESULT CQVCoreMutexImpl::TryAcquire() noexcept { return TryEnterPlain() ? QV_S_OK : QV_E_FAIL; }

QVRESULT CQVCoreMutexImpl::Release() noexcept {
  LeavePlain();
  return QV_S_OK;
}

QVRESULT CQVCoreMutexImpl::GetLockStats(QVLockStats*) noexcept { return QV_E_NOTIMPL; }
void CQVCoreMutexImpl::ResetLockStats() noexcept {}
int32_t CQVCoreMutexImpl::AssertOwnership(int32_t) noexcept { return 1; }

// ---- checked --------------------------------------------------------------

CQVCoreMutexChecked::CQVCoreMutexChecked(std::string name, uint32_t flags)
    : CQVCoreMutexImpl(std::move(name), flags) {
  int64_t expected = 0;
  int64_t frequency = os::FastTickFrequency();
  s_tickFrequency.compare_exchange_strong(expected, frequency > 0 ? frequency : 1000);
}

[[gnu::always_inline]] inline bool CQVCoreMutexChecked::PreAcquireFails(uint32_t self) noexcept {
  if ((m_flags & QV_MUTEX_CHECKED) && (m_flags & QV_MUTEX_NONRECURSIVE) && m_owner.Get() == self) {
    CheckFailed(u"CQVCoreMutexChecked::preAcquire m_owner check failed");
    return true;
  }
  return false;
}

[[gnu::always_inline]] inline void CQVCoreMutexChecked::NoteAcquired(uint32_t self, int64_t waitStart) noexcept {
  m_owner.Set(self);
  if (m_flags & QV_MUTEX_STATS) {
    if (m_lockDepth == 0) {
      int64_t now = os::FastTicks();
      m_heldSince.Set(now);
      if (waitStart != 0) {
        int64_t wait = now - waitStart;
        m_totalAcquireTime.Set(m_totalAcquireTime.Get() + wait);
        if (wait >= m_maxAcquireTime.Get()) m_maxAcquireTime.Set(wait);
      }
    }
    m_acquireCount.Set(m_acquireCount.Get() + 1);
  }
  ++m_lockDepth;
}

QVRESULT CQVCoreMutexChecked::Acquire() noexcept {
  uint32_t self = os::CurrentThreadId();
  if (PreAcquireFails(self)) return QV_E_FAIL;
  // The wait starts being timed only when the lock is not free at once: an
  // acquisition that does not wait has waited 0, and timing it would only
  // measure the clock.
  int64_t start = 0;
  if (!m_lock.TryEnter()) {
    if (m_flags & QV_MUTEX_STATS) start = os::FastTicks();
    m_lock.EnterContended();
  }
  NoteAcquired(self, start);
  return QV_S_OK;
}

QVRESULT CQVCoreMutexChecked::TryAcquire() noexcept {
  uint32_t self = os::CurrentThreadId();
  if (PreAcquireFails(self)) return QV_E_FAIL;
  if (!m_lock.TryEnter()) return QV_E_FAIL;
  NoteAcquired(self, 0);
  return QV_S_OK;
}

QVRESULT CQVCoreMutexChecked::Release() noexcept {
  if (m_flags & QV_MUTEX_CHECKED) {
    if (m_owner.Get() != os::CurrentThreadId()) {
      CheckFailed(u"CQVCoreMutexChecked::preRelease m_owner check failed");
      return QV_E_FAIL;
    }
    if (m_lockDepth == 0) {
      CheckFailed(u"CQVCoreMutexChecked::preRelease m_lockDepth check failed");
      return QV_E_FAIL;
    }
    if ((m_flags & QV_MUTEX_NONRECURSIVE) && m_lockDepth != 1) {
      CheckFailed(u"CQVCoreMutexChecked::preRelease m_lockDepth non recursive check failed ");
      return QV_E_FAIL;
    }
  }
  --m_lockDepth;
  if (m_lockDepth == 0) m_owner.Set(0);
  if (m_flags & QV_MUTEX_STATS) {
    if (m_lockDepth == 0) {
      int64_t held = os::FastTicks() - m_heldSince.Get();
      m_totalHeldTime.Set(m_totalHeldTime.Get() + held);
      if (held >= m_maxHeldTime.Get()) m_maxHeldTime.Set(held);
    }
    m_heldCount.Set(m_heldCount.Get() + 1);
  }
  m_lock.Leave();
  return QV_S_OK;
}

QVRESULT CQVCoreMutexChecked::GetLockStats(QVLockStats* record) noexcept {
  if (record == nullptr) return QV_E_INVALIDARG;
  record->maxAcquireTime = TicksToMicroseconds(m_maxAcquireTime.Get());
  record->totalAcquireTime = TicksToMicroseconds(m_totalAcquireTime.Get());
  record->acquireCount = static_cast<int64_t>(m_acquireCount.Get());
  record->maxHeldTime = TicksToMicroseconds(m_maxHeldTime.Get());
  record->totalHeldTime = TicksToMicroseconds(m_totalHeldTime.Get());
  record->heldCount = static_cast<int64_t>(m_heldCount.Get());
  record->contentionCount = m_lock.ContentionCount();
  return QV_S_OK;
}

void CQVCoreMutexChecked::ResetLockStats() noexcept {
  m_maxAcquireTime.Set(0);
  m_totalAcquireTime.Set(0);
  m_acquireCount.Set(0);
  m_maxHeldTime.Set(0);
  m_totalHeldTime.Set(0);
  m_heldCount.Set(0);
  m_lock.ResetContentionCount();
}

int32_t CQVCoreMutexChecked::AssertOwnership(int32_t expectOwned) noexcept {
  if (!(m_flags & QV_MUTEX_CHECKED)) return 1;
  if (m_owner.Get() == os::CurrentThreadId()) return expectOwned;
  return expectOwned == 0 ? 1 : 0;
}

}  // namespace qv::sync
