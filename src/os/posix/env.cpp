#include <cstdlib>

#include "os/os_env.h"
#include "os/os_error.h"

namespace qv::os {

bool GetEnvironmentVariable(const char* name, std::string& value) {
  const char* found = name != nullptr ? std::getenv(name) : nullptr;
  if (found == nullptr) {
    SetLastError(kErrorEnvVarNotFound);
    return false;
  }
  value.assign(found);
  return true;
}

bool HasEnvironmentVariable(const char* name) noexcept { return name != nullptr && std::getenv(name) != nullptr; }

}  // namespace qv::os
