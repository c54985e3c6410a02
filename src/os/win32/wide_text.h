// Text at the Windows API: char16_t and wchar_t are both UTF-16 units there,
// so strings cross by a cast; narrow text is in the ANSI code page.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

#include "os/os_error.h"

namespace qv::os::win32 {

// Stores the thread's Windows last error as the library's last error (error
// 31 when a failed call left none) and returns false; called right after the
// failing Windows call.
bool StoreNativeError() noexcept;

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

inline const wchar_t* AsWide(const char16_t* text) noexcept { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* AsWide(char16_t* text) noexcept { return reinterpret_cast<wchar_t*>(text); }

// A zero-terminated copy of the view, for calls that take C strings.
inline std::wstring WideCopy(std::u16string_view text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

// Narrow text in the ANSI code page to wide, without time-outs or limits;
// false with last error 1113 when a byte sequence has no wide form.
inline bool AnsiToWide(std::string_view narrow, std::wstring& wide) {
  wide.clear();
  if (narrow.empty()) return true;
  int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow.data(), static_cast<int>(narrow.size()), nullptr, 0);
  if (n <= 0) {
    StoreLastError(kErrorNoUnicodeTranslation);
    return false;
  }
  wide.resize(static_cast<size_t>(n));
  MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow.data(), static_cast<int>(narrow.size()), wide.data(), n);
  return true;
}

}  // namespace qv::os::win32
