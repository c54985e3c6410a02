#pragma once
#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "qvcore5/qv_file.h"
#include "support/results_and_text.h"
#include "support/test_support.h"

namespace filetest {

constexpr uint32_t RW = QV_FILE_READ | QV_FILE_WRITE;
using qvtest::ExpectResults;
using qvtest::ReadFile;
using qvtest::W;

inline const QVWCHAR* P(const std::u16string& s) { return reinterpret_cast<const QVWCHAR*>(s.c_str()); }

inline void WriteAll(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
#if defined(_WIN32)
inline bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}
#else
inline bool Exists(const std::string& path) { struct stat st; return lstat(path.c_str(), &st) == 0; }
#endif

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
