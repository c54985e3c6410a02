// Small header-only helpers shared by the test suites.
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>

namespace qvtest {

// UTF-8 text as 16-bit units.
inline std::u16string W(const std::string& utf8) {
  std::u16string out;
  for (size_t i = 0, n; i < utf8.size(); i += n) {
    unsigned char b = utf8[i];
    n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    char32_t c = b & (0xFF >> (n == 1 ? 0 : n + 1));
    for (size_t k = 1; k < n; ++k) c = (c << 6) | (utf8[i + k] & 0x3F);
    if (c >= 0x10000) out += {char16_t(0xD800 + ((c - 0x10000) >> 10)), char16_t(0xDC00 + ((c - 0x10000) & 0x3FF))};
    else out += char16_t(c);
  }
  return out;
}

// Calls made in order (a braced list is evaluated left to right), each with the result it must give.
inline void ExpectResults(std::initializer_list<std::pair<int32_t, int32_t>> calls) {
  int i = 0;
  for (auto [got, want] : calls) EXPECT_EQ(got, want) << "call " << i++;
}

}  // namespace qvtest
