#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "qvcore5/qvcore.h"
#include "support/test_support.h"

namespace {

// "cpu family", "model", "stepping" of the first processor.
std::map<std::string, int> CpuInfo() {
  std::map<std::string, int> fields;
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line) && !line.empty()) {
    auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string key = line.substr(0, line.find_last_not_of(" \t", colon - 1) + 1);
    try {
      fields[key] = std::stoi(line.substr(colon + 1));
    } catch (...) {
    }
  }
  return fields;
}

std::u16string ExpectedUserName() {
  char host[256] = "";
  gethostname(host, sizeof host);
  passwd* pw = getpwuid(geteuid());
  std::string narrow = std::string(host) + "\\" + (pw ? pw->pw_name : std::to_string(geteuid()));
  return std::u16string(narrow.begin(), narrow.end());  // ASCII names on the test machines
}

}  // namespace

TEST(SystemInfo, FiguresMatchThePlatform) {
  QVSystemInfo info;
  std::memset(&info, 0xAB, sizeof info);
  ASSERT_EQ(QVGetSystemInfo(&info), QV_S_OK);
  EXPECT_GT(info.totalPhysicalMemory, 0u);
  EXPECT_GT(info.availablePhysicalMemory, 0u);
  EXPECT_LE(info.availablePhysicalMemory, info.totalPhysicalMemory);
  EXPECT_GT(info.availableVirtualMemory, 0u);
  EXPECT_LT(info.availableVirtualMemory, info.totalVirtualMemory);
  EXPECT_EQ(info.pageSize, static_cast<uint32_t>(sysconf(_SC_PAGESIZE)));
  EXPECT_EQ(info.allocationGranularity, info.pageSize);
  EXPECT_EQ(info.numberOfProcessors, static_cast<uint16_t>(sysconf(_SC_NPROCESSORS_ONLN)));
  EXPECT_EQ(info.platformId, QV_PLATFORM_LINUX);
  EXPECT_EQ(info.reserved, 0);

  utsname names;
  ASSERT_EQ(uname(&names), 0);
  unsigned major = 0, minor = 0, patch = 0;
  std::sscanf(names.release, "%u.%u.%u", &major, &minor, &patch);
  EXPECT_EQ(info.majorVersion, major);
  EXPECT_EQ(info.minorVersion, minor);
  EXPECT_EQ(info.buildNumber, patch);

#if defined(__x86_64__)
  EXPECT_EQ(info.processorType, QV_PROCESSOR_AMD_X8664);
  auto cpu = CpuInfo();
  if (cpu.count("cpu family") && cpu.count("model") && cpu.count("stepping")) {
    EXPECT_EQ(info.processorLevel, cpu["cpu family"]);
    EXPECT_EQ(info.processorRevision, (cpu["model"] << 8) | cpu["stepping"]);
  }
#endif
}

TEST(SystemInfo, AvailableVirtualMemoryShrinksWithAMapping) {
  QVSystemInfo before{}, after{};
  ASSERT_EQ(QVGetSystemInfo(&before), QV_S_OK);
  std::unique_ptr<char[]> big(new char[64 << 20]);  // reserved in the address space, not touched
  [[maybe_unused]] static char* volatile keep;
  keep = big.get();  // the allocation must not be optimised away
  ASSERT_EQ(QVGetSystemInfo(&after), QV_S_OK);
  EXPECT_LE(after.availableVirtualMemory + (60 << 20), before.availableVirtualMemory);
}

TEST(UserName, HostBackslashLogin) {
  std::u16string expected = ExpectedUserName();
  QVWCHAR buffer[512];
  ASSERT_EQ(QVGetUserName(buffer, 512), QV_S_OK);
  EXPECT_EQ(qvtest::U16(buffer), expected);

  // Exactly large enough: the name and its terminator, nothing beyond.
  std::u16string exact(expected.size() + 2, u'#');
  ASSERT_EQ(QVGetUserName(exact.data(), static_cast<uint32_t>(expected.size() + 1)), QV_S_OK);
  EXPECT_EQ(exact.substr(0, expected.size()), expected);
  EXPECT_EQ(exact[expected.size()], 0);
  EXPECT_EQ(exact[expected.size() + 1], u'#');
}

TEST(UserName, BufferTooSmallIsAFailureAndWritesNoPartialName) {
  std::u16string expected = ExpectedUserName();
  std::u16string small(expected.size() + 1, u'#');
  EXPECT_EQ(QVGetUserName(small.data(), static_cast<uint32_t>(expected.size())), QV_E_FAIL);
  EXPECT_EQ(small[0], 0);
  EXPECT_EQ(small.substr(1, expected.size() - 1), std::u16string(expected.size() - 1, u'#'));
  QVWCHAR one = u'#';
  EXPECT_EQ(QVGetUserName(&one, 0), QV_E_FAIL);
  EXPECT_EQ(one, u'#');
}
