// System information and the current user's name.
#include <cstring>
#include <string>

#include "base/boundary.h"
#include "os/os_error.h"
#include "os/os_sysinfo.h"
#include "qvcore5/qv_time.h"
#include "base/wide.h"

using namespace qv;

static_assert(os::kProcessorIntelPentium == QV_PROCESSOR_INTEL_PENTIUM && os::kProcessorAmdX8664 == QV_PROCESSOR_AMD_X8664 &&
              os::kProcessorArm64 == QV_PROCESSOR_ARM64);
static_assert(os::kPlatformWin32Nt == QV_PLATFORM_WIN32_NT && os::kPlatformLinux == QV_PLATFORM_LINUX);

extern "C" {

QV_API QVRESULT QVGetSystemInfo(QVSystemInfo* info) {
  if (info == nullptr) return QV_E_INVALIDARG;
  // Cleared first, so a failed query leaves zeros rather than the caller's bytes.
  std::memset(info, 0, sizeof *info);
  os::MemoryStatus memory;
  if (!os::GetMemoryStatus(&memory)) return base::LastErrorResult();
  info->totalPhysicalMemory = memory.totalPhysical;
  info->availablePhysicalMemory = memory.availablePhysical;
  info->totalVirtualMemory = memory.totalVirtual;
  info->availableVirtualMemory = memory.availableVirtual;

  os::ProcessorInfo cpu;
  os::GetProcessorInfo(&cpu);
  info->allocationGranularity = cpu.allocationGranularity;
  info->pageSize = cpu.pageSize;
  info->processorType = static_cast<uint16_t>(cpu.processorType);
  info->processorLevel = cpu.processorLevel;
  info->processorRevision = cpu.processorRevision;
  info->numberOfProcessors = static_cast<uint16_t>(cpu.numberOfProcessors);

  os::OsVersion version;
  if (!os::GetOsVersion(&version)) return base::LastErrorResult();
  info->platformId = static_cast<uint16_t>(version.platformId);
  info->majorVersion = static_cast<uint16_t>(version.major);
  info->minorVersion = static_cast<uint16_t>(version.minor);
  info->buildNumber = static_cast<uint16_t>(version.build);
  return QV_S_OK;
}

QV_API QVRESULT QVGetUserName(QVWCHAR* buffer, uint32_t capacity) {
  if (buffer == nullptr) return QV_E_INVALIDARG;
  return base::Bounded([&]() -> QVRESULT {
    std::u16string wide;
    if (!os::GetUserNameSamCompatible(&wide)) base::ThrowLastError();
    if (wide.size() >= capacity) {
      if (capacity > 0) buffer[0] = 0;
      os::StoreLastError(os::kErrorMoreData);
      base::ThrowLastError();
    }
    std::memcpy(buffer, wide.data(), wide.size() * sizeof(WChar));
    buffer[wide.size()] = 0;
    return QV_S_OK;
  });
}

}  // extern "C"
