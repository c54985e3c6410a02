// Condition: a monitor owning a recursive lock and a waiting queue.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "base/handle.h"
#include "os/os_lock.h"
#include "os/os_signal.h"
#include "qvcore5/qv_signal.h"

namespace qv::sync {

class CQVCondition {
 public:
  // Throws base::EQVCoreException with the platform's failure.
  CQVCondition(const char* name, uint32_t flags);
  CQVCondition(const CQVCondition&) = delete;
  CQVCondition& operator=(const CQVCondition&) = delete;

  QVRESULT Acquire() noexcept;
  // QV_E_FAIL when the calling thread does not hold the lock.
  QVRESULT Release() noexcept;
  void Signal() noexcept { m_cond.Wake(); }
  void Broadcast() noexcept { m_cond.WakeAll(); }
  // QV_S_OK when woken, QV_E_TIMEOUT when the time ran out, QV_E_FAIL when the
  // caller does not hold the lock; throws on another platform failure. The
  // lock is held again, at the caller's depth, whenever the caller held it.
  QVRESULT Wait(uint32_t timeoutMs);

  const std::string& Name() const noexcept { return m_name; }
  uint32_t Flags() const noexcept { return m_flags; }

  // Null for a null or all-ones handle.
  static CQVCondition* FromHandle(QVCONDITION handle) noexcept { return base::ObjectFromHandle<CQVCondition>(handle); }
  QVCONDITION Handle() noexcept { return reinterpret_cast<QVCONDITION>(this); }

 private:
  std::string m_name;
  uint32_t m_flags;
  os::CriticalSection m_lock;
  os::ConditionVariable m_cond;
  // The holder and its depth, kept so that a wait can give up every level of
  // a recursive hold (the platform wait gives up only one) and so that a
  // release by a thread that holds nothing is refused. Only the holder
  // writes them; other threads read m_owner to learn they are not it.
  std::atomic<uint32_t> m_owner{0};
  uint32_t m_depth = 0;
};

}  // namespace qv::sync
