// Case conversion and character classes. ASCII is handled here, identically
// in every locale; everything else goes to the C runtime in the current
// locale (narrow: per byte; wide: per 16-bit unit) or to ICU.
#include <unicode/ustring.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <memory>
#include <new>

#include "os/os_locale.h"
#include "qvcore5/qv_string.h"
#include "text/utf16.h"
#include "text/units.h"
#include "base/wide.h"

using qv::WChar;

namespace {

inline bool IsAsciiValue(int32_t c) noexcept { return c >= 0 && (c & 0xFF) <= 127; }

// The runtime's narrow classification is defined for EOF and -128..255 only;
// any other value is judged by its low byte.
inline int RuntimeNarrow(int32_t c) noexcept { return (c >= -128 && c <= 255) ? c : (c & 0xFF); }

// The runtime maps the unit's value; a unit that would map outside 16 bits
// (no simple mapping does) stays as it is.
template <bool kUpper>
inline WChar RuntimeWide(WChar u) noexcept {
  wint_t r = kUpper ? std::towupper(u) : std::towlower(u);
  if (!qv::text::FitsUnit(r)) return u;
  return static_cast<WChar>(r);
}

template <bool kUpper>
char* MapNarrow(char* string) noexcept {
  char* p = string;
  for (; *p != '\0'; ++p) {
    auto c = static_cast<unsigned char>(*p);
    if (c > 127) break;
    if (kUpper ? (c >= 'a' && c <= 'z') : (c >= 'A' && c <= 'Z')) *p = static_cast<char>(kUpper ? c - 32 : c + 32);
  }
  if (*p == '\0') return string;
  // _strlwr / _strupr on the rest. In single-byte code pages every byte is a
  // character; in UTF-8 no byte of a multibyte character is ASCII and the
  // runtime maps none of them, so byte by byte is safe there too.
  if (MB_CUR_MAX == 1 || qv::os::AnsiCodePage() == 65001) {
    for (; *p != '\0'; ++p) {
      int c = static_cast<unsigned char>(*p);
      *p = static_cast<char>(kUpper ? std::toupper(c) : std::tolower(c));
    }
    return string;
  }
  // Double-byte code pages: a trail byte may look like an ASCII letter, so
  // only single-byte characters are mapped.
  std::mbstate_t state{};
  size_t left = std::strlen(p);
  while (left > 0) {
    size_t n = std::mbrlen(p, left, &state);
    if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) {
      state = std::mbstate_t{};  // not a character: left as it is
      n = 1;
    } else if (n == 1) {
      int c = static_cast<unsigned char>(*p);
      *p = static_cast<char>(kUpper ? std::toupper(c) : std::tolower(c));
    }
    p += n;
    left -= n;
  }
  return string;
}

template <bool kUpper>
WChar* MapWide(WChar* string) noexcept {
  WChar* p = string;
  for (; *p != 0; ++p) {
    WChar c = *p;
    if (c > 0x7F) break;
    if (kUpper ? (c >= 'a' && c <= 'z') : (c >= 'A' && c <= 'Z')) *p = static_cast<WChar>(kUpper ? c - 32 : c + 32);
  }
  for (; *p != 0; ++p) *p = RuntimeWide<kUpper>(*p);  // _wcslwr / _wcsupr
  return string;
}

using IcuCaseMap = int32_t (*)(UChar*, int32_t, const UChar*, int32_t, const char*, UErrorCode*);

// Maps in place within the string's own length. A result that would be longer
// is cut at that length (not inside a surrogate pair); ICU itself would leave
// the string unchanged in that case.
WChar* MapUnicode(WChar* string, IcuCaseMap map) noexcept {
  int32_t length = u_strlen(string);
  if (length == 0) return string;
  UErrorCode status = U_ZERO_ERROR;
  int32_t needed = map(string, length, string, length, nullptr, &status);
  if (status != U_BUFFER_OVERFLOW_ERROR || needed <= length) return string;
  std::unique_ptr<UChar[]> longer(new (std::nothrow) UChar[needed]);
  if (!longer) return string;
  status = U_ZERO_ERROR;
  map(longer.get(), needed, string, length, nullptr, &status);
  if (U_FAILURE(status)) return string;
  int32_t keep = length;
  if (qv::text::IsLead(longer[keep - 1]) && qv::text::IsTrail(longer[keep])) --keep;
  u_memcpy(string, longer.get(), keep);
  string[keep] = 0;  // only differs from the original terminator when a pair was cut
  return string;
}

}  // namespace

extern "C" {

QV_API char* QVStrToLowerA(char* string) { return MapNarrow<false>(string); }
QV_API char* QVStrToUpperA(char* string) { return MapNarrow<true>(string); }
QV_API QVWCHAR* QVStrToLowerW(QVWCHAR* string) { return qv::Api(MapWide<false>(qv::Wide(string))); }
QV_API QVWCHAR* QVStrToUpperW(QVWCHAR* string) { return qv::Api(MapWide<true>(qv::Wide(string))); }
QV_API QVWCHAR* QVStrToLowerUTF16(QVWCHAR* string) { return qv::Api(MapUnicode(qv::Wide(string), u_strToLower)); }
QV_API QVWCHAR* QVStrToUpperUTF16(QVWCHAR* string) { return qv::Api(MapUnicode(qv::Wide(string), u_strToUpper)); }

QV_API char QVToLowerA(int32_t character) {
  if (IsAsciiValue(character))
    return static_cast<char>((character >= 'A' && character <= 'Z') ? character + 32 : character);
  return static_cast<char>(std::tolower(RuntimeNarrow(character)));
}

QV_API char QVToUpperA(int32_t character) {
  if (IsAsciiValue(character))
    return static_cast<char>((character >= 'a' && character <= 'z') ? character - 32 : character);
  return static_cast<char>(std::toupper(RuntimeNarrow(character)));
}

QV_API QVWCHAR QVToLowerW(QVWCHAR character) {
  if (character <= 0x7F) return (character >= 'A' && character <= 'Z') ? character + 32 : character;
  return RuntimeWide<false>(character);
}

QV_API QVWCHAR QVToUpperW(QVWCHAR character) {
  if (character <= 0x7F) return (character >= 'a' && character <= 'z') ? character - 32 : character;
  return RuntimeWide<true>(character);
}

QV_API int16_t QVIsAlphaA(int32_t character) { return std::isalpha(RuntimeNarrow(character)) != 0; }
QV_API int16_t QVIsAlphaW(QVWCHAR character) { return std::iswalpha(character) != 0; }
QV_API int16_t QVIsDigitA(int32_t character) { return std::isdigit(RuntimeNarrow(character)) != 0; }
QV_API int16_t QVIsDigitW(QVWCHAR character) { return std::iswdigit(character) != 0; }

QV_API int16_t QVIsSpaceA(int32_t character) {
  if (IsAsciiValue(character)) return character == ' ' || (character >= '\t' && character <= '\r');
  return std::isspace(RuntimeNarrow(character)) != 0;
}

QV_API int16_t QVIsSpaceW(QVWCHAR character) {
  if (character <= 0x7F) return character == ' ' || (character >= '\t' && character <= '\r');
  return std::iswspace(character) != 0;
}

}  // extern "C"
