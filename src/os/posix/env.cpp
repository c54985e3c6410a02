#include <cstdlib>
#include <new>

#include "os/os_env.h"
#include "os/os_error.h"
#include "os/posix/codeset.h"

namespace qv::os {

namespace {
// The value, or null when it is not set.
const char* Lookup(const char16_t* name) {
  std::string narrow;
  if (name == nullptr || !posix::Utf16ToNarrowExact(name, narrow)) return nullptr;
  return std::getenv(narrow.c_str());
}
}  // namespace

bool GetEnvironmentVariable(const char16_t* name, std::u16string& value) {
  const char* found = Lookup(name);
  if (found == nullptr) {
    SetLastError(kErrorEnvVarNotFound);
    return false;
  }
  return posix::NarrowToUtf16Exact(found, value);
}

bool HasEnvironmentVariable(const char16_t* name) noexcept {
  try {
    return Lookup(name) != nullptr;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace qv::os
