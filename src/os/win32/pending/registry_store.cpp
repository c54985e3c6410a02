// Placeholder until the Windows registry store exists: every call fails with 50.
#include "os/os_error.h"
#include "os/os_registry_store.h"

namespace qv::os {

class RegistryStoreCursor {};

namespace {
bool Unsupported() noexcept {
  StoreLastError(kErrorNotSupported);
  return false;
}
}  // namespace

bool RegistryStoreFetch(RegistryStoreKind, const RegistryKeyPath&, const std::u16string&, RegistryEntry&) {
  return Unsupported();
}
bool RegistryStorePut(RegistryStoreKind, const RegistryKeyPath&, const RegistryName&, uint32_t, const void*,
                      uint32_t) {
  return Unsupported();
}
bool RegistryStoreErase(RegistryStoreKind, const RegistryKeyPath&, const std::u16string&) { return Unsupported(); }
bool RegistryStoreEraseTree(RegistryStoreKind, const RegistryKeyPath&) { return Unsupported(); }
bool RegistryStoreProbe(RegistryStoreKind, const RegistryKeyPath&) { return Unsupported(); }
RegistryStoreCursor* RegistryStoreCursorOpen(RegistryStoreKind, const RegistryKeyPath&, bool) {
  Unsupported();
  return nullptr;
}
bool RegistryStoreCursorStep(RegistryStoreCursor*, RegistryEntry&) { return Unsupported(); }
void RegistryStoreCursorClose(RegistryStoreCursor* cursor) noexcept { delete cursor; }

}  // namespace qv::os
