#include <pwd.h>
#include <sys/resource.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "os/os_error.h"
#include "os/os_sysinfo.h"
#include "os/posix/codeset.h"
#include "os/posix/errno_map.h"

namespace qv::os {

namespace {

uint64_t PageSize() noexcept {
  long page = sysconf(_SC_PAGESIZE);
  return page > 0 ? static_cast<uint64_t>(page) : 4096;
}

// MemAvailable counts reclaimable cache as available, like the Windows figure;
// plain sysinfo only knows completely free pages.
bool ReadMemAvailable(uint64_t* bytes) noexcept {
  FILE* f = std::fopen("/proc/meminfo", "re");
  if (f == nullptr) return false;
  char line[256];
  bool found = false;
  while (std::fgets(line, sizeof line, f) != nullptr) {
    unsigned long long kb;
    if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1) {
      *bytes = kb * 1024ULL;
      found = true;
      break;
    }
  }
  std::fclose(f);
  return found;
}

uint64_t UserAddressSpace() noexcept {
  rlimit limit;
  if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) return limit.rlim_cur;
#if defined(__x86_64__)
  return (1ULL << 47) - PageSize();
#elif defined(__aarch64__)
  return (1ULL << 48) - PageSize();
#elif UINTPTR_MAX == 0xFFFFFFFFu
  return 0xC0000000ULL;
#else
  return (1ULL << 47) - PageSize();
#endif
}

uint64_t MappedBytes() noexcept {
  FILE* f = std::fopen("/proc/self/statm", "re");
  if (f == nullptr) return 0;
  unsigned long long pages = 0;
  if (std::fscanf(f, "%llu", &pages) != 1) pages = 0;
  std::fclose(f);
  return pages * PageSize();
}

}  // namespace

bool GetMemoryStatus(MemoryStatus* out) noexcept {
  *out = MemoryStatus{};
  struct sysinfo info;
  if (sysinfo(&info) != 0) {
    StoreLastErrorFromErrno(errno);
    return false;
  }
  uint64_t unit = info.mem_unit ? info.mem_unit : 1;
  out->totalPhysical = static_cast<uint64_t>(info.totalram) * unit;
  if (!ReadMemAvailable(&out->availablePhysical))
    out->availablePhysical = (static_cast<uint64_t>(info.freeram) + info.bufferram) * unit;
  out->totalVirtual = UserAddressSpace();
  uint64_t used = MappedBytes();
  out->availableVirtual = used < out->totalVirtual ? out->totalVirtual - used : 0;
  return true;
}

void GetProcessorInfo(ProcessorInfo* out) noexcept {
  *out = ProcessorInfo{};
  uint64_t page = PageSize();
  out->pageSize = static_cast<uint32_t>(page);
  // mmap places mappings at any page boundary.
  out->allocationGranularity = static_cast<uint32_t>(page);
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  out->numberOfProcessors = online > 0 ? static_cast<uint32_t>(online) : 1;
#if defined(__x86_64__) || defined(__i386__)
#if defined(__x86_64__)
  out->processorType = kProcessorAmdX8664;
#else
  out->processorType = kProcessorIntelPentium;
#endif
  unsigned eax, ebx, ecx, edx;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
    unsigned family = (eax >> 8) & 0xF;
    unsigned model = (eax >> 4) & 0xF;
    unsigned stepping = eax & 0xF;
    if (family == 0xF) family += (eax >> 20) & 0xFF;
    if (family == 0x6 || family >= 0xF) model |= ((eax >> 16) & 0xF) << 4;
    out->processorLevel = static_cast<uint16_t>(family);
    out->processorRevision = static_cast<uint16_t>((model << 8) | stepping);
  }
#elif defined(__aarch64__)
  out->processorType = kProcessorArm64;
  out->processorLevel = 8;
#endif
}

bool GetOsVersion(OsVersion* out) noexcept {
  *out = OsVersion{};
  utsname names;
  if (uname(&names) != 0) {
    StoreLastErrorFromErrno(errno);
    return false;
  }
  out->platformId = kPlatformLinux;
  // "6.1.0-18-amd64": major, minor and the patch level as the build number.
  uint32_t parts[3] = {0, 0, 0};
  const char* p = names.release;
  for (int i = 0; i < 3; ++i) {
    char* end;
    unsigned long v = std::strtoul(p, &end, 10);
    if (end == p) break;
    parts[i] = static_cast<uint32_t>(v);
    if (*end != '.') break;
    p = end + 1;
  }
  out->major = parts[0];
  out->minor = parts[1];
  out->build = parts[2];
  return true;
}

bool GetUserNameSamCompatible(std::u16string* out) {
  char host[256];
  if (gethostname(host, sizeof host) != 0) {
    StoreLastErrorFromErrno(errno);
    return false;
  }
  host[sizeof host - 1] = '\0';

  uid_t uid = geteuid();
  long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(hint > 0 ? static_cast<size_t>(hint) : 1024);
  passwd entry;
  passwd* found = nullptr;
  int err;
  while ((err = getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found)) == ERANGE)
    buffer.resize(buffer.size() * 2);
  if (err != 0) {
    StoreLastErrorFromErrno(err);
    return false;
  }
  std::string narrow = host;
  narrow.push_back('\\');
  // A user id without an account entry (common in containers) is named by
  // its number rather than failing.
  if (found != nullptr && found->pw_name != nullptr && found->pw_name[0] != '\0') narrow.append(found->pw_name);
  else narrow.append(std::to_string(static_cast<unsigned long>(uid)));
  return posix::NarrowToUtf16Exact(narrow, *out);
}

}  // namespace qv::os
