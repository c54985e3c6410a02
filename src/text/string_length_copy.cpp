// Length, copy, concatenation and duplication in the string families.
#include <unicode/ustring.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <new>

#include "qvcore5/qv_string.h"
#include "text/units.h"
#include "base/wide.h"

// One function under two names. GCC wants the alias to repeat the target's
// nothrow (the exports are extern "C" in a C++ file); clang refuses it there.
#if defined(__clang__)
#define QV_ALIAS_OF(target) __attribute__((alias(target)))
#else
#define QV_ALIAS_OF(target) __attribute__((alias(target), nothrow))
#endif

using qv::WChar;

namespace {

using qv::text::UnitLength;
using qv::text::UnitLengthMax;

// wcsncpy on 16-bit units: copy up to count units, zero-fill the rest.
void CopyPadded(WChar* d, const WChar* s, size_t count) noexcept {
  size_t i = 0;
  for (; i < count && s[i] != 0; ++i) d[i] = s[i];
  for (; i < count; ++i) d[i] = 0;
}

// Units of text already in a buffer of `size` units; an unterminated buffer
// gives up its last unit to the terminator.
template <class Unit, class Measure>
size_t AppendPosition(const Unit* d, size_t size, Measure measure) noexcept {
  size_t used = measure(d, size);
  return used == size ? size - 1 : used;
}

template <class Unit>
Unit* Duplicate(const Unit* s, size_t length) noexcept {
  // The plain array allocation, so one release function serves both widths.
  auto* copy = static_cast<Unit*>(::operator new[]((length + 1) * sizeof(Unit), std::nothrow));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, s, length * sizeof(Unit));
  copy[length] = 0;
  return copy;
}

}  // namespace

