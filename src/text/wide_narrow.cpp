#include "text/wide_narrow.h"

#include <climits>
#include <cuchar>
#include <cwchar>

namespace qv::text {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point from UTF-16; advances i.
char32_t DecodeUtf16(const QVWCHAR* s, size_t length, size_t& i) noexcept {
  char32_t u = s[i++];
  if (u >= 0xD800 && u <= 0xDBFF && i < length) {
    char32_t t = s[i];
    if (t >= 0xDC00 && t <= 0xDFFF) {
      ++i;
      return 0x10000 + ((u - 0xD800) << 10) + (t - 0xDC00);
    }
  }
  return u;
}

// Calls sink(code point) for every character of the narrow text.
template <class Sink>
void DecodeNarrow(const char* src, size_t maxBytes, Sink&& sink) {
  std::mbstate_t state{};
  size_t i = 0;
  while (i < maxBytes && src[i] != '\0') {
    char32_t c;
    size_t n = std::mbrtoc32(&c, src + i, maxBytes - i, &state);
    if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2) || n == 0) {
      // Undecodable or cut short: one replacement per byte, then resynchronise.
      state = std::mbstate_t{};
      c = static_cast<unsigned char>(src[i]) < 0x80 ? static_cast<unsigned char>(src[i]) : kReplacement;
      n = 1;
    } else if (n == static_cast<size_t>(-3)) {
      n = 0;
    }
    i += n;
    if (!sink(c)) return;
  }
}

}  // namespace

size_t NarrowToWideBuffer(const char* src, size_t maxBytes, QVWCHAR* dst, size_t capacity) noexcept {
  size_t out = 0;
  if (src == nullptr) return 0;
  DecodeNarrow(src, maxBytes, [&](char32_t c) {
    if (c >= 0x10000 && c <= 0x10FFFF) {
      if (out + 2 > capacity) return false;
      c -= 0x10000;
      dst[out++] = static_cast<QVWCHAR>(0xD800 + (c >> 10));
      dst[out++] = static_cast<QVWCHAR>(0xDC00 + (c & 0x3FF));
    } else {
      if (out + 1 > capacity) return false;
      dst[out++] = static_cast<QVWCHAR>(c > 0x10FFFF ? kReplacement : c);
    }
    return true;
  });
  return out;
}

size_t WideToNarrowBuffer(const QVWCHAR* src, size_t length, char* dst, size_t capacity) noexcept {
  std::mbstate_t state{};
  size_t out = 0;
  char tmp[MB_LEN_MAX];
  for (size_t i = 0; i < length;) {
    char32_t c = DecodeUtf16(src, length, i);
    size_t n = (c >= 0xD800 && c <= 0xDFFF) ? static_cast<size_t>(-1) : std::c32rtomb(tmp, c, &state);
    if (n == static_cast<size_t>(-1)) {
      state = std::mbstate_t{};
      tmp[0] = '?';
      n = 1;
    }
    if (out + n > capacity) break;
    for (size_t k = 0; k < n; ++k) dst[out++] = tmp[k];
  }
  return out;
}

std::u16string NarrowToWide(std::string_view narrow) {
  std::u16string wide;
  if (narrow.empty()) return wide;
  wide.reserve(narrow.size());
  DecodeNarrow(narrow.data(), narrow.size(), [&](char32_t c) {
    if (c >= 0x10000 && c <= 0x10FFFF) {
      c -= 0x10000;
      wide.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      wide.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      wide.push_back(static_cast<char16_t>(c > 0x10FFFF ? kReplacement : c));
    }
    return true;
  });
  return wide;
}

std::string WideToNarrow(std::u16string_view wide) {
  std::string narrow;
  if (wide.empty()) return narrow;
  narrow.resize(wide.size() * MB_LEN_MAX);
  size_t n = WideToNarrowBuffer(reinterpret_cast<const QVWCHAR*>(wide.data()), wide.size(), narrow.data(), narrow.size());
  narrow.resize(n);
  return narrow;
}

}  // namespace qv::text
