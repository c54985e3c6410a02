#include <windows.h>
#define SECURITY_WIN32
#include <security.h>

#include <string>

#include "os/os_error.h"
#include "os/os_sysinfo.h"
#include "os/win32/wide_text.h"

namespace qv::os {

bool GetMemoryStatus(MemoryStatus* out) noexcept {
  *out = MemoryStatus{};
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return win32::StoreNativeError();
  out->totalPhysical = status.ullTotalPhys;
  out->availablePhysical = status.ullAvailPhys;
  out->totalVirtual = status.ullTotalVirtual;
  out->availableVirtual = status.ullAvailVirtual;
  return true;
}

void GetProcessorInfo(ProcessorInfo* out) noexcept {
  *out = ProcessorInfo{};
  SYSTEM_INFO info;
  GetNativeSystemInfo(&info);
  out->pageSize = info.dwPageSize;
  out->allocationGranularity = info.dwAllocationGranularity;
  out->processorType = info.dwProcessorType;
  out->processorLevel = info.wProcessorLevel;
  out->processorRevision = info.wProcessorRevision;
  out->numberOfProcessors = info.dwNumberOfProcessors;
}

// RtlGetVersion tells the real version; GetVersionEx answers what the
// program's manifest declares.
bool GetOsVersion(OsVersion* out) noexcept {
  *out = OsVersion{};
  using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto query = ntdll ? reinterpret_cast<RtlGetVersionFunction>(
                           reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                     : nullptr;
  if (query == nullptr || query(&info) != 0) {
    StoreLastError(kErrorNotSupported);
    return false;
  }
  out->platformId = info.dwPlatformId;
  out->major = info.dwMajorVersion;
  out->minor = info.dwMinorVersion;
  out->build = info.dwBuildNumber;
  return true;
}

bool GetUserNameSamCompatible(std::u16string* out) {
  std::wstring name(256, L'\0');
  ULONG size = static_cast<ULONG>(name.size());
  if (!GetUserNameExW(NameSamCompatible, name.data(), &size)) {
    if (GetLastError() != ERROR_MORE_DATA) {
      // Without a domain service: the computer and the account names.
      wchar_t host[MAX_COMPUTERNAME_LENGTH + 1];
      DWORD hostSize = MAX_COMPUTERNAME_LENGTH + 1;
      wchar_t user[257];
      DWORD userSize = 257;
      if (!GetComputerNameW(host, &hostSize) || !GetUserNameW(user, &userSize)) return win32::StoreNativeError();
      std::wstring joined = std::wstring(host, hostSize) + L"\\" + user;
      out->assign(reinterpret_cast<const char16_t*>(joined.data()), joined.size());
      return true;
    }
    name.resize(size);
    if (!GetUserNameExW(NameSamCompatible, name.data(), &size)) return win32::StoreNativeError();
  }
  out->assign(reinterpret_cast<const char16_t*>(name.data()), size);
  return true;
}

}  // namespace qv::os
