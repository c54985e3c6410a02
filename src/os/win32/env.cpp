// The process environment of Windows. The C runtime keeps a copy of its own
// (read by getenv and by its time-zone code), so changes go to both.
#include <windows.h>

#include <stdlib.h>

#include <new>
#include <string>

#include "os/os_env.h"
#include "os/os_error.h"
#include "os/win32/wide_text.h"

namespace qv::os {

using win32::AsWide;

bool EnvironmentValue(const char16_t* name, std::u16string& value) {
  if (name == nullptr || name[0] == 0) {
    StoreLastError(kErrorEnvVarNotFound);
    return false;
  }
  std::u16string buffer(64, u'\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    DWORD n = GetEnvironmentVariableW(AsWide(name), AsWide(buffer.data()), static_cast<DWORD>(buffer.size()));
    if (n == 0) {
      // 0 is also the length of an empty value, which counts as set.
      if (GetLastError() != ERROR_SUCCESS) {
        StoreLastError(kErrorEnvVarNotFound);
        return false;
      }
      value.clear();
      return true;
    }
    if (n < buffer.size()) {
      buffer.resize(n);
      value = std::move(buffer);
      return true;
    }
    buffer.resize(n);  // n counts the terminating zero here
  }
}

bool HasEnvironmentVariable(const char16_t* name) noexcept {
  if (name == nullptr || name[0] == 0) return false;
  wchar_t probe[1];
  SetLastError(ERROR_SUCCESS);
  DWORD n = GetEnvironmentVariableW(AsWide(name), probe, 1);
  return n != 0 || GetLastError() == ERROR_SUCCESS;
}

bool AssignEnvironmentValue(const char16_t* name, const char16_t* value) noexcept {
  if (name == nullptr || name[0] == 0 || std::u16string_view(name).find(u'=') != std::u16string_view::npos) {
    StoreLastError(kErrorInvalidParameter);
    return false;
  }
  if (!SetEnvironmentVariableW(AsWide(name), value != nullptr ? AsWide(value) : nullptr))
    return win32::StoreNativeError();
  // The runtime's copy cannot hold an empty value (it would remove the
  // variable); Windows keeps it, and the runtime's readers see it unset.
  _wputenv_s(AsWide(name), value != nullptr ? AsWide(value) : L"");
  return true;
}

}  // namespace qv::os
