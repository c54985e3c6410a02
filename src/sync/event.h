// Events and gates: one object, a binary signal kept by the platform event.
// A gate is always manual-reset; an event is auto-reset unless created with
// QV_EVENT_MANUAL_RESET.
#pragma once
#include <cstdint>
#include <string>

#include "base/handle.h"
#include "base/exception.h"
#include "os/os_signal.h"
#include "qvcore5/qv_signal.h"

namespace qv::sync {

class CQVEvent {
 public:
  // Throws base::EQVCoreException with the platform's failure.
  CQVEvent(const char* name, uint32_t flags, bool manualReset);
  CQVEvent(const CQVEvent&) = delete;
  CQVEvent& operator=(const CQVEvent&) = delete;

  static CQVEvent* MakeEvent(const char* name, uint32_t flags) {
    return new CQVEvent(name, flags, (flags & QV_EVENT_MANUAL_RESET) != 0);
  }
  static CQVEvent* MakeGate(const char* name, uint32_t flags) { return new CQVEvent(name, flags, true); }

  // Throws on a platform failure.
  void Signal() {
    if (!m_handle.Set()) base::ThrowLastError();
  }
  // Opens without looking for waiters, for an owner that knows there are none.
  void SignalUnwaited() noexcept { m_handle.SetUnwaited(); }
  // The same, writing nothing when already open (keeps a line that many
  // threads read from bouncing between them).
  void OpenIfClosedUnwaited() noexcept {
    if (!m_handle.IsSetRelaxed()) m_handle.SetUnwaited();
  }
  void Reset() noexcept { m_handle.Reset(); }
  // QV_S_OK once signalled, QV_E_TIMEOUT when the time ran out; throws on a
  // platform failure.
  QVRESULT Wait(uint32_t timeoutMs);
  // QV_S_OK when signalled now (consuming an auto-reset signal), else QV_E_FAIL.
  QVRESULT TryWait();

  const std::string& Name() const noexcept { return m_name; }
  uint32_t Flags() const noexcept { return m_flags; }
  bool IsManualReset() const noexcept { return m_handle.IsManualReset(); }
  uint32_t WaiterCount() const noexcept { return m_handle.WaiterCount(); }

  // Null for a null or all-ones handle.
  static CQVEvent* FromHandle(QVEVENT handle) noexcept { return base::ObjectFromHandle<CQVEvent>(handle); }
  QVEVENT Handle() noexcept { return reinterpret_cast<QVEVENT>(this); }

 private:
  os::Event m_handle;
  std::string m_name;
  uint32_t m_flags;
};

}  // namespace qv::sync
