#include <windows.h>

#include <cstdlib>

#include "os/os_error.h"
#include "os/os_security.h"
#include "os/win32/wide_text.h"

namespace qv::os {

bool HasSecurityDescriptors() noexcept { return true; }

bool RestrictedDescriptorBuild(void* descriptor, uint32_t accessMask, void** accessList) noexcept {
  if (accessList == nullptr) {
    StoreLastError(kErrorInvalidParameter);
    return false;
  }
  *accessList = nullptr;
  if (descriptor == nullptr) {
    StoreLastError(kErrorInvalidParameter);
    return false;
  }
  auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
  if (!InitializeSecurityDescriptor(sd, SECURITY_DESCRIPTOR_REVISION)) return win32::StoreNativeError();
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  PSID users = nullptr;
  if (!AllocateAndInitializeSid(&ntAuthority, 1, SECURITY_AUTHENTICATED_USER_RID, 0, 0, 0, 0, 0, 0, 0, &users))
    return win32::StoreNativeError();
  // Header and one entry: the list header and the allow entry without its
  // identifier take 16 bytes together.
  DWORD size = GetLengthSid(users) + 16;
  auto* acl = static_cast<ACL*>(std::calloc(1, size));
  bool ok = acl != nullptr;
  DWORD error = ok ? ERROR_SUCCESS : ERROR_OUTOFMEMORY;
  if (ok && !(InitializeAcl(acl, size, ACL_REVISION) && AddAccessAllowedAce(acl, ACL_REVISION, accessMask, users) &&
              SetSecurityDescriptorDacl(sd, TRUE, acl, FALSE))) {
    ok = false;
    error = GetLastError();
  }
  FreeSid(users);
  if (!ok) {
    std::free(acl);
    StoreLastError(error);
    return false;
  }
  *accessList = acl;
  return true;
}

void RestrictedAccessListFree(void* accessList) noexcept { std::free(accessList); }

}  // namespace qv::os
