#include "text/locale_default.h"

#include <string>

#include "base/boundary.h"
#include "os/os_locale.h"
#include "qvcore5/qv_locale.h"
#include "text/locale_map.h"
#include "text/wide_narrow.h"
#include "base/wide.h"

namespace qv::text {

uint32_t LocaleIdFromPosixName(std::string_view posixName) noexcept {
  std::string_view name = posixName.substr(0, posixName.find_first_of(".@"));
  if (name == "C" || name == "POSIX") return kDefaultLocaleId;
  if (std::optional<uint32_t> id = LocaleIdFromName(name)) return *id;
  std::string_view language = name.substr(0, name.find('_'));
  if (!language.empty() && language.size() < name.size())
    if (std::optional<uint32_t> id = LocaleIdFromName(language)) return *id;
  return kDefaultLocaleId;
}

uint32_t UserDefaultLocaleId() {
  // Read at every call, not once at start, so a changed environment is seen.
  std::u16string name = os::UserMessagesLocaleName();
  return name.empty() ? kDefaultLocaleId : LocaleIdFromPosixName(WideToNarrow(name));
}

}  // namespace qv::text

using namespace qv;

extern "C" QV_API QVRESULT QVGetDefaultLocale(QVWCHAR* buffer, uint32_t capacity) {
  return base::Bounded([&]() -> QVRESULT {
    if (buffer == nullptr) return QV_E_INVALIDARG;
    std::u16string name = text::NarrowToWide(text::LocaleNameFromId(text::UserDefaultLocaleId()));
    if (name.size() >= capacity) return QV_E_BUFFERTOOSMALL;
    // As a counted copy over the whole capacity: the rest is zero-filled.
    for (uint32_t i = 0; i < capacity; ++i) buffer[i] = i < name.size() ? static_cast<WChar>(name[i]) : 0;
    return QV_S_OK;
  });
}

extern "C" QV_API QVRESULT QVGetDefaultCharEncoding(QVWCHAR* buffer, int32_t capacity) {
  if (buffer == nullptr) return QV_E_INVALIDARG;
  if (capacity < 8) return QV_E_BUFFERTOOSMALL;
  uint32_t codePage = os::AnsiCodePage();
  if (codePage == 65001) {
    for (const char16_t* p = u"UTF-8";; ++p) {
      *buffer++ = static_cast<WChar>(*p);
      if (*p == 0) break;
    }
    return QV_S_OK;
  }
  // "CP" and the low 16 bits in decimal: at most "CP65535" and its terminator.
  char16_t digits[5];
  int count = 0;
  uint32_t n = codePage & 0xFFFF;
  do {
    digits[count++] = static_cast<char16_t>(u'0' + n % 10);
    n /= 10;
  } while (n != 0);
  *buffer++ = u'C';
  *buffer++ = u'P';
  while (count > 0) *buffer++ = static_cast<WChar>(digits[--count]);
  *buffer = 0;
  return QV_S_OK;
}
