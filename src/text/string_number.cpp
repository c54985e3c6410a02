// Number conversions with the Windows meanings ("long" is 32 bits). The
// integer parsing is the library's own, so the 32-bit forms saturate at 32
// bits and the wide forms work on 16-bit units; the narrow 64-bit and
// floating-point forms are the C runtime's.
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <iterator>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>

#include "qvcore5/qv_string.h"
#include "base/wide.h"

using qv::WChar;

namespace {

inline int DigitValue(uint32_t u) noexcept {
  if (u >= '0' && u <= '9') return static_cast<int>(u - '0');
  if (u >= 'a' && u <= 'z') return static_cast<int>(u - 'a' + 10);
  if (u >= 'A' && u <= 'Z') return static_cast<int>(u - 'A' + 10);
  return 99;
}

inline bool NarrowSpace(char c) noexcept { return std::isspace(static_cast<unsigned char>(c)) != 0; }
inline bool WideSpace(WChar u) noexcept { return std::iswspace(u) != 0; }

// strtol and its relatives for the integer type T, with their rules: leading
// white space, a sign, the 0x / 0 prefixes for bases 16 and 0, saturation and
// ERANGE on overflow, end at the string when no digit was read, EINVAL and 0
// for a base outside 0 and 2..36. An unsigned T negates in its own width.
template <class T, class Unit, class Space>
T ParseInteger(const Unit* string, Unit** end, int base, Space isSpace) noexcept {
  auto finish = [&](const Unit* at, T value) {
    if (end != nullptr) *end = const_cast<Unit*>(at);
    return value;
  };
  if (string == nullptr) return finish(nullptr, 0);
  if (base < 0 || base == 1 || base > 36) {
    errno = EINVAL;
    return finish(string, 0);
  }
  const Unit* p = string;
  while (*p != 0 && isSpace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if ((base == 0 || base == 16) && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && DigitValue(p[2]) < 16) {
    p += 2;
    base = 16;
  } else if (base == 0) {
    base = p[0] == '0' ? 8 : 10;
  }
  using U = std::make_unsigned_t<T>;
  // The largest magnitude the result can take in the given direction.
  constexpr U kMax = std::numeric_limits<T>::max();
  U limit = kMax;
  if constexpr (std::is_signed_v<T>) limit = negative ? kMax + 1 : kMax;
  U magnitude = 0;
  bool overflow = false;
  const Unit* digits = p;
  for (int d; (d = DigitValue(*p)) < base; ++p) {
    if (magnitude > (limit - d) / static_cast<U>(base)) overflow = true;
    if (!overflow) magnitude = magnitude * base + d;
  }
  if (p == digits) return finish(string, 0);
  if (overflow) {
    errno = ERANGE;
    if constexpr (std::is_signed_v<T>) return finish(p, negative ? std::numeric_limits<T>::min() : kMax);
    return finish(p, kMax);
  }
  return finish(p, static_cast<T>(negative ? U{0} - magnitude : magnitude));
}

// _ltoa and its relatives: radix 2..36, lower-case digits, a minus sign only
// in radix 10; other radixes show the bits of the value as unsigned. A radix
// outside that range writes the empty string.
template <class Unit>
Unit* ToText(int64_t value, uint64_t bits, Unit* buffer, int radix) noexcept {
  if (buffer == nullptr) return nullptr;
  if (radix < 2 || radix > 36) {
    errno = EINVAL;
    buffer[0] = 0;
    return buffer;
  }
  bool sign = radix == 10 && value < 0;
  uint64_t magnitude = sign ? uint64_t{0} - static_cast<uint64_t>(value) : bits;
  Unit reversed[64];
  size_t n = 0;
  do {
    unsigned d = static_cast<unsigned>(magnitude % static_cast<unsigned>(radix));
    reversed[n++] = static_cast<Unit>(d < 10 ? '0' + d : 'a' + d - 10);
    magnitude /= static_cast<unsigned>(radix);
  } while (magnitude != 0);
  Unit* out = buffer;
  if (sign) *out++ = '-';
  while (n > 0) *out++ = reversed[--n];
  *out = 0;
  return buffer;
}

// Units that can be part of a number wcstod reads after the white space: the
// ASCII characters of decimal, hexadecimal, infinity and NaN forms, and one
// further unit for the locale's decimal point when it is not '.' (a comma
// in de_DE, or a unit beyond ASCII); wcstod itself decides whether it is.
size_t NumberCandidateLength(const WChar* s) noexcept {
  size_t n = 0;
  bool otherSeen = false;
  for (;; ++n) {
    WChar u = s[n];
    if (u == 0) break;
    if (u < 0x80 && (DigitValue(u) < 36 || u == '.' || u == '+' || u == '-' || u == '(' || u == ')' || u == '_'))
      continue;
    if (otherSeen || std::iswspace(u) || u < 0x20) break;
    otherSeen = true;
  }
  return n;
}

}  // namespace

extern "C" {

QV_API char* QVLToStrA(int32_t value, char* buffer, int32_t radix) {
  return ToText(value, static_cast<uint32_t>(value), buffer, radix);
}
QV_API QVWCHAR* QVLToStrW(int32_t value, QVWCHAR* buffer, int32_t radix) {
  return ToText(value, static_cast<uint32_t>(value), buffer, radix);
}
QV_API char* QVInt64ToStrA(int64_t value, char* buffer, int32_t radix) {
  return ToText(value, static_cast<uint64_t>(value), buffer, radix);
}
QV_API QVWCHAR* QVInt64ToStrW(int64_t value, QVWCHAR* buffer, int32_t radix) {
  return ToText(value, static_cast<uint64_t>(value), buffer, radix);
}

QV_API int32_t QVStrToIA(const char* string) { return string != nullptr ? std::atoi(string) : 0; }

// As the C runtime's atoi on a 64-bit long: the low 32 bits of the saturated
// 64-bit value.
QV_API int32_t QVStrToIW(const QVWCHAR* string) {
  return static_cast<int32_t>(ParseInteger<int64_t, WChar>(qv::Wide(string), nullptr, 10, WideSpace));
}

QV_API int64_t QVStrToI64W(const QVWCHAR* string) {
  return ParseInteger<int64_t, WChar>(qv::Wide(string), nullptr, 10, WideSpace);
}

QV_API int32_t QVStrToLA(const char* string, char** end, int32_t base) {
  return ParseInteger<int32_t>(string, end, base, NarrowSpace);
}
QV_API int32_t QVStrToLW(const QVWCHAR* string, QVWCHAR** end, int32_t base) {
  return ParseInteger<int32_t>(string, end, base, WideSpace);
}
QV_API uint32_t QVStrToULA(const char* string, char** end, int32_t base) {
  return ParseInteger<uint32_t>(string, end, base, NarrowSpace);
}
QV_API uint32_t QVStrToULW(const QVWCHAR* string, QVWCHAR** end, int32_t base) {
  return ParseInteger<uint32_t>(string, end, base, WideSpace);
}
QV_API int64_t QVStrToLLW(const QVWCHAR* string, QVWCHAR** end, int32_t base) {
  return ParseInteger<int64_t>(string, end, base, WideSpace);
}

QV_API int64_t QVStrToLLA(const char* string, char** end, int32_t base) {
  if (string == nullptr) return ParseInteger<int64_t>(string, end, base, NarrowSpace);
  return std::strtoll(string, end, base);
}

QV_API uint64_t QVStrToULLA(const char* string, char** end, int32_t base) {
  if (string == nullptr) return ParseInteger<uint64_t>(string, end, base, NarrowSpace);
  return std::strtoull(string, end, base);
}

QV_API double QVStrToDA(const char* string, char** end) {
  if (string == nullptr) {
    if (end != nullptr) *end = nullptr;
    return 0;
  }
  return std::strtod(string, end);
}

// wcstod on 16-bit units: the part that can hold the number is widened unit
// by unit into the runtime's wchar_t and read there.
QV_API double QVStrToDW(const QVWCHAR* string, QVWCHAR** end) {
  auto finish = [&](const QVWCHAR* at, double value) {
    if (end != nullptr) *end = const_cast<QVWCHAR*>(at);
    return value;
  };
  if (string == nullptr) return finish(nullptr, 0);
  const WChar* p = qv::Wide(string);
  while (*p != 0 && WideSpace(*p)) ++p;
  size_t n = NumberCandidateLength(p);
  wchar_t small[96];
  std::unique_ptr<wchar_t[]> large;
  wchar_t* wide = small;
  if (n >= std::size(small)) {
    large.reset(new (std::nothrow) wchar_t[n + 1]);
    if (!large) {
      errno = ENOMEM;
      return finish(string, 0);
    }
    wide = large.get();
  }
  for (size_t i = 0; i < n; ++i) wide[i] = static_cast<wchar_t>(p[i]);
  wide[n] = L'\0';
  wchar_t* stop = nullptr;
  double value = std::wcstod(wide, &stop);
  size_t used = static_cast<size_t>(stop - wide);
  return finish(used == 0 ? string : qv::Api(p + used), value);
}

}  // extern "C"
