// Conditions and their exports.
#include "sync/condition.h"

#include "base/boundary.h"
#include "base/handle.h"
#include "os/os_error.h"
#include "os/os_thread.h"

namespace qv::sync {

CQVCondition::CQVCondition(const char* name, uint32_t flags) : m_name(name ? name : ""), m_flags(flags) {
  if (!m_cond.Create()) base::ThrowLastError();
}

QVRESULT CQVCondition::Acquire() noexcept {
  m_lock.Enter();
  if (m_depth++ == 0) m_owner.store(os::CurrentThreadId(), std::memory_order_relaxed);
  return QV_S_OK;
}

QVRESULT CQVCondition::Release() noexcept {
  if (m_owner.load(std::memory_order_relaxed) != os::CurrentThreadId()) return QV_E_FAIL;
  if (--m_depth == 0) m_owner.store(0, std::memory_order_relaxed);
  m_lock.Leave();
  return QV_S_OK;
}

QVRESULT CQVCondition::Wait(uint32_t timeoutMs) {
  const uint32_t self = os::CurrentThreadId();
  if (m_owner.load(std::memory_order_relaxed) != self) return QV_E_FAIL;
  // Give up all levels but one here; the platform wait gives up the last one
  // atomically with starting to wait, so no signal can slip in between.
  const uint32_t depth = m_depth;
  m_depth = 0;
  m_owner.store(0, std::memory_order_relaxed);
  for (uint32_t i = 1; i < depth; ++i) m_lock.Leave();
  const bool woken = m_cond.SleepOn(m_lock, timeoutMs);
  const uint32_t error = woken ? 0 : os::LastError();
  for (uint32_t i = 1; i < depth; ++i) m_lock.Enter();
  m_owner.store(self, std::memory_order_relaxed);
  m_depth = depth;
  if (woken) return QV_S_OK;
  if (error == os::kErrorTimeout) return QV_E_TIMEOUT;
  base::ThrowResult(QVResultFromNative(error));
}

}  // namespace qv::sync

using namespace qv::sync;
namespace base = qv::base;

extern "C" {

QV_API QVRESULT QVConditionCreate(const char* name, uint32_t flags, QVCONDITION* condition) {
  return base::BoundedOut(condition, QV_INVALID_HANDLE, [&] {
    *condition = (new CQVCondition(name, flags))->Handle();
    return QV_S_OK;
  });
}

QV_API QVRESULT QVConditionDestroy(QVCONDITION condition) {
  delete CQVCondition::FromHandle(condition);
  return QV_S_OK;
}

QV_API QVRESULT QVConditionAcquire(QVCONDITION condition) {
  return base::BoundedOnHandle<CQVCondition>(condition, [](CQVCondition& c) { return c.Acquire(); });
}

QV_API QVRESULT QVConditionRelease(QVCONDITION condition) {
  return base::BoundedOnHandle<CQVCondition>(condition, [](CQVCondition& c) { return c.Release(); });
}

QV_API QVRESULT QVConditionSignal(QVCONDITION condition) {
  return base::BoundedOnHandle<CQVCondition>(condition, [](CQVCondition& c) {
    c.Signal();
    return QV_S_OK;
  });
}

QV_API QVRESULT QVConditionBroadcast(QVCONDITION condition) {
  return base::BoundedOnHandle<CQVCondition>(condition, [](CQVCondition& c) {
    c.Broadcast();
    return QV_S_OK;
  });
}

QV_API QVRESULT QVConditionWait(QVCONDITION condition) {
  return base::BoundedOnHandle<CQVCondition>(condition, [](CQVCondition& c) { return c.Wait(qv::os::kInfinite); });
}

QV_API QVRESULT QVConditionTimedWait(QVCONDITION condition, uint32_t timeoutMs) {
  return base::BoundedOnHandle<CQVCondition>(condition, [&](CQVCondition& c) { return c.Wait(timeoutMs); });
}

}  // extern "C"
