#include <gtest/gtest.h>
#if defined(_WIN32)
#define SECURITY_WIN32
#include <windows.h>
#include <security.h>
#else
#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "qvcore5/qvcore.h"

TEST(SystemInfo, FiguresMatchThePlatformAndShrinkWithAMapping) {
  QVSystemInfo info, after{};
  std::memset(&info, 0xAB, sizeof info);
  ASSERT_EQ(QVGetSystemInfo(&info), QV_S_OK);
  EXPECT_TRUE(0 < info.availablePhysicalMemory && info.availablePhysicalMemory <= info.totalPhysicalMemory);
  EXPECT_TRUE(0 < info.availableVirtualMemory && info.availableVirtualMemory < info.totalVirtualMemory);
#if defined(_WIN32)
  SYSTEM_INFO native;
  GetNativeSystemInfo(&native);
  EXPECT_EQ(std::tuple(info.pageSize, info.allocationGranularity, info.platformId, info.reserved, info.numberOfProcessors),
            std::tuple(uint32_t(native.dwPageSize), uint32_t(native.dwAllocationGranularity), QV_PLATFORM_WIN32_NT, 0,
                       uint16_t(native.dwNumberOfProcessors)));
#else
  EXPECT_EQ(std::tuple(info.pageSize, info.allocationGranularity, info.platformId, info.reserved),
            std::tuple(uint32_t(sysconf(_SC_PAGESIZE)), uint32_t(sysconf(_SC_PAGESIZE)), QV_PLATFORM_LINUX, 0));
  EXPECT_EQ(info.numberOfProcessors, uint16_t(sysconf(_SC_NPROCESSORS_ONLN)));
  utsname names;
  unsigned version[3] = {};
  ASSERT_EQ(uname(&names), 0);
  std::sscanf(names.release, "%u.%u.%u", &version[0], &version[1], &version[2]);
  EXPECT_EQ(std::tuple(info.majorVersion, info.minorVersion, info.buildNumber), std::tuple(version[0], version[1], version[2]));
#endif
  std::unique_ptr<char[]> big(new char[64 << 20]);  // reserved in the address space, not touched
  [[maybe_unused]] static char* volatile keep;
  keep = big.get();
  ASSERT_EQ(QVGetSystemInfo(&after), QV_S_OK);
#if defined(_WIN32)
  // Wine reports the same available address space whatever is mapped.
  if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr) return;
#endif
  EXPECT_LE(after.availableVirtualMemory + (60 << 20), info.availableVirtualMemory);
}

// Host backslash login; a buffer one unit short fails and leaves only an empty string.
TEST(UserName, HostBackslashLoginInAnExactBufferOrNothing) {
#if defined(_WIN32)
  // The account's SAM name, or the computer and account names without a domain service.
  wchar_t sam[300], host[MAX_COMPUTERNAME_LENGTH + 1], login[257];
  ULONG samSize = 300;
  DWORD hostSize = MAX_COMPUTERNAME_LENGTH + 1, loginSize = 257;
  std::wstring wide = GetUserNameExW(NameSamCompatible, sam, &samSize) ? std::wstring(sam, samSize)
                      : GetComputerNameW(host, &hostSize) && GetUserNameW(login, &loginSize)
                          ? std::wstring(host, hostSize) + L"\\" + login : L"";
  ASSERT_FALSE(wide.empty());
  std::u16string expected(wide.begin(), wide.end());
#else
  char host[256] = "";
  gethostname(host, sizeof host);
  passwd* pw = getpwuid(geteuid());
  std::string narrow = std::string(host) + "\\" + (pw ? pw->pw_name : std::to_string(geteuid()));
  std::u16string expected(narrow.begin(), narrow.end());  // ASCII names on the test machines
#endif
  uint32_t size = uint32_t(expected.size());
  std::u16string exact(size + 2, u'#'), small(size + 1, u'#');
  ASSERT_EQ(QVGetUserName(exact.data(), size + 1), QV_S_OK);
  EXPECT_EQ(exact, expected + u'\0' + u'#');
  EXPECT_EQ(QVGetUserName(small.data(), size), QV_E_FAIL);
  EXPECT_EQ(small, u'\0' + std::u16string(size, u'#'));
  small[0] = u'#';
  EXPECT_EQ(QVGetUserName(small.data(), 0), QV_E_FAIL);
  EXPECT_EQ(small[0], u'#');
}
