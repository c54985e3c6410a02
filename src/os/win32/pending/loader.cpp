// Placeholder until the Windows loader exists: loading fails with 50.
#include "os/os_error.h"
#include "os/os_loader.h"

namespace qv::os {

void* LibraryLoad(std::u16string_view) noexcept {
  StoreLastError(kErrorNotSupported);
  return nullptr;
}
void* LibrarySymbol(void*, std::u16string_view) noexcept {
  StoreLastError(kErrorNotSupported);
  return nullptr;
}
bool LibraryUnload(void*) noexcept {
  StoreLastError(kErrorNotSupported);
  return false;
}
bool RandomFill(void*, size_t) noexcept {
  StoreLastError(kErrorNotSupported);
  return false;
}

}  // namespace qv::os
