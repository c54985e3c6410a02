#include "os/win32/file_name.h"

#include <windows.h>

#include <new>

#include "os/os_error.h"

namespace qv::os::win32 {

bool WidePath(std::u16string_view path, std::wstring& out) noexcept {
  if (path.empty()) {
    StoreLastError(kErrorPathNotFound);
    return false;
  }
  if (path.find(u'\0') != std::u16string_view::npos) {
    StoreLastError(kErrorInvalidName);
    return false;
  }
  try {
    out.assign(reinterpret_cast<const wchar_t*>(path.data()), path.size());
  } catch (const std::bad_alloc&) {
    StoreLastError(kErrorOutOfMemory);
    return false;
  }
  return true;
}

uint32_t KeepSystemError() noexcept {
  DWORD error = ::GetLastError();
  if (error == ERROR_SUCCESS) error = ERROR_GEN_FAILURE;
  StoreLastError(error);
  return error;
}

bool FailFromSystem() noexcept {
  KeepSystemError();
  return false;
}

}  // namespace qv::os::win32