extern "C" {

QV_API uint32_t QVStrLenA(const char* string) { return static_cast<uint32_t>(std::strlen(string)); }
QV_API uint32_t QVStrLenW(const QVWCHAR* string) { return static_cast<uint32_t>(UnitLength(qv::Wide(string))); }
// One function under two names: the second name is an alias of the first.
QV_API uint32_t QVStrLenUTF16(const QVWCHAR* string) QV_ALIAS_OF("QVStrLenW");

QV_API uint32_t QVStrNLenA(const char* string, uint32_t maxCount) {
  return static_cast<uint32_t>(strnlen(string, maxCount));
}
QV_API uint32_t QVStrNLenW(const QVWCHAR* string, uint32_t maxCount) {
  return static_cast<uint32_t>(UnitLengthMax(qv::Wide(string), maxCount));
}
QV_API uint32_t QVStrNLenUTF16(const QVWCHAR* string, uint32_t maxCount) QV_ALIAS_OF("QVStrNLenW");

QV_API char* QVStrCpyA(char* destination, const char* source) { return std::strcpy(destination, source); }

QV_API QVWCHAR* QVStrCpyW(QVWCHAR* destination, const QVWCHAR* source) {
  std::memcpy(destination, source, (UnitLength(qv::Wide(source)) + 1) * sizeof(WChar));
  return destination;
}

QV_API char* QVStrNCpyA(char* destination, const char* source, uint32_t count) {
  return std::strncpy(destination, source, count);
}

QV_API QVWCHAR* QVStrNCpyW(QVWCHAR* destination, const QVWCHAR* source, uint32_t count) {
  CopyPadded(qv::Wide(destination), qv::Wide(source), count);
  return destination;
}

// The NZ members accept a null source as the empty string; a destination
// without room for a terminator is left alone.
QV_API char* QVStrNZCpyA(char* destination, uint32_t destinationSize, const char* source, uint32_t count) {
  if (destination == nullptr || destinationSize == 0) return destination;
  size_t m = std::min<size_t>(count, destinationSize - 1);
  std::strncpy(destination, source != nullptr ? source : "", m);
  destination[m] = '\0';
  return destination;
}

QV_API QVWCHAR* QVStrNZCpyW(QVWCHAR* destination, uint32_t destinationSize, const QVWCHAR* source,
                            uint32_t count) {
  if (destination == nullptr || destinationSize == 0) return destination;
  size_t m = std::min<size_t>(count, destinationSize - 1);
  CopyPadded(qv::Wide(destination), source != nullptr ? qv::Wide(source) : u"", m);
  destination[m] = 0;
  return destination;
}

QV_API QVWCHAR* QVStrNZCpyUTF16(QVWCHAR* destination, uint32_t destinationSize, const QVWCHAR* source,
                                uint32_t count) {
  if (destination == nullptr || destinationSize == 0) return destination;
  uint32_t m = std::min(count, destinationSize - 1);
  u_strncpy(qv::Wide(destination), source != nullptr ? qv::Wide(source) : u"",
            static_cast<int32_t>(std::min<uint32_t>(m, INT32_MAX)));
  destination[m] = 0;
  return destination;
}

QV_API char* QVStrCatA(char* destination, const char* source) { return std::strcat(destination, source); }

QV_API QVWCHAR* QVStrCatW(QVWCHAR* destination, const QVWCHAR* source) {
  QVStrCpyW(destination + UnitLength(qv::Wide(destination)), source);
  return destination;
}

QV_API char* QVStrNCatA(char* destination, const char* source, uint32_t count) {
  return std::strncat(destination, source, count);
}

QV_API QVWCHAR* QVStrNCatW(QVWCHAR* destination, const QVWCHAR* source, uint32_t count) {
  WChar* d = qv::Wide(destination);
  d += UnitLength(d);
  size_t n = UnitLengthMax(qv::Wide(source), count);
  std::memcpy(d, source, n * sizeof(WChar));
  d[n] = 0;
  return destination;
}

QV_API char* QVStrNZCatA(char* destination, uint32_t destinationSize, const char* source, uint32_t count) {
  if (destination == nullptr || destinationSize == 0) return destination;
  size_t at = AppendPosition(destination, destinationSize, [](const char* d, size_t n) { return strnlen(d, n); });
  size_t m = std::min<size_t>(count, destinationSize - at - 1);
  std::strncpy(destination + at, source != nullptr ? source : "", m);
  destination[at + m] = '\0';
  return destination;
}

QV_API QVWCHAR* QVStrNZCatW(QVWCHAR* destination, uint32_t destinationSize, const QVWCHAR* source,
                            uint32_t count) {
  if (destination == nullptr || destinationSize == 0) return destination;
  size_t at = AppendPosition(qv::Wide(destination), destinationSize, UnitLengthMax);
  size_t m = std::min<size_t>(count, destinationSize - at - 1);
  CopyPadded(qv::Wide(destination) + at, source != nullptr ? qv::Wide(source) : u"", m);
  destination[at + m] = 0;
  return destination;
}

QV_API QVWCHAR* QVStrNZCatUTF16(QVWCHAR* destination, uint32_t destinationSize, const QVWCHAR* source,
                                uint32_t count) {
  if (destination == nullptr || destinationSize == 0) return destination;
  size_t at = AppendPosition(qv::Wide(destination), destinationSize, UnitLengthMax);
  size_t m = std::min<size_t>(count, destinationSize - at - 1);
  u_strncpy(qv::Wide(destination) + at, source != nullptr ? qv::Wide(source) : u"",
            static_cast<int32_t>(std::min<size_t>(m, INT32_MAX)));
  destination[at + m] = 0;
  return destination;
}

QV_API int32_t QVStrCpyCatA(char* destination, int32_t count, ...) {
  if (destination == nullptr) return 0;
  destination[0] = '\0';
  size_t written = 0;
  va_list args;
  va_start(args, count);
  for (int32_t k = 0; k < count; ++k) {
    const char* source = va_arg(args, const char*);
    if (source == nullptr) continue;
    size_t n = std::strlen(source);
    std::memmove(destination + written, source, n);
    written += n;
  }
  va_end(args);
  destination[written] = '\0';
  return static_cast<int32_t>(written);
}

QV_API char* QVStrDupA(const char* string) {
  return string != nullptr ? Duplicate(string, std::strlen(string)) : nullptr;
}

QV_API QVWCHAR* QVStrDupW(const QVWCHAR* string) {
  return string != nullptr ? Duplicate(string, UnitLength(qv::Wide(string))) : nullptr;
}

QV_API char* QVStrNDupA(const char* string, uint32_t maxCount) {
  return string != nullptr ? Duplicate(string, strnlen(string, maxCount)) : nullptr;
}

QV_API QVWCHAR* QVStrNDupW(const QVWCHAR* string, uint32_t maxCount) {
  return string != nullptr ? Duplicate(string, UnitLengthMax(qv::Wide(string), maxCount)) : nullptr;
}

QV_API void QVStrFreeA(void* string) { ::operator delete[](string); }
QV_API void QVStrFreeW(void* string) QV_ALIAS_OF("QVStrFreeA");

}  // extern "C"
