#include <clocale>
#include <cstdlib>
#include <cstring>

#include "os/os_locale.h"
#include "os/posix/codeset.h"

namespace qv::os {

// The precedence the C library gives the message category.
std::u16string UserMessagesLocaleName() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] != '\0') return posix::NarrowToUtf16Shown(value);
  }
  return {};
}

}  // namespace qv::os
