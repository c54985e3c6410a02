// Placeholder until the Windows append file exists: every call fails with 50.
#include "os/os_append_file.h"
#include "os/os_error.h"

namespace qv::os {

bool AppendFile::Open(std::u16string_view) noexcept {
  StoreLastError(kErrorNotSupported);
  return false;
}
bool AppendFile::Append(const void*, size_t) noexcept {
  StoreLastError(kErrorNotSupported);
  return false;
}
bool AppendFile::Close() noexcept { return true; }

}  // namespace qv::os
