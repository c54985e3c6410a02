#include <windows.h>

#include <new>
#include <string>

#include "os/os_error.h"
#include "os/os_path.h"
#include "os/win32/wide_text.h"

namespace qv::os {

bool CurrentDirectory(std::u16string& path) {
  std::u16string buffer(MAX_PATH, u'\0');
  for (;;) {
    DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), win32::AsWide(buffer.data()));
    if (n == 0) return win32::StoreNativeError();
    if (n < buffer.size()) {
      buffer.resize(n);
      path = std::move(buffer);
      return true;
    }
    buffer.resize(n);  // n counts the terminating zero here
  }
}

bool ChangeCurrentDirectory(std::u16string_view path) noexcept {
  try {
    if (path.empty() || path.find(u'\0') != std::u16string_view::npos) {
      StoreLastError(kErrorInvalidName);
      return false;
    }
    return SetCurrentDirectoryW(win32::WideCopy(path).c_str()) || win32::StoreNativeError();
  } catch (const std::bad_alloc&) {
    StoreLastError(kErrorOutOfMemory);
    return false;
  }
}

char16_t PreferredPathSeparator() noexcept { return u'\\'; }

bool IsPathSeparator(char16_t unit) noexcept { return unit == u'\\' || unit == u'/'; }

namespace {

bool IsDriveLetter(char16_t c) noexcept { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// The end of the component that starts at `from`, separator included when
// there is one.
size_t PastComponent(std::u16string_view path, size_t from) noexcept {
  size_t i = from;
  while (i < path.size() && !IsPathSeparator(path[i])) ++i;
  return i < path.size() ? i + 1 : i;
}

}  // namespace

// "C:\" (3), "C:" (2, relative to that drive's current directory), "\" (1,
// the current drive's root), "\\server\share\" and the device forms
// "\\?\C:\", "\\?\UNC\server\share\", "\\.\device\".
size_t PathRootLength(std::u16string_view path) noexcept {
  const size_t n = path.size();
  if (n >= 2 && IsDriveLetter(path[0]) && path[1] == u':') return n >= 3 && IsPathSeparator(path[2]) ? 3 : 2;
  if (n == 0 || !IsPathSeparator(path[0])) return 0;
  if (n < 2 || !IsPathSeparator(path[1])) return 1;
  // Two leading separators.
  if (n >= 4 && (path[2] == u'?' || path[2] == u'.') && IsPathSeparator(path[3])) {
    std::u16string_view rest = path.substr(4);
    if (rest.size() >= 2 && IsDriveLetter(rest[0]) && rest[1] == u':')
      return 4 + (rest.size() >= 3 && IsPathSeparator(rest[2]) ? 3 : 2);
    if (rest.size() >= 4 && (rest[0] == u'U' || rest[0] == u'u') && (rest[1] == u'N' || rest[1] == u'n') &&
        (rest[2] == u'C' || rest[2] == u'c') && IsPathSeparator(rest[3]))
      return PastComponent(path, PastComponent(path, 8));
    return PastComponent(path, 4);
  }
  // \\server\share\ .
  return PastComponent(path, PastComponent(path, 2));
}

}  // namespace qv::os
