// Helpers of the file tests.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "qvcore5/qv_file.h"
#include "support/test_support.h"

namespace filetest {

constexpr uint32_t RW = QV_FILE_READ | QV_FILE_WRITE;
using qvtest::ReadFile;

// UTF-8 text (the tests' paths) as 16-bit units.
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
inline const QVWCHAR* P(const std::u16string& s) { return reinterpret_cast<const QVWCHAR*>(s.c_str()); }

inline void WriteAll(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
inline bool Exists(const std::string& path) { struct stat st; return lstat(path.c_str(), &st) == 0; }

// Calls made in order (a braced list is evaluated left to right), each with the result it must give.
inline void ExpectResults(std::initializer_list<std::pair<QVRESULT, QVRESULT>> calls) {
  int i = 0;
  for (auto [got, want] : calls) EXPECT_EQ(got, want) << "call " << i++;
}

// Every entry of a directory listing, in the order listed.
inline std::vector<std::pair<std::u16string, QVDirEntry>> List(const std::string& dir) {
  std::vector<std::pair<std::u16string, QVDirEntry>> entries;
  QVDIR d;
  QVDirEntry e;
  EXPECT_EQ(QVDirOpen(P(W(dir)), &d), 0);
  while (QVDirRead(d, &e) == 0) entries.emplace_back(reinterpret_cast<const char16_t*>(e.name), e);
  EXPECT_EQ(QVDirClose(d), 0);
  return entries;
}

}  // namespace filetest
