// Events and gates and their exports.
#include "sync/event.h"

#include "base/boundary.h"
#include "base/handle.h"
#include "os/os_error.h"

namespace qv::sync {

CQVEvent::CQVEvent(const char* name, uint32_t flags, bool manualReset) : m_name(name ? name : ""), m_flags(flags) {
  if (!m_handle.Create(manualReset, false)) base::ThrowLastError();
}

QVRESULT CQVEvent::Wait(uint32_t timeoutMs) {
  switch (m_handle.Wait(timeoutMs)) {
    case os::kWaitObject0: return QV_S_OK;
    case os::kWaitTimeout: return QV_E_TIMEOUT;
    default: base::ThrowLastError();
  }
}

QVRESULT CQVEvent::TryWait() {
  switch (m_handle.Wait(0)) {
    case os::kWaitObject0: return QV_S_OK;
    case os::kWaitTimeout: return QV_E_FAIL;  // closed is not a time-out
    default: base::ThrowLastError();
  }
}

}  // namespace qv::sync

using namespace qv::sync;
namespace base = qv::base;

namespace {

QVRESULT Destroy(QVEVENT handle) noexcept {
  delete CQVEvent::FromHandle(handle);
  return QV_S_OK;
}

}  // namespace

extern "C" {

QV_API QVRESULT QVEventCreate(const char* name, uint32_t flags, QVEVENT* event) {
  return base::BoundedOut(event, QV_INVALID_HANDLE, [&] {
    *event = CQVEvent::MakeEvent(name, flags)->Handle();
    return QV_S_OK;
  });
}

QV_API QVRESULT QVGateCreate(const char* name, uint32_t flags, QVGATE* gate) {
  return base::BoundedOut(gate, QV_INVALID_HANDLE, [&] {
    *gate = CQVEvent::MakeGate(name, flags)->Handle();
    return QV_S_OK;
  });
}

QV_API QVRESULT QVEventDestroy(QVEVENT event) { return Destroy(event); }
QV_API QVRESULT QVGateDestroy(QVGATE gate) { return Destroy(gate); }

QV_API QVRESULT QVEventSignal(QVEVENT event) {
  return base::BoundedOnHandle<CQVEvent>(event, [](CQVEvent& e) {
    e.Signal();
    return QV_S_OK;
  });
}
QV_API QVRESULT QVGateOpen(QVGATE gate) { return QVEventSignal(gate); }

QV_API QVRESULT QVEventReset(QVEVENT event) {
  return base::BoundedOnHandle<CQVEvent>(event, [](CQVEvent& e) {
    e.Reset();
    return QV_S_OK;
  });
}
QV_API QVRESULT QVGateClose(QVGATE gate) { return QVEventReset(gate); }

QV_API QVRESULT QVEventWait(QVEVENT event) {
  return base::BoundedOnHandle<CQVEvent>(event, [](CQVEvent& e) { return e.Wait(qv::os::kInfinite); });
}
QV_API QVRESULT QVGateWait(QVGATE gate) { return QVEventWait(gate); }

QV_API QVRESULT QVEventTimedWait(QVEVENT event, uint32_t timeoutMs) {
  return base::BoundedOnHandle<CQVEvent>(event, [&](CQVEvent& e) { return e.Wait(timeoutMs); });
}
QV_API QVRESULT QVGateTimedWait(QVGATE gate, uint32_t timeoutMs) { return QVEventTimedWait(gate, timeoutMs); }

QV_API QVRESULT QVGateTryWait(QVGATE gate) {
  return base::BoundedOnHandle<CQVEvent>(gate, [](CQVEvent& e) { return e.TryWait(); });
}

}  // extern "C"
