// The lock-statistics dump as a CSV file: names that hold CSV's special
// characters are quoted, and the file's descriptor is not inherited.
#include <gtest/gtest.h>
#include <filesystem>
#include <fcntl.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "os/os_append_file.h"
#include "qvcore5/qvcore.h"
#include "support/test_support.h"

namespace {

std::u16string W(const std::string& s) { return std::u16string(s.begin(), s.end()); }

TEST(LockStatsCsv, NamesWithSpecialCharactersAreQuotedOthersAsTheyAre) {
  struct Case {
    std::string name;
    std::string written;  // after "QV_MUTEX:0x<digits>"
    bool quoted;
  };
  const Case cases[] = {
      {"plain name", "(plain name),", false},
      {"a,b", "(a,b)\",", true},
      {"say \"hi\"", "(say \"\"hi\"\")\",", true},
      {"two\nlines", "(two\nlines)\",", true},
      {"cr\rhere", "(cr\rhere)\",", true},
  };
  qvtest::TempDir dir;
  for (const Case& c : cases) {
    QVResetLockStats();
    QVMUTEX m;
    ASSERT_EQ(QVMutexCreate(c.name.c_str(), QV_MUTEX_STATS, &m), QV_S_OK);
    char digits[32];
    std::snprintf(digits, sizeof digits, "%0*llX", static_cast<int>(sizeof(void*) * 2),
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(m)));
    std::string file = dir.File("stats.csv");
    std::remove(file.c_str());
    ASSERT_EQ(QVDumpLockStats("csv", reinterpret_cast<const QVWCHAR*>(W(file).c_str())), QV_S_OK);
    QVMutexDestroy(m);
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string entry = std::string(c.quoted ? "\"" : "\n") + "QV_MUTEX:0x" + digits + c.written;
    EXPECT_NE(text.str().find(entry), std::string::npos) << "name " << c.name << " in\n" << text.str();
  }
  QVResetLockStats();
}

TEST(LockStatsCsv, DumpFileIsCloseOnExec) {
  qvtest::TempDir dir;
  std::string path = dir.File("x.csv");
  qv::os::AppendFile file;
  ASSERT_TRUE(file.Open(std::u16string(path.begin(), path.end())));
  // The open descriptor of that file, found through /proc.
  int flags = -1;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (std::filesystem::read_symlink(entry.path(), ec) == path)
      flags = fcntl(std::stoi(entry.path().filename().string()), F_GETFD);
  }
  ASSERT_NE(flags, -1);
  EXPECT_NE(flags & FD_CLOEXEC, 0);
}

}  // namespace
