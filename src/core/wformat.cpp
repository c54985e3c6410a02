#include "core/wformat.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "text/wide_narrow.h"
#include "base/wide.h"

using qv::WChar;

namespace qv::core {

namespace {

class Output {
 public:
  Output(WChar* buffer, size_t capacity) : m_buffer(buffer), m_limit(capacity - 1) {}
  void Put(WChar c) {
    if (m_length < m_limit) m_buffer[m_length++] = c;
  }
  void Repeat(WChar c, int count) {
    size_t n = count > 0 ? static_cast<size_t>(count) : 0;
    if (n > Room()) n = Room();
    for (size_t i = 0; i < n; ++i) m_buffer[m_length++] = c;
  }
  bool Full() const { return m_length >= m_limit; }
  size_t Room() const { return m_limit - m_length; }
  size_t Finish() {
    m_buffer[m_length] = 0;
    return m_length;
  }

 private:
  WChar* m_buffer;
  size_t m_limit;
  size_t m_length = 0;
};

struct Directive {
  bool left = false, plus = false, space = false, alt = false, zero = false;
  int width = 0;
  int precision = -1;
  enum Size { kDefault, kShort, kChar, kLong, kLongLong, kPointer } size = kDefault;
  bool narrowString = false;  // h or S/C
  bool wideString = false;    // l or w
};

void PutPadded(Output& out, const Directive& dir, const WChar* text, size_t length) {
  int pad = dir.width > static_cast<int>(length) ? dir.width - static_cast<int>(length) : 0;
  if (!dir.left) out.Repeat(' ', pad);
  for (size_t i = 0; i < length; ++i) out.Put(text[i]);
  if (dir.left) out.Repeat(' ', pad);
}

void PutInteger(Output& out, const Directive& dir, WChar conv, uint64_t magnitude, bool negative) {
  const char* digits = conv == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
  unsigned base = (conv == 'x' || conv == 'X' || conv == 'p') ? 16 : conv == 'o' ? 8 : 10;
  char body[32];
  int n = 0;
  for (uint64_t v = magnitude; v != 0; v /= base) body[n++] = digits[v % base];
  int precision = dir.precision < 0 ? 1 : dir.precision;
  int zeros = precision > n ? precision - n : 0;
  char prefix[3] = {0, 0, 0};
  int prefixLength = 0;
  if (negative) prefix[prefixLength++] = '-';
  else if (dir.plus && (conv == 'd' || conv == 'i')) prefix[prefixLength++] = '+';
  else if (dir.space && (conv == 'd' || conv == 'i')) prefix[prefixLength++] = ' ';
  if (dir.alt && magnitude != 0) {
    if (base == 16) {
      prefix[prefixLength++] = '0';
      prefix[prefixLength++] = conv == 'X' ? 'X' : 'x';
    } else if (base == 8 && zeros == 0) {
      zeros = 1;
    }
  }
  int length = prefixLength + zeros + n;
  int pad = dir.width > length ? dir.width - length : 0;
  bool zeroPad = dir.zero && !dir.left && dir.precision < 0;
  if (!dir.left && !zeroPad) out.Repeat(' ', pad);
  for (int i = 0; i < prefixLength; ++i) out.Put(static_cast<WChar>(prefix[i]));
  if (zeroPad) out.Repeat('0', pad);
  out.Repeat('0', zeros);
  while (n > 0) out.Put(static_cast<WChar>(body[--n]));
  if (dir.left) out.Repeat(' ', pad);
}

// Widths and precisions beyond the output limit cannot show; read numbers
// stop growing here rather than wrap.
constexpr int kNumberCap = 1 << 30;

int ReadNumber(const WChar*& p) {
  int n = 0;
  for (; *p >= '0' && *p <= '9'; ++p) n = n > kNumberCap / 10 ? kNumberCap : n * 10 + (*p - '0');
  return n;
}

void PutFloat(Output& out, const Directive& dir, WChar conv, double value) {
  char fmt[16];
  int f = 0;
  fmt[f++] = '%';
  if (dir.left) fmt[f++] = '-';
  if (dir.plus) fmt[f++] = '+';
  if (dir.space) fmt[f++] = ' ';
  if (dir.alt) fmt[f++] = '#';
  if (dir.zero) fmt[f++] = '0';
  fmt[f++] = '*';
  fmt[f++] = '.';
  fmt[f++] = '*';
  fmt[f++] = static_cast<char>(conv);
  fmt[f] = 0;
  // Digits past the room left are never seen, so the runtime need not make
  // them. A wider field only has to stay wider than the room plus the
  // longest unpadded text (309 integer digits, sign, point, exponent and
  // the bounded precision), so right-aligned padding still fills the room.
  size_t room = out.Room();
  size_t precisionBound = room + 1 < static_cast<size_t>(kNumberCap) ? room + 1 : kNumberCap;
  size_t widthBound = 2 * precisionBound + 330 < static_cast<size_t>(kNumberCap) ? 2 * precisionBound + 330 : kNumberCap;
  int width = static_cast<size_t>(dir.width) > widthBound ? static_cast<int>(widthBound) : dir.width;
  int precision = dir.precision < 0 ? 6
                  : static_cast<size_t>(dir.precision) > precisionBound ? static_cast<int>(precisionBound)
                                                                         : dir.precision;
  char small[1024];
  char* text = small;
  size_t size = room + 1 < sizeof small ? room + 1 : sizeof small;
  if (room + 1 > sizeof small) {
    text = static_cast<char*>(std::malloc(room + 1));
    if (text != nullptr) size = room + 1;
    else text = small;
  }
  int n = std::snprintf(text, size, fmt, width, precision, value);
  for (int i = 0; i < n && static_cast<size_t>(i) < size - 1; ++i) out.Put(static_cast<unsigned char>(text[i]));
  if (text != small) std::free(text);
}

size_t WideLength(const WChar* s, int precision) {
  size_t n = 0;
  while ((precision < 0 || n < static_cast<size_t>(precision)) && s[n] != 0) ++n;
  return n;
}

}  // namespace

size_t FormatWideV(WChar* buffer, size_t capacity, const WChar* format, va_list args) noexcept {
  if (buffer == nullptr || capacity == 0) return 0;
  Output out(buffer, capacity);
  if (format == nullptr) return out.Finish();
  va_list ap;
  va_copy(ap, args);
  const WChar* p = format;
  while (*p != 0 && !out.Full()) {
    if (*p != '%') {
      out.Put(*p++);
      continue;
    }
    const WChar* start = p++;
    Directive dir;
    for (;; ++p) {
      if (*p == '-') dir.left = true;
      else if (*p == '+') dir.plus = true;
      else if (*p == ' ') dir.space = true;
      else if (*p == '#') dir.alt = true;
      else if (*p == '0') dir.zero = true;
      else break;
    }
    if (*p == '*') {
      dir.width = va_arg(ap, int);
      if (dir.width < 0) {
        dir.left = true;
        dir.width = dir.width < -kNumberCap ? kNumberCap : -dir.width;
      }
      if (dir.width > kNumberCap) dir.width = kNumberCap;
      ++p;
    } else {
      dir.width = ReadNumber(p);
    }
    if (*p == '.') {
      ++p;
      dir.precision = 0;
      if (*p == '*') {
        dir.precision = va_arg(ap, int);
        if (dir.precision < 0) dir.precision = -1;
        if (dir.precision > kNumberCap) dir.precision = kNumberCap;
        ++p;
      } else {
        dir.precision = ReadNumber(p);
      }
    }
    if (*p == 'h') {
      ++p;
      dir.narrowString = true;
      dir.size = Directive::kShort;
      if (*p == 'h') {
        ++p;
        dir.size = Directive::kChar;
      }
    } else if (*p == 'l') {
      ++p;
      dir.wideString = true;
      dir.size = Directive::kLong;
      if (*p == 'l') {
        ++p;
        dir.size = Directive::kLongLong;
      }
    } else if (*p == 'w') {
      ++p;
      dir.wideString = true;
    } else if (*p == 'L' || *p == 'q') {
      ++p;
      dir.size = Directive::kLongLong;
    } else if (*p == 'z' || *p == 't' || *p == 'j') {
      ++p;
      dir.size = Directive::kPointer;
    } else if (*p == 'I') {
      if (p[1] == '6' && p[2] == '4') {
        p += 3;
        dir.size = Directive::kLongLong;
      } else if (p[1] == '3' && p[2] == '2') {
        p += 3;
        dir.size = Directive::kLong;
      } else {
        ++p;
        dir.size = Directive::kPointer;
      }
    }
    WChar conv = *p;
    switch (conv) {
      case 'd':
      case 'i': {
        int64_t v;
        if (dir.size == Directive::kLongLong) v = va_arg(ap, long long);
        else if (dir.size == Directive::kPointer) v = va_arg(ap, intptr_t);
        else v = va_arg(ap, int);
        if (dir.size == Directive::kShort) v = static_cast<int16_t>(v);
        if (dir.size == Directive::kChar) v = static_cast<int8_t>(v);
        uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        PutInteger(out, dir, conv, magnitude, v < 0);
        break;
      }
      case 'u':
      case 'x':
      case 'X':
      case 'o': {
        uint64_t v;
        if (dir.size == Directive::kLongLong) v = va_arg(ap, unsigned long long);
        else if (dir.size == Directive::kPointer) v = va_arg(ap, uintptr_t);
        else v = va_arg(ap, unsigned int);
        if (dir.size == Directive::kShort) v = static_cast<uint16_t>(v);
        if (dir.size == Directive::kChar) v = static_cast<uint8_t>(v);
        PutInteger(out, dir, conv, v, false);
        break;
      }
      case 'p': {
        Directive ptr = dir;
        ptr.precision = static_cast<int>(2 * sizeof(void*));
        ptr.alt = false;
        PutInteger(out, ptr, 'X', reinterpret_cast<uintptr_t>(va_arg(ap, void*)), false);
        break;
      }
      case 'c':
      case 'C': {
        int v = va_arg(ap, int);
        WChar unit;
        bool narrow = conv == 'C' ? !dir.wideString : dir.narrowString;
        if (narrow) {
          char byte = static_cast<char>(v);
          if (qv::text::NarrowToWideBuffer(&byte, 1, &unit, 1) != 1) unit = 0xFFFD;
        } else {
          unit = static_cast<WChar>(v);
        }
        PutPadded(out, dir, &unit, 1);
        break;
      }
      case 's':
      case 'S': {
        bool narrow = conv == 'S' ? !dir.wideString : dir.narrowString;
        static const WChar kNull[] = u"(null)";
        if (narrow) {
          const char* s = va_arg(ap, const char*);
          if (s == nullptr) {
            PutPadded(out, dir, kNull, 6);
          } else {
            WChar wide[512];
            size_t maxBytes = dir.precision < 0 ? SIZE_MAX : static_cast<size_t>(dir.precision);
            size_t n = qv::text::NarrowToWideBuffer(s, maxBytes, wide, 512);
            PutPadded(out, dir, wide, n);
          }
        } else {
          const WChar* s = va_arg(ap, const WChar*);
          if (s == nullptr) s = kNull;
          PutPadded(out, dir, s, WideLength(s, dir.precision));
        }
        break;
      }
      case 'e':
      case 'E':
      case 'f':
      case 'F':
      case 'g':
      case 'G':
      case 'a':
      case 'A':
        PutFloat(out, dir, conv, va_arg(ap, double));
        break;
      case '%':
        out.Put('%');
        break;
      default:
        // Unknown (including %n) or cut off by the end of the format: copy the
        // directive as text; no argument is taken for it.
        for (const WChar* q = start; q < p; ++q) out.Put(*q);
        if (conv == 0) {
          va_end(ap);
          return out.Finish();
        }
        out.Put(conv);
        break;
    }
    ++p;
  }
  va_end(ap);
  return out.Finish();
}

size_t FormatWide(WChar* buffer, size_t capacity, const WChar* format, ...) noexcept {
  va_list ap;
  va_start(ap, format);
  size_t n = FormatWideV(buffer, capacity, format, ap);
  va_end(ap);
  return n;
}

}  // namespace qv::core
