#include <clocale>
#include <cstdlib>
#include <cstring>

#include "os/os_locale.h"
#include "os/posix/codeset.h"

namespace qv::os {

// When the environment names no usable locale (unset, "C"/"POSIX", or not
// installed), character handling falls back to C.UTF-8 so that narrow text
// is UTF-8, as on any current Linux desktop, rather than 7-bit ASCII.
void AdoptUserLocale() noexcept {
  const char* applied = std::setlocale(LC_ALL, "");
  if (applied == nullptr || std::strcmp(applied, "C") == 0 || std::strcmp(applied, "POSIX") == 0) {
    const char* ctype = std::setlocale(LC_CTYPE, nullptr);
    if (ctype == nullptr || std::strcmp(ctype, "C") == 0 || std::strcmp(ctype, "POSIX") == 0)
      std::setlocale(LC_CTYPE, "C.UTF-8");
  }
}

// The precedence the C library gives the message category.
std::u16string UserMessagesLocaleName() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] != '\0') return posix::NarrowToUtf16Shown(value);
  }
  return {};
}

}  // namespace qv::os
