#include "os/win32/file_name.h"

#include <windows.h>

#include <new>

#include "os/os_error.h"

namespace qv::os::win32 {

namespace {
// Paths from this length on take the long form (CreateDirectoryW's limit is
// MAX_PATH less room for an 8.3 name); the long form reaches 32767 units.
constexpr size_t kShortPathLimit = MAX_PATH - 12;
constexpr size_t kLongPathLimit = 32767;
}  // namespace

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
    // Short paths, and paths already in a device or long form, go as given.
    if (out.size() < kShortPathLimit || out.compare(0, 4, L"\\\\?\\") == 0 || out.compare(0, 4, L"\\\\.\\") == 0)
      return true;
    // Past the classic limit the system takes only the "\\?\" form, which it
    // does not normalise: the full path is made first.
    DWORD needed = ::GetFullPathNameW(out.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return StoreNativeError();
    std::wstring full(needed, L'\0');
    DWORD length = ::GetFullPathNameW(out.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return StoreNativeError();
    full.resize(length);
    if (full.compare(0, 2, L"\\\\") == 0) out = L"\\\\?\\UNC\\" + full.substr(2);
    else out = L"\\\\?\\" + full;
    if (out.size() > kLongPathLimit) {
      StoreLastError(kErrorFilenameTooLong);
      return false;
    }
  } catch (const std::bad_alloc&) {
    StoreLastError(kErrorOutOfMemory);
    return false;
  }
  return true;
}

uint32_t KeepSystemError() noexcept {
  StoreNativeError();
  return LastError();
}

uint32_t KeepCreationError(std::u16string_view path, uint32_t unnamable) noexcept {
  uint32_t error = KeepSystemError();
  if (error != kErrorFileNotFound) return error;
  for (size_t i = 0; i < path.size(); ++i) {
    char16_t unit = path[i];
    bool high = unit >= 0xD800 && unit <= 0xDBFF, low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (high && i + 1 < path.size() && path[i + 1] >= 0xDC00 && path[i + 1] <= 0xDFFF) {
      ++i;  // a pair
    } else if (high || low) {
      StoreLastError(unnamable);
      return unnamable;
    }
  }
  return error;
}

}  // namespace qv::os::win32
