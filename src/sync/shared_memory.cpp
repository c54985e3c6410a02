// The exported shared-memory functions and the restricted security
// descriptor helpers. A section handle is a platform handle value (closed
// like any other handle); a view is the address the section is mapped at.
#include <string>

#include "base/boundary.h"
#include "base/exception.h"
#include "os/os_error.h"
#include "os/os_handle.h"
#include "os/os_security.h"
#include "os/os_shm.h"
#include "qvcore5/qv_semaphore.h"

namespace base = qv::base;

namespace {

constexpr char kSharedMemoryPrefix[] = "SHM:";
constexpr uint32_t kAccessMask = QV_SHM_READ | QV_SHM_WRITE;

}  // namespace

extern "C" {

QV_API QVRESULT QVSharedMemOpen(const char* name, uint32_t flags, uint32_t reserved, uint32_t size,
                                QVHANDLE* section) {
  (void)reserved;
  return base::BoundedOut(section, QV_INVALID_HANDLE, [&]() -> QVRESULT {
    // Null is the empty name: the section "SHM:" itself.
    std::string platformName = std::string(kSharedMemoryPrefix) + (name != nullptr ? name : "");
    bool existed = false;
    void* handle;
    if (flags & (QV_SHM_CREATE | QV_SHM_EXCLUSIVE)) {
      handle = qv::os::SectionCreate(platformName, size, &existed);
    } else {
      // Read access for none or read only; write access as soon as write is asked.
      bool write = (flags & QV_SHM_WRITE) != 0;
      handle = qv::os::SectionOpen(platformName, write);
      existed = true;
    }
    if (handle == nullptr) return base::LastErrorResult();
    if ((flags & QV_SHM_CREATE) && (flags & QV_SHM_EXCLUSIVE) && existed) {
      qv::os::HandleClose(handle);
      return QV_E_FAIL;
    }
    *section = handle;
    return existed ? QV_S_OK : QV_SHM_S_CREATED;
  });
}

QV_API QVRESULT QVSharedMemAttach(QVHANDLE section, uint32_t access, void** view) {
  if (view == nullptr) return QV_E_INVALIDARG;
  qv::os::ViewAccess kind = qv::os::ViewAccess::kNone;
  switch (access & kAccessMask) {
    case QV_SHM_WRITE:
    case QV_SHM_READ | QV_SHM_WRITE: kind = qv::os::ViewAccess::kWrite; break;
    case QV_SHM_READ: kind = qv::os::ViewAccess::kRead; break;
    default: break;
  }
  if ((access & ~kAccessMask) != 0) kind = qv::os::ViewAccess::kNone;
  void* mapped = qv::os::SectionMapView(section, kind);
  if (mapped == nullptr) return base::LastErrorResult();
  *view = mapped;
  return QV_S_OK;
}

QV_API QVRESULT QVSharedMemDetach(void* view) {
  return qv::os::SectionUnmapView(view) ? QV_S_OK : base::LastErrorResult();
}

QV_API QVRESULT QVSharedMemClose(QVHANDLE section) {
  return qv::os::HandleClose(section) ? QV_S_OK : base::LastErrorResult();
}

QV_API QVRESULT QVWinBuildRestrictedSD(void* descriptor, uint32_t accessMask, void** accessList) {
  if (!qv::os::HasSecurityDescriptors()) {
    if (accessList != nullptr) *accessList = nullptr;
    return QV_E_NOTIMPL;
  }
  if (accessList == nullptr) return QV_E_INVALIDARG;
  *accessList = nullptr;
  if (descriptor == nullptr) return QV_E_INVALIDARG;
  return qv::os::RestrictedDescriptorBuild(descriptor, accessMask, accessList) ? QV_S_OK : base::LastErrorResult();
}

QV_API void QVWinFreeRestrictedSD(void* accessList) { qv::os::RestrictedAccessListFree(accessList); }

}  // extern "C"
