// Memory, processor and operating-system figures and the current user.
#pragma once
#include <cstdint>
#include <string>

namespace qv::os {

// Processor type numbers, as the Windows system information reports them.
enum : uint32_t {
  kProcessorIntelPentium = 586,
  kProcessorAmdX8664 = 8664,
  kProcessorArm64 = 0xAA64,  // no Windows number exists; the ARM64 machine type
};
// Operating-system platform identifiers: 2 is Windows NT; Linux has its own.
enum : uint32_t { kPlatformWin32Nt = 2, kPlatformLinux = 0x100 };

struct MemoryStatus {
  uint64_t totalPhysical;
  uint64_t availablePhysical;
  uint64_t totalVirtual;  // the process's user address space
  uint64_t availableVirtual;
};
// False with the last error set when the platform refuses.
bool GetMemoryStatus(MemoryStatus* out) noexcept;

struct ProcessorInfo {
  uint32_t pageSize;
  uint32_t allocationGranularity;
  uint32_t processorType;
  uint16_t processorLevel;
  uint16_t processorRevision;
  uint32_t numberOfProcessors;
};
void GetProcessorInfo(ProcessorInfo* out) noexcept;

struct OsVersion {
  uint32_t platformId;
  uint32_t major;
  uint32_t minor;
  uint32_t build;
};
// False with the last error set when the platform refuses.
bool GetOsVersion(OsVersion* out) noexcept;

// The effective user as "host\login". False with the last error set (1113
// when a name has no UTF-16 form); throws std::bad_alloc.
bool GetUserNameSamCompatible(std::u16string* out);

}  // namespace qv::os
