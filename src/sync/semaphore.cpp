#include "sync/semaphore.h"

#include "base/exception.h"
#include "os/os_error.h"
#include "sync/named_object.h"

namespace qv::sync {

namespace {
constexpr char kSemaphorePrefix[] = "SEM:";
}

CQVSemaphore::CQVSemaphore(int32_t initialCount, const char* name, uint32_t flags)
    : m_name(name != nullptr ? name : ""), m_flags(flags) {
  if (initialCount < 0 || initialCount > QV_SEM_MAX_COUNT) base::ThrowResult(QV_E_INVALIDARG);
  if (flags & QV_SEM_NAMED) {
    // An unnamed machine-wide object could only be reached by accident.
    if (m_name.empty()) base::ThrowResult(QV_E_INVALIDARG);
    // Restricted descriptors are a Windows matter: POSIX objects get mode
    // 0666 less the umask.
    m_handle = os::Semaphore::OpenNamed(kSemaphorePrefix + m_name, initialCount, QV_SEM_MAX_COUNT, nullptr);
    if (m_handle == nullptr) base::ThrowResult(NamedObjectFailure());
  } else {
    m_handle = os::Semaphore::Create(initialCount, QV_SEM_MAX_COUNT);
    if (m_handle == nullptr) base::ThrowLastError();
  }
}

CQVSemaphore::~CQVSemaphore() { delete m_handle; }

}  // namespace qv::sync
