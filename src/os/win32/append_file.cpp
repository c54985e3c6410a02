// Opened with append rights only (FILE_APPEND_DATA without FILE_WRITE_DATA),
// so the system puts every write at the end of the file in one step, whoever
// else writes to it.
#include <windows.h>

#include <new>
#include <string>

#include "os/os_append_file.h"
#include "os/os_error.h"
#include "os/win32/file_name.h"

namespace qv::os {

bool AppendFile::Open(std::u16string_view name) noexcept {
  Close();
  std::wstring wide;
  if (name.empty()) {
    StoreLastError(kErrorInvalidName);
    return false;
  }
  if (!win32::WidePath(name, wide)) return false;
  SECURITY_ATTRIBUTES notInherited = {sizeof notInherited, nullptr, FALSE};
  HANDLE file = ::CreateFileW(wide.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &notInherited, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    win32::KeepCreationError(name, kErrorNoUnicodeTranslation);
    return false;
  }
  m_file = reinterpret_cast<intptr_t>(file);
  return true;
}

bool AppendFile::Append(const void* bytes, size_t length) noexcept {
  if (m_file == -1) {
    StoreLastError(kErrorInvalidHandle);
    return false;
  }
  HANDLE file = reinterpret_cast<HANDLE>(m_file);
  const char* p = static_cast<const char*>(bytes);
  while (length > 0) {
    DWORD chunk = length > 0x40000000 ? 0x40000000 : static_cast<DWORD>(length);
    DWORD put = 0;
    if (!::WriteFile(file, p, chunk, &put, nullptr)) return win32::StoreNativeError();
    if (put == 0) {
      StoreLastError(kErrorDiskFull);
      return false;
    }
    p += put;
    length -= put;
  }
  return true;
}

bool AppendFile::Close() noexcept {
  if (m_file == -1) return true;
  HANDLE file = reinterpret_cast<HANDLE>(m_file);
  m_file = -1;
  return ::CloseHandle(file) || win32::StoreNativeError();
}

}  // namespace qv::os
