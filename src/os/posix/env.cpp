#include <cerrno>
#include <cstdlib>
#include <new>

#include "os/os_env.h"
#include "os/os_error.h"
#include "os/posix/codeset.h"
#include "os/posix/errno_map.h"

namespace qv::os {

namespace {
// The value, or null when it is not set.
const char* Lookup(const char16_t* name) {
  std::string narrow;
  if (name == nullptr || !posix::Utf16ToNarrowExact(name, narrow)) return nullptr;
  return std::getenv(narrow.c_str());
}
}  // namespace

bool EnvironmentValue(const char16_t* name, std::u16string& value) {
  const char* found = Lookup(name);
  if (found == nullptr) {
    StoreLastError(kErrorEnvVarNotFound);
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

bool AssignEnvironmentValue(const char16_t* name, const char16_t* value) noexcept {
  try {
    std::string narrowName, narrowValue;
    if (name == nullptr || name[0] == 0 || std::u16string_view(name).find(u'=') != std::u16string_view::npos) {
      StoreLastError(kErrorInvalidParameter);
      return false;
    }
    if (!posix::Utf16ToNarrowExact(name, narrowName)) return false;
    if (value != nullptr && !posix::Utf16ToNarrowExact(value, narrowValue)) return false;
    int rc = value != nullptr ? setenv(narrowName.c_str(), narrowValue.c_str(), 1) : unsetenv(narrowName.c_str());
    if (rc != 0) {
      StoreLastErrorFromErrno(errno);
      return false;
    }
    return true;
  } catch (const std::bad_alloc&) {
    StoreLastError(kErrorOutOfMemory);
    return false;
  }
}

}  // namespace qv::os
