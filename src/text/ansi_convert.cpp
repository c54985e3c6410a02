// mbstowcs and wcstombs with UTF-16 on the wide side. The runtime's own
// functions produce 32-bit wchar_t here, so the conversion runs character by
// character through mbrtoc32/c32rtomb and forms or splits surrogate pairs.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cuchar>
#include <cwchar>

#include "qvcore5/qv_encoding.h"
#include "text/ascii_run.h"
#include "text/units.h"
#include "text/utf16.h"
#include "base/wide.h"

using qv::WChar;

namespace {

using namespace qv::text;

constexpr size_t kFailed = static_cast<size_t>(-1);

// The runtime sets EILSEQ only where it rejects the character itself; the
// characters refused here (surrogates, values UTF-16 cannot hold) say so too.
size_t Unconvertible() noexcept {
  errno = EILSEQ;
  return kFailed;
}

// mbstowcs from the current position: units written (or needed when d is
// null), the terminator written when it fits, kFailed for a byte sequence that
// is not a character. A character that needs a surrogate pair is not split:
// with one unit of room left the conversion stops before it.
size_t MultiByteToUtf16(WChar* d, const char* s, size_t capacity) noexcept {
  std::mbstate_t state{};
  const size_t longest = MB_CUR_MAX;
  size_t out = 0;
  for (;;) {
    auto b = static_cast<unsigned char>(*s);
    if (b == 0) {
      if (d != nullptr && out < capacity) d[out] = 0;
      return out;
    }
    if (d != nullptr && out >= capacity) return out;
    char32_t c;
    size_t used;
    if (b < 0x80 && std::mbsinit(&state)) {
      c = b;
      used = 1;
    } else {
      size_t available = 0;  // never hand the decoder bytes past the terminator
      while (available < longest && s[available] != '\0') ++available;
      used = std::mbrtoc32(&c, s, available, &state);
      if (used == static_cast<size_t>(-1) || used == static_cast<size_t>(-2) || used == 0) return Unconvertible();
      if (used == static_cast<size_t>(-3)) used = 0;
    }
    if (c > 0x10FFFF || IsSurrogate(c)) return Unconvertible();
    if (c >= 0x10000) {
      if (d != nullptr) {
        if (capacity - out < 2) return out;
        d[out] = LeadOf(c);
        d[out + 1] = TrailOf(c);
      }
      out += 2;
    } else {
      if (d != nullptr) d[out] = static_cast<WChar>(c);
      ++out;
    }
    s += used;
  }
}

// wcstombs from the current position; an unpaired surrogate cannot be
// converted. A character whose bytes do not all fit is left out.
size_t Utf16ToMultiByte(char* d, const WChar* s, size_t capacity) noexcept {
  std::mbstate_t state{};
  char bytes[MB_LEN_MAX];
  size_t out = 0;
  for (size_t i = 0;;) {
    uint32_t u = s[i];
    if (u == 0) {
      // Back to the initial shift state (nothing in stateless encodings), then the terminator.
      size_t n = std::c32rtomb(bytes, U'\0', &state);
      if (n == static_cast<size_t>(-1)) return Unconvertible();
      if (d == nullptr) return out + n - 1;
      if (capacity - out >= n - 1) {
        std::memcpy(d + out, bytes, n - 1);
        out += n - 1;
        if (out < capacity) d[out] = '\0';
      }
      return out;
    }
    if (d != nullptr && out >= capacity) return out;
    if (u < 0x80 && std::mbsinit(&state)) {
      if (d != nullptr) d[out] = static_cast<char>(u);
      ++out;
      ++i;
      continue;
    }
    uint32_t c = u;
    size_t units = 1;
    if (IsLead(u) && IsTrail(s[i + 1])) {
      c = Combine(u, s[i + 1]);
      units = 2;
    } else if (IsSurrogate(u)) {
      return Unconvertible();
    }
    size_t n = std::c32rtomb(bytes, static_cast<char32_t>(c), &state);
    if (n == static_cast<size_t>(-1)) return Unconvertible();
    if (d != nullptr) {
      if (capacity - out < n) return out;
      std::memcpy(d + out, bytes, n);
    }
    out += n;
    i += units;
  }
}

}  // namespace

extern "C" {

QV_API size_t QVAnsiToUnicode(QVWCHAR* destination, const char* source, size_t capacity) {
  if (source == nullptr) return kFailed;
  if (destination == nullptr) {
    size_t length = std::strlen(source);
    size_t ascii = AsciiRunLength(source, length);
    if (ascii == length) return length;
    size_t rest = MultiByteToUtf16(nullptr, source + ascii, 0);
    return rest == kFailed ? kFailed : ascii + rest;
  }
  if (capacity == 0) return 0;
  // Only the first `capacity` bytes can matter while they are ASCII.
  size_t length = strnlen(source, capacity);
  WChar* units = qv::Wide(destination);
  size_t ascii = WidenAsciiRun(units, source, length);
  if (ascii == length) {
    if (length < capacity) units[length] = 0;
    return length;
  }
  size_t rest = MultiByteToUtf16(units + ascii, source + ascii, capacity - ascii);
  return rest == kFailed ? kFailed : ascii + rest;
}

QV_API size_t QVUnicodeToAnsi(char* destination, const QVWCHAR* source, size_t capacity) {
  if (source == nullptr) return kFailed;
  if (destination != nullptr && capacity == 0) return 0;
  const WChar* units = qv::Wide(source);
  size_t ascii = 0;
  if (destination != nullptr) {
    ascii = NarrowAsciiRun(destination, units, UnitLengthMax(units, capacity));
  } else {
    while (units[ascii] != 0 && units[ascii] < 0x80) ++ascii;
  }
  size_t rest = Utf16ToMultiByte(destination != nullptr ? destination + ascii : nullptr, units + ascii,
                                 destination != nullptr ? capacity - ascii : 0);
  return rest == kFailed ? kFailed : ascii + rest;
}

}  // extern "C"
