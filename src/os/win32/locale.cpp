#include <windows.h>

#include <clocale>
#include <cstdlib>

#include "os/os_locale.h"
#include "os/win32/wide_text.h"

namespace qv::os {

// The Windows ANSI code page, the one narrow text of the API is in.
uint32_t AnsiCodePage() noexcept { return GetACP(); }

// The POSIX variables win when set (Wine and MSYS programs pass them on);
// otherwise the user's locale name of Windows ("de-DE").
std::u16string UserMessagesLocaleName() {
  for (const wchar_t* variable : {L"LC_ALL", L"LC_MESSAGES", L"LANG"}) {
    wchar_t buffer[256];
    DWORD n = GetEnvironmentVariableW(variable, buffer, 256);
    if (n > 0 && n < 256) return std::u16string(reinterpret_cast<const char16_t*>(buffer), n);
  }
  wchar_t name[LOCALE_NAME_MAX_LENGTH];
  int n = GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
  if (n <= 1) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(name), static_cast<size_t>(n - 1));
}

// The runtime takes the user's settings as a whole; Windows has no
// per-category settings to fall back to.
void ApplyUserLocale() noexcept { std::setlocale(LC_ALL, ""); }

}  // namespace qv::os
