// Placeholder until the Windows directory search exists: every call fails with 50.
#include "os/os_error.h"
#include "os/os_file.h"

namespace qv::os {

void* OsDirSearchOpen(std::u16string_view) noexcept {
  StoreLastError(kErrorNotSupported);
  return nullptr;
}
bool OsDirSearchNext(void*, DirEntryInfo*) noexcept {
  StoreLastError(kErrorNotSupported);
  return false;
}
bool OsDirSearchClose(void*) noexcept {
  StoreLastError(kErrorNotSupported);
  return false;
}

}  // namespace qv::os
