#include "text/wide_narrow.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <cuchar>
#include <cwchar>

#include "text/ascii_run.h"
#include "text/units.h"
#include "text/utf16.h"
#include "base/wide.h"

using qv::WChar;

namespace qv::text {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point from UTF-16; advances i. An unpaired surrogate comes
// back as itself.
char32_t DecodeUtf16(const WChar* s, size_t length, size_t& i) noexcept {
  char32_t u = s[i++];
  if (IsLead(u) && i < length && IsTrail(s[i])) return Combine(u, s[i++]);
  return u;
}

// Calls sink(code point) for every character of the narrow text, stopping at
// maxBytes, when sink returns false and, if asked, at a zero byte (otherwise
// a zero byte is a character like any other).
template <class Sink>
void DecodeNarrow(const char* src, size_t maxBytes, bool stopAtZero, Sink&& sink) {
  std::mbstate_t state{};
  size_t i = 0;
  while (i < maxBytes && !(stopAtZero && src[i] == '\0')) {
    char32_t c;
    auto b = static_cast<unsigned char>(src[i]);
    size_t n = 1;
    if (b == 0) {
      state = std::mbstate_t{};
      c = 0;
    } else if (b < 0x80 && std::mbsinit(&state)) {
      c = b;
    } else {
      size_t available = 0;  // up to a zero byte, never past it
      size_t longest = maxBytes - i < MB_LEN_MAX ? maxBytes - i : MB_LEN_MAX;
      while (available < longest && src[i + available] != '\0') ++available;
      n = std::mbrtoc32(&c, src + i, available, &state);
      if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2) || n == 0) {
        // Undecodable or cut short: one replacement per byte, then resynchronise.
        state = std::mbstate_t{};
        c = b < 0x80 ? b : kReplacement;
        n = 1;
      } else if (n == static_cast<size_t>(-3)) {
        n = 0;
      }
      if (c > 0x10FFFF || IsSurrogate(c)) c = kReplacement;
    }
    i += n;
    if (!sink(c)) return;
  }
}

// Encodes one code point in the narrow encoding, with the replacements of
// the Windows conversion; returns the byte count.
size_t EncodeNarrow(char32_t c, char* out, std::mbstate_t& state) noexcept {
  size_t n = IsSurrogate(c) ? static_cast<size_t>(-1) : std::c32rtomb(out, c, &state);
  if (n == static_cast<size_t>(-1) && IsSurrogate(c)) {
    state = std::mbstate_t{};
    n = std::c32rtomb(out, kReplacement, &state);
  }
  if (n == static_cast<size_t>(-1)) {
    state = std::mbstate_t{};
    out[0] = '?';
    n = 1;
  }
  return n;
}

}  // namespace

size_t NarrowToWideBuffer(const char* src, size_t maxBytes, WChar* dst, size_t capacity) noexcept {
  if (src == nullptr || dst == nullptr) return 0;
  size_t out = 0;
  DecodeNarrow(src, maxBytes, true, [&](char32_t c) {
    if (c >= 0x10000) {
      if (capacity - out < 2) return false;
      dst[out++] = LeadOf(c);
      dst[out++] = TrailOf(c);
    } else {
      if (out == capacity) return false;
      dst[out++] = static_cast<WChar>(c);
    }
    return true;
  });
  return out;
}

size_t WideToNarrowBuffer(const WChar* src, size_t length, char* dst, size_t capacity) noexcept {
  if (src == nullptr || dst == nullptr) return 0;
  std::mbstate_t state{};
  size_t out = NarrowAsciiRun(dst, src, length < capacity ? length : capacity);
  char bytes[MB_LEN_MAX];
  for (size_t i = out; i < length;) {
    char32_t c = DecodeUtf16(src, length, i);
    size_t n = 1;
    if (c < 0x80 && std::mbsinit(&state)) {
      bytes[0] = static_cast<char>(c);
    } else {
      n = EncodeNarrow(c, bytes, state);
    }
    if (capacity - out < n) break;
    std::memcpy(dst + out, bytes, n);
    out += n;
  }
  return out;
}

std::u16string NarrowToWide(std::string_view narrow) {
  std::u16string wide;
  if (narrow.empty()) return wide;
  size_t ascii = AsciiRunLength(narrow.data(), narrow.size());
  wide.resize(ascii);
  WidenAsciiRun(wide.data(), narrow.data(), ascii);
  if (ascii == narrow.size()) return wide;
  wide.reserve(narrow.size());
  DecodeNarrow(narrow.data() + ascii, narrow.size() - ascii, false, [&](char32_t c) {
    if (c >= 0x10000) {
      wide.push_back(LeadOf(c));
      wide.push_back(TrailOf(c));
    } else {
      wide.push_back(static_cast<char16_t>(c));
    }
    return true;
  });
  return wide;
}

std::u16string NarrowToWide(const char* narrow) {
  return narrow != nullptr ? NarrowToWide(std::string_view(narrow)) : std::u16string();
}

std::string WideToNarrow(std::u16string_view wide) {
  std::string narrow;
  if (wide.empty()) return narrow;
  // No character takes more bytes than MB_CUR_MAX, and a pair (two units)
  // is one character.
  narrow.resize(wide.size() * MB_CUR_MAX);
  size_t n = WideToNarrowBuffer(reinterpret_cast<const WChar*>(wide.data()), wide.size(), narrow.data(),
                                narrow.size());
  narrow.resize(n);
  return narrow;
}

std::string WideToNarrow(const WChar* wide) {
  return wide != nullptr ? WideToNarrow(std::u16string_view(wide, UnitLength(wide))) : std::string();
}

bool WideToNarrowExact(std::u16string_view wide, std::string& narrow) {
  narrow.clear();
  std::mbstate_t state{};
  char bytes[MB_LEN_MAX];
  const auto* units = reinterpret_cast<const WChar*>(wide.data());
  for (size_t i = 0; i < wide.size();) {
    char32_t c = DecodeUtf16(units, wide.size(), i);
    if (IsSurrogate(c)) return false;
    size_t n = std::c32rtomb(bytes, c, &state);
    if (n == static_cast<size_t>(-1)) return false;
    narrow.append(bytes, n);
  }
  return true;
}

}  // namespace qv::text
