// The semaphore object behind a QVSEMAPHORE handle: a platform semaphore with
// the maximum count 32767, in-process or (flag QV_SEM_NAMED) machine-wide
// under the platform name "SEM:" + name.
#pragma once
#include <cstdint>
#include <string>

#include "base/exception.h"
#include "base/handle.h"
#include "os/os_semaphore.h"
#include "qvcore5/qv_semaphore.h"

namespace qv::sync {

class CQVSemaphore {
 public:
  // Throws base::EQVCoreException: 0x80070057 for a count outside 0..32767 or a
  // named semaphore without a usable name, else the platform's failure.
  CQVSemaphore(int32_t initialCount, const char* name, uint32_t flags);
  ~CQVSemaphore();
  CQVSemaphore(const CQVSemaphore&) = delete;
  CQVSemaphore& operator=(const CQVSemaphore&) = delete;

  void Post() {
    if (!m_handle->Post()) base::ThrowLastError();
  }
  void Wait() noexcept { m_handle->Wait(); }
  bool TryWait() noexcept { return m_handle->TryWait(); }

  const std::string& Name() const noexcept { return m_name; }
  uint32_t Flags() const noexcept { return m_flags; }

  // Null for a null or all-ones handle.
  static CQVSemaphore* FromHandle(QVSEMAPHORE handle) noexcept { return base::ObjectFromHandle<CQVSemaphore>(handle); }
  QVSEMAPHORE Handle() noexcept { return reinterpret_cast<QVSEMAPHORE>(this); }

 private:
  os::Semaphore* m_handle = nullptr;
  std::string m_name;
  uint32_t m_flags;
};

}  // namespace qv::sync
