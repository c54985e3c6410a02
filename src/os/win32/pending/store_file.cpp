// Placeholder until the Windows store files exist: every call fails with 50.
#include "os/os_error.h"
#include "os/os_store_file.h"

namespace qv::os {

struct StoreLock::Impl {};

StoreLock* StoreLock::Open(std::string_view) noexcept {
  StoreLastError(kErrorNotSupported);
  return nullptr;
}
StoreLock::~StoreLock() = default;
void StoreLock::Take() noexcept {}
void StoreLock::Give() noexcept {}

bool OsFileStampOf(std::u16string_view, FileStamp*) noexcept {
  StoreLastError(kErrorNotSupported);
  return false;
}
bool OsFileReplaceWith(std::u16string_view, std::u16string_view) noexcept {
  StoreLastError(kErrorNotSupported);
  return false;
}

}  // namespace qv::os
