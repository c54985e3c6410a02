#include "os/os_error.h"
#include "os/os_security.h"

namespace qv::os {

// Objects here are guarded by file modes, not by descriptors.
bool HasSecurityDescriptors() noexcept { return false; }

bool RestrictedDescriptorBuild(void*, uint32_t, void** accessList) noexcept {
  if (accessList != nullptr) *accessList = nullptr;
  StoreLastError(kErrorNotSupported);
  return false;
}

void RestrictedAccessListFree(void*) noexcept {}

}  // namespace qv::os
