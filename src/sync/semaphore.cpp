#include "sync/semaphore.h"

#include "base/exception.h"
#include "os/os_error.h"

namespace qv::sync {

namespace {
constexpr char kSemaphorePrefix[] = "SEM:";
}

CQVSemaphore::CQVSemaphore(int32_t initialCount, const char* name, uint32_t flags)
    : m_name(name != nullptr ? name : ""), m_flags(flags) {
  // The platform refuses such a count with its invalid-parameter error.
  if (initialCount < 0 || initialCount > QV_SEM_MAX_COUNT) {
    os::StoreLastError(os::kErrorInvalidParameter);
    base::ThrowLastError();
  }
  if (flags & QV_SEM_NAMED) {
    // An empty name is allowed: the object is then "SEM:" itself.
    // Restricted descriptors are a Windows matter: POSIX objects get mode
    // 0666 less the umask.
    m_handle = os::Semaphore::OpenNamed(kSemaphorePrefix + m_name, initialCount, QV_SEM_MAX_COUNT, nullptr);
  } else {
    m_handle = os::Semaphore::Create(initialCount, QV_SEM_MAX_COUNT);
  }
  if (m_handle == nullptr) base::ThrowLastError();
}

CQVSemaphore::~CQVSemaphore() { delete m_handle; }

}  // namespace qv::sync
